// What the subcommands share: reporting to stderr and opening the archive.
#pragma once

#include <cstdint>
#include <functional>
#include <iostream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/ExitStatus.h"
#include "ui/ConsoleUi.h"
#include "platform/Terminal.h"
#include "zipbuilder/ZipBuilder.h"

using platform::AppendEscaped;
using platform::EscapedText;

// Sets Cancel on `zip` when SIGINT or SIGTERM arrives during an operation (its
// user interface must be the console's): the operation stops at the engine's
// next step and removes its temporary files.
void CancelOnInterrupt(TZipBuilder& zip);

// Unattended: nobody is asked, and every report goes to stderr as "zipbuilder: TEXT".
void ReportToStderr(TZipBuilder& zip);

enum class ArchiveOpening { Listed, Missing, Unreadable };

// A member name as the command line shows it: "/" between directories, as
// other tools on this system show names (the component keeps its own
// separator), escaped for the terminal.
std::string ShownName(std::string name);

// How much a subcommand says, set by -q and -v (every subcommand takes them
// before its operands). Quiet: only errors, warnings and the output asked for
// (a listing, a comment, test's verdict): no progress bar, no summary lines.
// Verbose: also a line for each member as it is handled.
enum class Verbosity { Quiet, Normal, Verbose };
Verbosity OutputVerbosity();
// Takes -q or -v (true) and sets the verbosity; false for any other argument.
bool TakeVerbosityOption(const std::string& arg);
// The arguments without the -q and -v that lead them (taken as above).
std::vector<std::string> WithoutLeadingVerbosity(const std::vector<std::string>& args);
// `out`, or a stream that drops what it is given when the run is quiet: for the
// lines that only say that the work was done.
std::ostream& Say(std::ostream& out = std::cerr);

// Prints "usage: zipbuilder USAGE" and the details to `out`; returns `status`
// (kExitOk for --help, kExitUsage for a bad command line).
int PrintUsage(std::ostream& out, std::string_view usage, std::string_view details, int status);

// "64k", "10m", "1g" or plain bytes; 0 when not a size a volume can have.
int64_t VolumeSize(const std::string& text);

// The last volume of the numbered set `name` belongs to (backup002.zip, or the
// set's own name backup.zip, gives backup007.zip when volumes 1 to 7 exist);
// `name` itself when it is no volume of such a set.
std::string LastVolumeOf(TZipBuilder& zip, const std::string& name);

// Spanned sets may ask questions (disks, overwriting): the component may ask on
// the terminal, and its reports go to stderr once, without the copying lines.
void ReportSpanningToStderr(TZipBuilder& zip, const std::function<void()>& beforeReport = nullptr);

// Names `archive` (or the last volume of its set) on the component, which lists it. A missing
// archive is reported here; an unreadable one has been reported by the listing.
ArchiveOpening OpenArchive(TZipBuilder& zip, const std::string& archive);

// The exit status for an archive that could not be opened: kExitNoArchive when
// it is missing, kExitError when it could not be read.
int OpeningFailure(ArchiveOpening opening);

// True when `archive` exists; otherwise says so on stderr (the caller then ends
// with kExitNoArchive).
bool ArchiveIsThere(TZipBuilder& zip, const std::string& archive);

// Names `archive` on the component without listing it, for the operations that
// read the directory themselves (listing first would read it twice). False, with
// a report, when the archive does not exist.
bool NameArchive(TZipBuilder& zip, const std::string& archive);
