// The numbers the component's coded operations answer with. 0 is success for
// every one of them; a failure is negative, and one number can mean different
// things to different operations, so each name says which operations give it.
// The numbers are fixed: callers and scripts compare them.
#pragma once

#include <cstdint>

constexpr int kResultOk = 0;

// ---- The guarded operations: WriteSpan, ReadSpan, Rename, CopyZippedFiles,
//      IsZipSFX, and the archive replacement of renaming and copying ----
constexpr int kResultReported = -7;    // a component error was raised and reported
constexpr int kResultNoMemory = -8;    // memory ran out (message 10103)
constexpr int kResultUnexpected = -9;  // another exception (message 11024)
constexpr int kResultBusy = -6;        // Rename, CopyZippedFiles: another operation runs; nothing done
constexpr int kSpanBusy = -9;          // WriteSpan, ReadSpan: another operation runs; nothing done or shown
constexpr int kRenameNoFilePart = -10;  // Rename: a request for a file gives a new name without a file part
constexpr int kIsZipSfxUnknownFailure = -10;  // IsZipSFX: a failure of no known class (message 11024)

// ---- File utilities and the central directory copy ----
constexpr int kCopyFailed = -2;         // CopyBuffer, CopyBulk, CopyFileA, RWCentralDir: a copy fell short
constexpr int kCopyNoDestination = -1;  // CopyFileA: the destination could not be created
constexpr int kCopyNoSource = -3;       // CopyFileA: the source is missing or cannot be opened
constexpr int kCopyDateNotSet = -4;     // CopyFileA: copied, but the date could not be set
constexpr int kCopySizeDiffers = -9;    // CopyFileA: the sizes are unknown or differ after the copy
constexpr int kEraseMissing = -1;       // EraseFile: no such file

// ---- Self-extractors: ConvertSFX, ConvertZIP and the icon replacement ----
constexpr int kSfxNoOutput = -1;    // the output file could not be created
constexpr int kSfxShortCopy = -2;   // a copy or write fell short, or ConvertZIP's search window could not be read
constexpr int kSfxReadFailed = -3;  // ConvertSFX: the stub could not be opened or the archive read;
                                    // ConvertZIP: no such file, not an .exe, reading failed, or another operation runs
constexpr int kSfxFailed = -9;      // no archive, a string too long, no stub, not a .zip, no prefix, the final
                                    // size check failed; ConvertSFX while another operation runs
constexpr int kSfxNoMemory = -10;   // ConvertZIP: no memory for the search window
constexpr int kIconNotFound = -10;  // the stub holds no replaceable icon image
constexpr int kIconFailed = -11;    // an exception while replacing the icon
constexpr int kIconWrongSize = -12;  // SFXIcon is not a single image of the stub's size

// ---- ZipFormat: formatting a disk of a set ----
constexpr int kFormatError = -1;      // the dialog failed, or was refused while another format runs
constexpr int kFormatCancelled = -2;  // the user cancelled the format
constexpr int kFormatNotRun = -3;     // the format did not run

// ---- Buffered reading of the rewriting operations and the listing ----
constexpr int64_t kReadFailed = -1;  // the file could not be read
