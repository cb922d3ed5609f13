// Copying members between archives: the destination is rebuilt into a
// temporary file beside it from its own members and the source's, all in their
// stored form, and the temporary file then takes the destination's place.
#include <algorithm>
#include <optional>
#include <cstdint>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "ui/UiService.h"
#include "zipbuilder/rewrite/ArchiveReplace.h"
#include "zipbuilder/rewrite/OutputRule.h"
#include "zipbuilder/read/StoredArchive.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/core/RunningScope.h"
#include "zipbuilder/core/ResultCodes.h"
#include "zipformat/TextCase.h"

namespace {

// The first line of each name among `lines`, found by names compared as every
// name lookup of the component compares them (letter case by the locale's
// rules): open addressing over the lines' positions, so that an archive's
// names are looked up one by one as they are read, never all kept.
class LineIndex {
 public:
  static constexpr size_t kNone = SIZE_MAX;

  explicit LineIndex(const std::vector<std::string>& lines) : lines_(lines) {
    size_t slots = 16;
    while (slots < lines.size() * 2) slots *= 2;
    slots_.assign(slots, kEmpty);
    for (size_t i = 0; i < lines.size(); ++i) {
      const size_t at = Slot(lines[i]);
      if (slots_[at] == kEmpty) slots_[at] = static_cast<uint32_t>(i);
    }
  }
  // The first line naming `name`; kNone when none does.
  size_t Find(const std::string& name) const {
    const uint32_t line = slots_[Slot(name)];
    return line == kEmpty ? kNone : line;
  }

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;
  // The slot holding the first line of `name`, or the empty one where it would go.
  size_t Slot(const std::string& name) const {
    const size_t mask = slots_.size() - 1;
    for (size_t at = zip::HashIgnoringCase(name) & mask;; at = (at + 1) & mask)
      if (slots_[at] == kEmpty || zip::SameTextIgnoringCase(lines_[slots_[at]], name)) return at;
  }

  const std::vector<std::string>& lines_;
  std::vector<uint32_t> slots_;
};

// What happens to one record of the rebuilt destination.
enum class Mark { Own, New, Replace, Keep, Ask };

struct DestinationRecord {
  const StoredMember* own = nullptr;  // none for a name the destination lacks
  Mark mark = Mark::Own;
  const StoredMember* supplier = nullptr;  // where its stored record comes from
  const std::string* listedName = nullptr;  // for messages: set for every mark but Own
  size_t line = LineIndex::kNone;           // the request line, for every mark but Own
};

}  // namespace

// The member's name as the listing shows it, into `name`: up to a zero byte, in
// the system code page, with backslashes.
static void ListedName(TZipBuilder& owner, const StoredMember& m, std::string& name) {
  const zip::CentralFileHeader header = m.header();
  owner.HostSystem = header.VersionMadeBy1;
  owner.HostVersion = header.VersionMadeBy0;
  owner.HostFlags = header.Flag;
  name.assign(m.name().substr(0, m.name().find('\0')));
  owner.ConvertOem2Iso(name, cpdOEM2ISO);
  std::replace(name.begin(), name.end(), '/', '\\');
}

// A volume of a spanned set: its members lie on other volumes and their headers
// name them, so they cannot be copied as they are.
static bool IsSpannedVolume(const StoredArchive& archive) {
  return archive.end.ThisDiskNo != 0 || archive.end.CentralDiskNo != 0 ||
         (archive.zip64End &&
          (archive.zip64End->ThisDiskNo != 0 || archive.zip64End->CentralDiskNo != 0));
}

