// Self-extractors back to plain archives, and telling archives usable in place
// apart: the settings header is taken back into the properties, the archive part
// is copied with its offsets shifted back to start at 0.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <new>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/PeResources.h"
#include "zipbuilder/rewrite/ArchiveReplace.h"
#include "zipbuilder/rewrite/OutputRule.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/sfx/SfxConversion.h"
#include "zipbuilder/core/RunningScope.h"
#include "zipbuilder/core/ResultCodes.h"
#include "zipbuilder/read/Zip64EndRecord.h"
#include "zipformat/EndRecord.h"
#include "zipformat/SfxHeader.h"

using platform::FileHandle;
using platform::SeekFrom;

namespace {

constexpr int64_t kEndRecordSize = zip::kEndRecordSize;
constexpr int64_t kEndSearchWindow = zip::kEndSearchWindow;
constexpr size_t kMarkerWindow = 2048;
const char* const kInstallerStubMarker = "InstallShield Self-Extracting Stub Program";

bool HasExeExtension(const std::string& name) {
  std::string ext = platform::ExtractFileExt(name);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::toupper(c); });
  return ext == ".EXE";
}

// How far the end-record search may advance from a byte: the skip table of a
// Boyer-Moore-Horspool search for "PK\5\6". Built once, on first use.
const std::array<uint8_t, 256>& EndRecordSkips() {
  static const std::array<uint8_t, 256> table = [] {
    std::array<uint8_t, 256> t;
    t.fill(4);
    t[0x50] = 3;
    t[0x4B] = 2;
    t[0x05] = 1;
    t[0x06] = 0;
    return t;
  }();
  return table;
}

}  // namespace

int TZipBuilder::ConvertZIP() { return SfxConversion(*this).ToZip(); }

int TZipBuilder::SfxConversion::ToZip() {
  if (zb_.Busy()) return kSfxReadFailed;
  zb_.showProgress_ = false;
  if (!zb_.FileExists(zb_.zipFileName_)) {
    zb_.ShowZipMessage(kMsgNoExeFile, "");
    return kSfxReadFailed;
  }
  if (!HasExeExtension(zb_.zipFileName_)) {
    zb_.ShowZipMessage(kMsgInputNotExe, "");
    return kSfxReadFailed;
  }
  if (zb_.listed_.archiveStart == 0) {
    zb_.ShowZipMessage(kMsgSfxTypeUnknown, "");
    return kSfxFailed;
  }
  RunningScope running(zb_, RunKind::Zip);
  zb_.StartWaitCursor();
  const std::string output = platform::ChangeFileExt(zb_.zipFileName_, ".zip");
  OutputRule rule(*zb_.env_->files);
  rule.AddInput(zb_.zipFileName_);
  if (!CheckOutput(rule, output)) {
    zb_.StopWaitCursor();
    return kSfxNoOutput;
  }
  platform::TemporaryFile temporary = CreateTemporaryBeside(*zb_.env_->files, output);
  int64_t archiveSize = -1, outputSize = -1;
  int result =
      !temporary.IsOpen() ? kSfxNoOutput : WriteZipFromSfx(temporary.Path(), archiveSize, outputSize);
  if (result == 0 &&
      (archiveSize < 0 || outputSize < 0 || archiveSize - zb_.listed_.archiveStart != outputSize))
    result = kSfxFailed;
  if (result == kSfxShortCopy) ReportShortCopy();
  if (result != 0) temporary.Discard();
  if (result == 0) result = PlaceConverted(temporary, output, zb_.zipFileName_, true);
  zb_.StopWaitCursor();
  return result;
}

