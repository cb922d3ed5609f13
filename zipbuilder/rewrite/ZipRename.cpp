// Renaming members: the archive is copied member by member into a temporary
// file beside it, each local and central header with its new name and date, and
// the temporary file then takes the archive's place.
#include <algorithm>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "ui/UiService.h"
#include "zipbuilder/rewrite/ArchiveReplace.h"
#include "zipbuilder/read/StoredArchive.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/core/RunningScope.h"
#include "zipbuilder/core/ResultCodes.h"
#include "zipformat/Methods.h"
#include "zipformat/TextCase.h"

namespace {

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
// member and carries a date sets it. Names compare as every name lookup of the
// component compares them (letter case by the locale's rules).
// `working` is scratch space, kept by the caller so that a member costs no allocation.
Renaming ApplyRequests(const std::vector<RenameItem*>& requests, std::string_view storedName,
                       std::string& working) {
  Renaming result;
  working.assign(storedName);
  std::replace(working.begin(), working.end(), '/', '\\');
  for (const RenameItem* item : requests) {
    const std::optional<zip::TextSpan> found = zip::FindIgnoringCase(working, item->OldName);
    if (!found) continue;
    std::string changed = working;
    changed.replace(found->at, found->length, item->NewName);
    if (changed.empty()) continue;  // a member keeps a name
    working = std::move(changed);
    result.renamed = true;
    if (item->DateTime != 0) result.dateTime = item->DateTime;
  }
  if (result.renamed) result.name = WithForwardSlashes(working);
  return result;
}

bool ChecksPasswordAgainstTime(const zip::CentralFileHeader& h) {
  return (h.Flag & zip::kFlagEncrypted) && (h.Flag & zip::kFlagDataDescriptor) &&
         !(h.Flag & zip::kFlagStrongEncryption) && h.ComprMethod != zip::kMethodAes;
}

}  // namespace

int TZipBuilder::Rename(std::vector<RenameItem*>& RenameList, uint32_t DateTime) {
  // A call from an event handler of a running operation changes nothing.
  if (Busy()) return kResultBusy;
  errCode_ = 0;
  message_.clear();
  RunningScope running(*this, RunKind::Zip);
  showProgress_ = false;
  inFileName_ = zipFileName_;
  StartWaitCursor();
  if (!NormaliseRequests(RenameList)) {
    StopWaitCursor();
    return kRenameNoFilePart;
  }

  auto& files = *env_->files;
  platform::TemporaryFile temporary;
  uint32_t inputTime = 0;
  std::vector<std::string> undated;  // members whose date had to stay
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
    StoredArchive archive = ReadStoredArchive(in, end, listed_.endOfCentralOffset);

    std::vector<MemberRewrite> changes;
    changes.reserve(archive.members.size());
    int64_t total = 0;
    std::string working;
    for (const StoredMember& m : archive.members) {
      Renaming r = ApplyRequests(RenameList, m.name(), working);
      if (r.renamed && r.name.size() > kMaxStoredNameLength) throw EZipBuilder(kMsgLocalHeaderWriteError);
      if (r.dateTime == 0) r.dateTime = DateTime;
      // Traditional encryption with a data descriptor checks passwords against the
      // stored time: a new time would make every password look wrong.
      if (r.dateTime != 0 && ChecksPasswordAgainstTime(m.header())) {
        r.dateTime = 0;
        undated.push_back(std::string(m.name()));
      }
      MemberRewrite& change = changes.emplace_back();
      if (r.renamed) change.name = std::make_unique<std::string>(std::move(r.name));
      change.dateTime = r.dateTime;
      total += static_cast<int64_t>(m.name().size() + m.extra().size() + m.compressedSize);
    }

    out.onWrite = [this](int64_t count) {
      if (OnProgress && showProgress_) OnProgress(this, ptBytesDone, "", count);
    };
    if (OnProgress) {
      OnProgress(this, ptMemberCount, "", static_cast<int64_t>(archive.members.size()));
      OnProgress(this, ptTotalBytes, "", total);
    }
    const std::string processing = LoadZipStr(kMsgProcessing, "Processing: ");
    const std::string renamedTo = LoadZipStr(kMsgRenamedTo, " renamed to: ");
    std::string text, shownName;  // reused from member to member
    const std::vector<uint64_t> offsets =
        CopyMembersAnew(in, out, archive, changes, [&](size_t i) {
          ui_->ProcessMessages();
          showProgress_ = true;  // the prefix in front is not counted
          const StoredMember& m = archive.members[i];
          const MemberRewrite& change = changes[i];
          const std::string_view name = change.name ? std::string_view(*change.name) : m.name();
          if (OnMessage) {
            text.assign(processing).append(m.name());
            if (change.name) text.append(renamedTo).append(*change.name);
            OnMessage(this, 0, text);
          }
          if (OnProgress) {
            shownName.assign(name);
            std::replace(shownName.begin(), shownName.end(), '/', '\\');
            OnProgress(this, ptMemberBegin, shownName,
                       static_cast<int64_t>(name.size() + m.extra().size() + m.compressedSize));
          }
        });
    showProgress_ = false;
    WriteDirectoryAnew(out, archive, changes, offsets);
  });
  showProgress_ = false;

  if (OnProgress) OnProgress(this, ptBatchEnd, "", 0);
  CloseInput();
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
  if (result == 0 && !undated.empty()) {
    std::string names;
    for (const std::string& name : undated) names += (names.empty() ? "" : ", ") + name;
    ShowZipMessage(kMsgRenameDateKept, names);
  }
  StopWaitCursor();
  return result;
}