int TZipBuilder::CopyZippedFiles(TZipBuilder* Destination, bool DeleteFromSource,
                                 OvrOpts OverWrite) {
  // Neither component may be in the middle of an operation (a call from one of
  // their event handlers): nothing is touched then, not even the destination's input.
  if (Busy() || (Destination && Destination->Busy())) return kResultBusy;
  RunningScope running(*this, RunKind::Zip);
  // The destination's archive is being rebuilt: its own operations wait too.
  std::optional<RunningScope> destinationRunning;
  if (Destination && Destination != this) destinationRunning.emplace(*Destination, RunKind::Zip);
  errCode_ = 0;
  message_.clear();
  StartWaitCursor();
  showProgress_ = false;

  auto& files = *env_->files;
  platform::TemporaryFile temporary;
  platform::FileHandle output = platform::kInvalidHandle;
  uint32_t destinationTime = 0;
  std::vector<std::string> notCopied;
  // The source stays open until the copied entries are removed from it.
  StoredArchive source;
  std::optional<ArchiveReader> sourceIn;
  std::vector<bool> copied;
  int result = RunCoded([&] {
    if (Destination == this ||
        (Destination && SameFile(files, Destination->zipFileName_, zipFileName_)))
      throw EZipBuilder(kMsgCopySameArchive);
    if (!Destination || Destination->zipFileName_.empty()) throw EZipBuilder(kMsgCopyDestinationOpen);

    // The destination, open for reading and closed to writers until it is replaced.
    zip::ZipEndOfCentral destinationEnd{};
    Destination->inFileName_ = Destination->zipFileName_;
    try {
      Destination->CheckIfLastDisk(destinationEnd, true);
    } catch (const EZipBuilder&) {
      throw EZipBuilder(kMsgCopyDestinationOpen);
    }
    destinationTime = files.GetFileDosTime(Destination->inFileHandle_).value_or(0);
    ArchiveReader destinationIn(files, Destination->inFileHandle_);
    const StoredArchive target =
        ReadStoredArchive(destinationIn, destinationEnd, Destination->listed_.endOfCentralOffset);

    zip::ZipEndOfCentral sourceEnd{};
    inFileName_ = zipFileName_;
    CheckIfLastDisk(sourceEnd, true);
    sourceIn.emplace(files, inFileHandle_);
    source = ReadStoredArchive(*sourceIn, sourceEnd, listed_.endOfCentralOffset);
    if (IsSpannedVolume(source) || IsSpannedVolume(target)) throw EZipBuilder(kMsgCopySpanned);
    copied.assign(source.members.size(), false);

    // Marking: every line names a destination record, or a new one is added.
    // The first member of each name counts, in either archive.
    // A copy: the records point into it, and event handlers may set new lines meanwhile.
    const std::vector<std::string> lines = fSpecArgs_;
    const LineIndex lineIndex(lines);
    std::vector<DestinationRecord> records;
    records.reserve(target.members.size() + lines.size());
    std::vector<bool> inDestination(lines.size(), false);
    std::vector<std::string> markedNames;  // the listed names of marked members
    markedNames.reserve(lines.size());
    std::string name;  // reused from member to member
    for (const StoredMember& m : target.members) {
      DestinationRecord& r = records.emplace_back();
      r.own = r.supplier = &m;
      ListedName(*Destination, m, name);
      const size_t line = lineIndex.Find(name);
      if (line == LineIndex::kNone || inDestination[line]) continue;
      inDestination[line] = true;
      r.mark = OverWrite == OvrAlways ? Mark::Replace : OverWrite == OvrNever ? Mark::Keep : Mark::Ask;
      r.line = line;
      r.listedName = &markedNames.emplace_back(name);
    }
    for (size_t line = 0; line < lines.size(); ++line) {
      // A repeated line leaves the record of its first as it is.
      if (inDestination[line] || lineIndex.Find(lines[line]) != line) continue;
      records.push_back({nullptr, Mark::New, nullptr, &lines[line], line});
    }
    std::vector<const StoredMember*> suppliers(lines.size(), nullptr);
    for (const StoredMember& m : source.members) {
      ListedName(*this, m, name);
      const size_t line = lineIndex.Find(name);
      if (line != LineIndex::kNone && !suppliers[line]) suppliers[line] = &m;
    }
    // Every name to be taken from the source must be there before anything is written.
    for (DestinationRecord& r : records) {
      if (r.mark != Mark::New && r.mark != Mark::Replace) continue;
      r.supplier = suppliers[r.line];
      if (!r.supplier) throw EZipBuilder(kMsgCopyNotPresent, *r.listedName, zipFileName_);
    }

    temporary = CreateTemporaryBeside(files, Destination->zipFileName_);
    if (!temporary.IsOpen()) throw EZipBuilder(kMsgTempFileFailed);
    output = files.Open(temporary.Path(), platform::Access::Write, platform::Share::None,
                        platform::Disposition::CreateAlways, 0600);
    if (output == platform::kInvalidHandle) throw EZipBuilder(kMsgOutputCreateFailed);
    ArchiveWriter out(files, output);
    out.Copy(destinationIn, 0, static_cast<uint64_t>(target.prefixSize), kMsgSfxDataCopyError);

    std::vector<uint64_t> newOffsets;
    newOffsets.reserve(records.size());
    for (DestinationRecord& r : records) {
      if (r.mark == Mark::Ask) {
        bool overwrite = false;
        if (OnCopyZipOverwrite) {
          OnCopyZipOverwrite(Destination, *r.listedName, overwrite);
        } else {
          const std::string texts[2] = {*r.listedName, Destination->zipFileName_};
          const std::string text =
              FormatZipMessage(LoadZipStr(kMsgCopyOverwrite, "Overwrite %s in %s ?"), texts, 2, nullptr, 0);
          overwrite =
              ui_->MessageBox(text, ui::ApplicationTitle(),
                              ui::kMbYesNo | ui::kMbIconQuestion | ui::kMbDefButton2) == ui::kIdYes;
        }
        r.mark = overwrite ? Mark::Replace : Mark::Keep;
        if (overwrite) {
          r.supplier = suppliers[r.line];
          if (!r.supplier) throw EZipBuilder(kMsgCopyNotPresent, *r.listedName, zipFileName_);
        }
      }
      newOffsets.push_back(static_cast<uint64_t>(out.Position()));
      const bool fromSource = r.mark == Mark::New || r.mark == Mark::Replace;
      // A member that names another volume as its start would keep naming it.
      if (fromSource && r.supplier->diskStart != 0) throw EZipBuilder(kMsgCopySpanned);
      try {
        CopyStoredMember(fromSource ? *sourceIn : destinationIn, out, *r.supplier, {});
      } catch (const EZipBuilder& e) {
        // A write that failed (a full disk) says so; a record that could not be read names its archive.
        if (e.Ident() == kMsgOutputWriteError || e.Ident() == kMsgLocalHeaderWriteError) throw;
        throw EZipBuilder(kMsgCopyFailed, fromSource ? zipFileName_ : Destination->zipFileName_,
                          Destination->zipFileName_);
      }
      if (r.mark == Mark::Keep) notCopied.push_back(*r.listedName);
      if (fromSource) copied[static_cast<size_t>(r.supplier - source.members.data())] = true;
      ui_->ProcessMessages();
    }

    const uint64_t directoryAt = static_cast<uint64_t>(out.Position());
    for (size_t i = 0; i < records.size(); ++i) {
      const StoredMember& m = *records[i].supplier;
      zip::CentralFileHeader header = m.header();
      const std::optional<std::string> extra = PlaceLocalHeader(header, m.extra(), m, newOffsets[i]);
      WriteCentralHeader(out, header, m.name(), extra ? std::string_view(*extra) : m.extra(),
                         m.comment());
    }
    WriteArchiveEnd(out, target.end, target.zip64End, records.size(),
                    static_cast<uint64_t>(out.Position()) - directoryAt, directoryAt,
                    target.comment);
    out.Flush(kMsgOutputWriteError);
  });

  if (Destination && Destination->inFileHandle_ != platform::kInvalidHandle && Destination != this) {
    files.Close(Destination->inFileHandle_);
    Destination->inFileHandle_ = platform::kInvalidHandle;
  }
  if (output != platform::kInvalidHandle) result = FinishTemporary(output, destinationTime, result);
  // The source without the copied entries (the very ones, not a new match of
  // the names) is written before anything is replaced: a failure, a full disk,
  // leaves both archives as they were.
  const bool removing = result == 0 && DeleteFromSource &&
                        std::find(copied.begin(), copied.end(), true) != copied.end();
  platform::TemporaryFile reducedSource;
  if (removing) result = WriteWithoutCopied(*sourceIn, source, copied, reducedSource);
  sourceIn.reset();
  CloseInput();
  if (result != 0) {
    temporary.Discard();
  } else {
    result = ReplaceZipFile(temporary, Destination->zipFileName_, Destination->HowToDelete);
  }
  // The source loses members only once the destination holds them.
  if (removing && result == 0) {
    result = ReplaceZipFile(reducedSource, zipFileName_, HowToDelete);
    if (result == 0) {
      successCount_ = static_cast<int>(std::count(copied.begin(), copied.end(), true));
      List();
    }
  }
  reducedSource.Discard();
  if (result == 0) fSpecArgs_ = notCopied;
  if (Destination) Destination->List();
  StopWaitCursor();
  return result;
}

int TZipBuilder::WriteWithoutCopied(ArchiveReader& in, const StoredArchive& archive,
                                    const std::vector<bool>& drop,
                                    platform::TemporaryFile& temporary) {
  auto& files = *env_->files;
  platform::FileHandle output = platform::kInvalidHandle;
  int result = RunCoded([&] {
    temporary = CreateTemporaryBeside(files, zipFileName_);
    if (!temporary.IsOpen()) throw EZipBuilder(kMsgTempFileFailed);
    output = files.Open(temporary.Path(), platform::Access::Write, platform::Share::None,
                        platform::Disposition::CreateAlways, 0600);
    if (output == platform::kInvalidHandle) throw EZipBuilder(kMsgOutputCreateFailed);
    std::vector<MemberRewrite> changes(archive.members.size());
    for (size_t i = 0; i < changes.size(); ++i) changes[i].keep = !drop[i];
    ArchiveWriter out(files, output);
    const std::vector<uint64_t> offsets = CopyMembersAnew(in, out, archive, changes, nullptr);
    WriteDirectoryAnew(out, archive, changes, offsets);
  });
  if (output != platform::kInvalidHandle) result = FinishTemporary(output, 0, result);
  if (result != 0) temporary.Discard();
  return result;
}
