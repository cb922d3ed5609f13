// Renaming members: the archive is copied member by member into a temporary
// file beside it, each local and central header with its new name and date, and
// the temporary file then takes the archive's place.
#include <algorithm>
#include <cctype>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "ui/UiService.h"
#include "zipbuilder/ArchiveReplace.h"
#include "zipbuilder/StoredArchive.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

// A byte as matching sees it: letter case ignored, both separators alike.
char Comparable(char c) {
  if (c == '/') return '\\';
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string WithForwardSlashes(std::string text) {
  std::replace(text.begin(), text.end(), '\\', '/');
  return text;
}

// Puts the requests in the form matching expects (backslashes; a directory
// request's names end in one). False when a request for a file would give a
// name without a file part.
bool NormaliseRequests(std::vector<RenameItem*>& requests) {
  for (RenameItem* item : requests) {
    item->OldName = TZipBuilder::ReplaceForwardSlash(item->OldName);
    item->NewName = TZipBuilder::ReplaceForwardSlash(item->NewName);
    if (!platform::ExtractFileName(item->OldName).empty()) {
      if (platform::ExtractFileName(item->NewName).empty()) return false;
    } else {
      item->NewName = TZipBuilder::AppendSlash(platform::ExtractFilePath(item->NewName));
      item->OldName = TZipBuilder::AppendSlash(item->OldName);
    }
  }
  return true;
}

struct Renaming {
  bool renamed = false;
  std::string name;       // stored form ("/" separators) when renamed
  uint32_t dateTime = 0;  // 0: unchanged
};

// Applies every request, in order, to the member's name in its backslash form,
// each to the result of the ones before; the last request that renames the
// member and carries a date sets it.
Renaming ApplyRequests(const std::vector<RenameItem*>& requests, std::string_view storedName) {
  Renaming result;
  std::string working;
  std::string_view current = storedName;
  for (const RenameItem* item : requests) {
    if (item->OldName.empty()) continue;
    const auto found =
        std::search(current.begin(), current.end(), item->OldName.begin(), item->OldName.end(),
                    [](char a, char b) { return Comparable(a) == Comparable(b); });
    if (found == current.end()) continue;
    std::string changed = TZipBuilder::ReplaceForwardSlash(std::string(current));
    changed.replace(static_cast<size_t>(found - current.begin()), item->OldName.size(),
                    item->NewName);
    if (changed.empty()) continue;  // a member keeps a name
    working = std::move(changed);
    current = working;
    result.renamed = true;
    if (item->DateTime != 0) result.dateTime = item->DateTime;
  }
  if (result.renamed) result.name = WithForwardSlashes(working);
  return result;
}

bool ChecksPasswordAgainstTime(const zip::CentralFileHeader& h) {
  constexpr uint16_t kStrongEncryption = 0x0040;
  return (h.Flag & zip::kFlagEncrypted) && (h.Flag & zip::kFlagDataDescriptor) &&
         !(h.Flag & kStrongEncryption) && h.ComprMethod != zip::kMethodAes;
}

}  // namespace