int TZipBuilder::SfxConversion::WriteZipFromSfx(const std::string& temporary, int64_t& archiveSize,
                                 int64_t& outputSize) {
  auto& files = *zb_.env_->files;
  FileHandle out = CreateOutput(temporary);
  if (out == platform::kInvalidHandle) return kSfxNoOutput;
  int result = kSfxShortCopy;
  try {
    const int64_t windowSize = std::min<int64_t>(zip::kSfxMaxHeaderSize, zb_.listed_.archiveStart);
    std::vector<uint8_t> window(static_cast<size_t>(windowSize));
    zip::ZipEndOfCentral endOfCentral{};
    std::optional<zip::Zip64EndOfCentral> zip64;
    const zip::DirectoryExtent extent = OpenListedArchive(endOfCentral, zip64);
    const int64_t windowStart = zb_.listed_.archiveStart - windowSize;
    if (files.Seek(zb_.inFileHandle_, windowStart, SeekFrom::Begin) == windowStart &&
        files.Read(zb_.inFileHandle_, window.data(), window.size()) == windowSize) {
      if (auto found = zip::FindSfxHeader(window)) {
        auto icon = platform::ExtractIconA(files, zb_.zipFileName_);
        if (icon.isImage && icon.icon) zb_.sfxIcon_.data = *icon.icon;
        const zip::SfxSettings& s = found->settings;
        zb_.SFXOptions = SFXOpts();
        zb_.SFXOverWriteMode = OvrConfirm;
        if (s.flags & zip::kSfxAskCmdLine) zb_.SFXOptions.Include(SFXAskCmdLine);
        if (s.flags & zip::kSfxAskFiles) zb_.SFXOptions.Include(SFXAskFiles);
        if (s.flags & zip::kSfxHideOverwriteBox) zb_.SFXOptions.Include(SFXHideOverWriteBox);
        if (s.flags & zip::kSfxOverwriteAlways) zb_.SFXOverWriteMode = OvrAlways;
        if (s.flags & zip::kSfxOverwriteNever) zb_.SFXOverWriteMode = OvrNever;
        if (!(s.flags & zip::kSfxNoCheckSize)) zb_.SFXOptions.Include(SFXCheckSize);
        if (s.flags & zip::kSfxAutoRun) zb_.SFXOptions.Include(SFXAutoRun);
        if (s.flags & zip::kSfxNoSuccessMsg) zb_.SFXOptions.Include(SFXNoSuccessMsg);
        zb_.SFXCaption = s.caption;
        zb_.SFXDefaultDir = s.defaultDir;
        zb_.SFXCommandLine = s.commandLine;
        if (!found->oldForm) zb_.SFXMessage = s.message;
      }
      // The input stands at the archive's start.
      if (zb_.listed_.structureWarning) {
        result = zb_.CopyBulk(zb_.inFileHandle_, out, -1);
        archiveSize = zb_.listed_.realFileSize;
      } else {
        const auto start = static_cast<uint64_t>(zb_.listed_.archiveStart);
        if (extent.offset < start) throw EZipBuilder(kMsgNotZipArchive);
        result = zb_.CopyBulk(zb_.inFileHandle_, out, static_cast<int64_t>(extent.offset - start));
        if (result == 0)
          result = zb_.RWCentralDir(out, endOfCentral, -zb_.listed_.archiveStart, zip64 ? &*zip64 : nullptr);
        archiveSize = zb_.listed_.archiveFileSize;
      }
    }
  } catch (const std::bad_alloc&) {
    result = kSfxNoMemory;
  } catch (...) {
    result = kSfxReadFailed;
  }
  zb_.CloseInput();
  return CloseOutput(out, result, outputSize);
}

bool TZipBuilder::SfxConversion::IsInstallShield(FileHandle file) {
  try {
    std::vector<char> text(kMarkerWindow + 1, '\0');
    int64_t got = zb_.env_->files->Read(file, text.data(), kMarkerWindow);
    if (got <= 0) return false;
    std::replace(text.begin(), text.begin() + got, '\0', ' ');
    text[static_cast<size_t>(got)] = '\0';
    return std::strstr(text.data(), kInstallerStubMarker) != nullptr;
  } catch (...) {
    return false;
  }
}

int TZipBuilder::IsZipSFX(const std::string& SFXExeName) {
  // A report now would overwrite the running operation's: answer "none found"
  // without one, rather than a code that claims a report.
  if (Busy()) return 0;
  auto& files = *env_->files;
  int result = 0;
  StartWaitCursor();
  const auto& skips = EndRecordSkips();
  FileHandle file = platform::kInvalidHandle;
  try {
    file = files.Open(SFXExeName, platform::Access::Read, platform::Share::Read,
                      platform::Disposition::OpenExisting);
    if (file == platform::kInvalidHandle) throw EZipBuilder(kMsgInputMissing);
    if (!SfxConversion(*this).IsInstallShield(file)) {
      uint8_t record[kEndRecordSize];
      const int64_t at = files.Seek(file, -kEndRecordSize, SeekFrom::End);
      if (at >= 0 && files.Read(file, record, sizeof record) == kEndRecordSize &&
          zip::Load32(record) == zip::kEndOfCentralSignature) {
        result = 1;
      } else {
        if (at < 0) throw EZipBuilder(kMsgEndRecordReadError);  // shorter than an end record
        const int64_t windowSize = std::min(at + kEndRecordSize, kEndSearchWindow);
        std::vector<uint8_t> window(static_cast<size_t>(windowSize) + 1);
        if (files.Seek(file, -windowSize, SeekFrom::End) < 0) throw EZipBuilder(kMsgInputSeekError);
        if (files.Read(file, window.data(), static_cast<size_t>(windowSize)) != windowSize)
          throw EZipBuilder(kMsgEndRecordReadError);
        // i stands on a candidate's last byte.
        for (int64_t i = 3; i < windowSize;) {
          uint8_t skip = skips[window[i]];
          if (skip > 0) {
            i += skip;
            continue;
          }
          if (window[i - 3] == 0x50 && window[i - 2] == 0x4B && window[i - 1] == 0x05 &&
              i + 18 < windowSize) {
            const int64_t directory = zip::Load32(&window[i - 3 + 16]);
            uint8_t signature[4];
            if (files.Seek(file, directory, SeekFrom::Begin) == directory &&
                files.Read(file, signature, 4) == 4 &&
                zip::Load32(signature) == zip::kCentralHeaderSignature) {
              result = 1;
              break;
            }
          }
          i += 4;
        }
      }
    }
  } catch (const EZipBuilder& e) {
    ShowExceptionError(e);
    result = kResultReported;
  } catch (const std::bad_alloc&) {
    ShowZipMessage(kMsgNoMemory, "");
    result = kResultNoMemory;
  } catch (const std::exception& e) {
    ShowZipMessage(kMsgSpanRenameCopyUnknownError, std::string("\n") + e.what());
    result = kResultUnexpected;
  } catch (...) {
    ShowZipMessage(kMsgSpanRenameCopyUnknownError, "");
    result = kIsZipSfxUnknownFailure;
  }
  if (file != platform::kInvalidHandle) files.Close(file);
  StopWaitCursor();
  return result;
}