int TZipBuilder::Rename(std::vector<RenameItem*>& RenameList, uint32_t DateTime) {
  // A call from an event handler of a running operation changes nothing.
  if (Busy()) return -6;
  errCode_ = 0;
  message_.clear();
  RunningScope running(*this, RunKind::Zip);
  showProgress_ = false;
  inFileName_ = zipFileName_;
  StartWaitCursor();
  if (!NormaliseRequests(RenameList)) {
    StopWaitCursor();
    return -10;
  }

  auto& files = *env_->files;
  platform::TemporaryFile temporary;
  uint32_t inputTime = 0;
  outFileHandle_ = platform::kInvalidHandle;
  int result = RunCoded([&] {
    if (!FileExists(zipFileName_)) throw EZipBuilder(kMsgInputMissing);
    temporary = CreateTemporaryBeside(files, zipFileName_);
    if (!temporary.IsOpen()) throw EZipBuilder(kMsgTempFileFailed);
    outFileHandle_ = files.Open(temporary.Path(), platform::Access::Write, platform::Share::None,
                                platform::Disposition::CreateAlways, 0600);
    if (outFileHandle_ == platform::kInvalidHandle) throw EZipBuilder(kMsgOutputCreateFailed);
    zip::ZipEndOfCentral end{};
    CheckIfLastDisk(end, true);
    inputTime = files.GetFileDosTime(inFileHandle_).value_or(0);
    if (end.ThisDiskNo != 0) throw EZipBuilder(kMsgRenameSpanned);

    ArchiveReader in(files, inFileHandle_);
    ArchiveWriter out(files, outFileHandle_);
    StoredArchive archive = ReadStoredArchive(in, end, endOfCentralOffset_);
    if (!in.SeekTo(0)) throw EZipBuilder(kMsgInputSeekError);
    if (!in.Pass(static_cast<uint64_t>(archive.prefixSize),
                 [&](const uint8_t* bytes, size_t count) { out.Write(bytes, count, kMsgSfxHeaderCopyError); }))
      throw EZipBuilder(kMsgSfxHeaderCopyError);

    std::vector<Renaming> renamings;
    renamings.reserve(archive.members.size());
    int64_t total = 0;
    for (const StoredMember& m : archive.members) {
      Renaming r = ApplyRequests(RenameList, m.name);
      if (r.renamed && r.name.size() > kMaxStoredNameLength) throw EZipBuilder(kMsgLocalHeaderWriteError);
      if (r.dateTime == 0) r.dateTime = DateTime;
      // Traditional encryption with a data descriptor checks passwords against the
      // stored time: a new time would make every password look wrong.
      if (ChecksPasswordAgainstTime(m.header)) r.dateTime = 0;
      renamings.push_back(std::move(r));
      total += static_cast<int64_t>(m.name.size() + m.extra.size() + m.compressedSize);
    }

    showProgress_ = true;
    out.onWrite = [this](int64_t count) {
      if (OnProgress && showProgress_) OnProgress(this, ptBytesDone, "", count);
    };
    if (OnProgress) {
      OnProgress(this, ptMemberCount, "", static_cast<int64_t>(archive.members.size()));
      OnProgress(this, ptTotalBytes, "", total);
    }
    const std::string processing = LoadZipStr(kMsgProcessing, "Processing: ");
    const std::string renamedTo = LoadZipStr(kMsgRenamedTo, " renamed to: ");
    std::vector<uint64_t> newOffsets;
    newOffsets.reserve(archive.members.size());
    for (size_t i = 0; i < archive.members.size(); ++i) {
      const StoredMember& m = archive.members[i];
      const Renaming& r = renamings[i];
      const std::string_view name = r.renamed ? std::string_view(r.name) : m.name;
      if (OnMessage) {
        std::string text = processing;
        text.append(m.name);
        if (r.renamed) text += renamedTo + r.name;
        OnMessage(this, 0, text);
      }
      newOffsets.push_back(static_cast<uint64_t>(out.Position()));
      if (OnProgress)
        OnProgress(this, ptMemberBegin, ReplaceForwardSlash(std::string(name)),
                   static_cast<int64_t>(name.size() + m.extra.size() + m.compressedSize));
      CopyStoredMember(in, out, m, {name, r.dateTime});
      ui_->ProcessMessages();
    }
    showProgress_ = false;

    const uint64_t directoryAt = static_cast<uint64_t>(out.Position());
    for (size_t i = 0; i < archive.members.size(); ++i) {
      const StoredMember& m = archive.members[i];
      const Renaming& r = renamings[i];
      zip::CentralFileHeader header = m.header;
      const std::string_view name = r.renamed ? std::string_view(r.name) : m.name;
      header.FileNameLen = static_cast<uint16_t>(name.size());
      std::optional<std::string> extra = PlaceLocalHeader(header, m.extra, m, newOffsets[i]);
      if (r.dateTime != 0) {
        header.ModifDate = static_cast<uint16_t>(r.dateTime >> 16);
        header.ModifTime = static_cast<uint16_t>(r.dateTime);
        if (!extra) extra = std::string(m.extra);
        StampExtraTimes(*extra, r.dateTime);
      }
      WriteCentralHeader(out, header, name, extra ? std::string_view(*extra) : m.extra, m.comment);
    }
    const uint64_t directorySize = static_cast<uint64_t>(out.Position()) - directoryAt;
    WriteArchiveEnd(out, archive.end, archive.zip64End, archive.members.size(), directorySize,
                    directoryAt, archive.comment);
    out.Flush(kMsgArchiveCommentReadError);
  });
  showProgress_ = false;

  if (OnProgress) OnProgress(this, ptBatchEnd, "", 0);
  if (inFileHandle_ != platform::kInvalidHandle) {
    files.Close(inFileHandle_);
    inFileHandle_ = platform::kInvalidHandle;
  }
  if (outFileHandle_ != platform::kInvalidHandle) {
    result = FinishTemporary(outFileHandle_, inputTime, result);
    outFileHandle_ = platform::kInvalidHandle;
  }
  if (result != 0) {
    temporary.Discard();
  } else {
    result = ReplaceZipFile(temporary, zipFileName_, HowToDelete);
  }
  if (result == 0) List();
  StopWaitCursor();
  return result;
}
