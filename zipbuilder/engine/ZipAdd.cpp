// Adding: builds the add command record for the compression engine, calls it
// once and stores its count of added members in SuccessCount.
#include <algorithm>
#include <cctype>

#include "platform/Clock.h"
#include "platform/Env.h"
#include "platform/Paths.h"
#include "platform/TemporaryFile.h"
#include "zipbuilder/engine/ZipAddRecord.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/engine/EngineUse.h"
#include "zipbuilder/engine/CommandHead.h"
#include "zipbuilder/engine/AddCall.h"
#include "zipbuilder/span/SetWriter.h"
#include "zipbuilder/core/RunningScope.h"
#include "zipformat/VolumeNames.h"

namespace {

constexpr int kModeFiles = 0;
constexpr int kModeStreamToFile = 1;
constexpr int kModeStreamToStream = 2;
constexpr size_t kMaxPasswordChars = 81;

const char* const kSuffixTexts[] = {"gif", "png", "z",   "zip", "zoo", "arc", "lzh", "arj",  "taz",
                                    "tgz", "lha", "rar", "ace", "cab", "gz",  "gzip", "jar", "exe"};

bool IsExeName(const std::string& name) {
  std::string ext = platform::ExtractFileExt(name);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::toupper(c); });
  return ext == ".EXE";
}

}  // namespace

void TZipBuilder::Add() { AddCall(*this).ExtAdd(kModeFiles, 0, 0, nullptr); }

void TZipBuilder::AddStreamToFile(const std::string& FileName, uint32_t FileDate, uint32_t FileAttr) {
  if (Busy()) return;
  if (!FileName.empty()) fSpecArgs_.assign(1, FileName);
  if (FileDate == 0) FileDate = env_->clock->NowDosDateTime();
  if (fSpecArgs_.empty()) {
    ShowZipMessage(kMsgNothingToAdd, "");
  } else if (fSpecArgs_.front().find_first_of("*?") != std::string::npos) {
    ShowZipMessage(kMsgWildcardsNotAllowed, "");
  } else {
    AddCall(*this).ExtAdd(kModeStreamToFile, FileDate, FileAttr, nullptr);
  }
}

TZipStream* TZipBuilder::AddStreamToStream(TMemoryStream* input) {
  if (Busy()) return nullptr;
  if (input == stream_.get()) {
    ShowZipMessage(kMsgStreamSameAsInput, "");
    return nullptr;
  }
  if (!input || input->Size() == 0) {
    ShowZipMessage(kMsgNothingToAdd, "");
    return stream_.get();
  }
  stream_->SetSize(input->Size() + kStreamHeaderSize);
  AddCall(*this).ExtAdd(kModeStreamToStream, 0, 0, input);
  if (successCount_ == 1) stream_->SetPosition(kStreamHeaderSize);
  else stream_->Clear();
  return stream_.get();
}

void TZipBuilder::AddCall::AddSuffix(AddStoreSuffix value, std::string& list, int index) {
  if (!zb_.AddStoreSuffixes.Contains(value) || index < 0 || index > assEXE) return;
  list += std::string(".") + kSuffixTexts[index] + ":";
}

// The current layout's entries: a leading ">" or "|" sets the entry's recursion,
// "<" with text after it gives the entry its own password (a trailing "<" turns
// encryption off and stays in the name).
void TZipBuilder::AddRecord::SetMarkedSpecs(const std::vector<std::string>& lines, const std::string& rootDir) {
  const ZipParams& c = r.current;
  specTable.resize(lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    ZipFileData& d = specTable[i];
    std::string spec = lines[i];
    d.fRecurse = c.fRecurse;
    if (!spec.empty() && spec[0] == '>') {
      d.fRecurse = 1;
      spec.erase(0, 1);
    } else if (!spec.empty() && spec[0] == '|') {
      d.fRecurse = 0;
      spec.erase(0, 1);
    }
    d.fEncrypt = c.fEncrypt;
    d.fFilePassword = c.pZipPassword;
    size_t marker = spec.find('<');
    if (marker != std::string::npos) {
      d.fEncrypt = 1;
      d.fFilePassword = nullptr;
      if (marker + 1 < spec.size()) {
        d.fFilePassword = AddText(spec.substr(marker + 1));
        spec.erase(marker);
      } else {
        d.fEncrypt = 0;
      }
    }
    if (!rootDir.empty()) d.fRootDir = AddText(rootDir);
    d.fFileSpec = AddText(spec);
  }
  r.current.fFDS = specTable.empty() ? nullptr : specTable.data();
}

void TZipBuilder::AddCall::SetZipSwitches(const std::string& archiveName, int32_t version) {
  AddRecord& rec = *addRecord_;
  ZipParams& h = rec.Head();
  SetCommandHead(h, zb_);
  if (!zb_.Password.empty()) h.pZipPassword = rec.AddText(zb_.Password.substr(0, kMaxPasswordChars));
  std::string suffixes;
  for (int v = assGIF; v <= assEXE; ++v) AddSuffix(static_cast<AddStoreSuffix>(v), suffixes, v);
  if (!suffixes.empty()) {
    suffixes.pop_back();  // the last colon
    h.pSuffix = rec.AddText(suffixes);
  }
  h.fEncrypt = zb_.AddOptions.Contains(AddEncrypt) ? 1 : 0;
  static constexpr uint32_t kAesKeyBits[] = {0, 128, 192, 256};
  h.fAesKeyBits = kAesKeyBits[zb_.AddEncryption <= encAES256 ? zb_.AddEncryption : encTraditional];
  h.fStoreLinks = zb_.AddStoreSymLinks ? 1 : 0;
  h.fSystem = zb_.AddOptions.Contains(AddHiddenFiles) ? 1 : 0;
  h.fVolume = zb_.AddOptions.Contains(AddVolume) ? 1 : 0;
  h.fNoDirEntries = zb_.AddOptions.Contains(AddSeparateDirs) ? 0 : 1;
  h.fVerboseEnabled = (zb_.Verbose || zb_.Trace) ? 1 : 0;
  h.fQuiet = 1;
  h.fLevel = zb_.AddCompLevel;
  h.fJunkDir = zb_.AddOptions.Contains(AddDirNames) ? 0 : 1;
  h.fRecurse = zb_.AddOptions.Contains(AddRecurseDirs) ? 1 : 0;
  h.fGrow = 1;
  h.fForce = zb_.AddOptions.Contains(AddForceDOS) ? 1 : 0;
  h.fMove = zb_.AddOptions.Contains(AddMove) ? 1 : 0;
  h.fUpdate = zb_.AddOptions.Contains(AddUpdate) ? 1 : 0;
  h.fFreshen = zb_.AddOptions.Contains(AddFreshen) && !zb_.AddOptions.Contains(AddUpdate) ? 1 : 0;
  h.fLatestTime = zb_.AddOptions.Contains(AddZipTime) ? 1 : 0;
  h.fArgc = static_cast<uint32_t>(zb_.fSpecArgs_.size());
  h.pZipFN = rec.AddText(archiveName);
  if (rec.oldLayout) return;
  ZipParams& c = rec.r.current;
  if ((version == 151 || version == 160) && !zb_.TempDir.empty()) c.pTempDir = rec.AddText(zb_.TempDir);
  if (version != 160) return;
  // The record carries the comment as zero-terminated text: one with a zero
  // byte in it is not handed over, and the engine keeps the archive's own.
  if (!zb_.listed_.rawZipComment.empty() && zb_.listed_.rawZipComment.find('\0') == std::string::npos)
    c.fArchComment = rec.AddText(zb_.listed_.rawZipComment);
  c.fArchiveFilesOnly = zb_.AddOptions.Contains(AddArchiveOnly) ? 1 : 0;
  c.fResetArchiveBit = zb_.AddOptions.Contains(AddResetArchive) ? 1 : 0;
  c.fTotExFileSpecs = static_cast<uint32_t>(zb_.fSpecArgsExcl_.size());
  for (const std::string& line : zb_.fSpecArgsExcl_) rec.exclusions.push_back(rec.AddText(line));
  c.fExFiles = rec.exclusions.empty() ? nullptr : rec.exclusions.data();
  c.fHowToMove = zb_.HowToDelete == htdAllowUndo ? 1 : 0;
  c.fWantedCodePage = zb_.CodePage == cpOEM ? 2 : 0;
}

void TZipBuilder::AddCall::ExtAdd(int mode, uint32_t dateTime, uint32_t attributes, TMemoryStream* input) {
  if (zb_.Busy()) return;
  zb_.errCode_ = 0;
  zb_.successCount_ = 0;
  zb_.message_.clear();
  if (mode == kModeFiles && zb_.fSpecArgs_.empty()) {
    zb_.ShowZipMessage(kMsgNothingToAdd, "");
    return;
  }
  if (mode != kModeStreamToStream && zb_.zipFileName_.empty()) {
    zb_.ShowZipMessage(kMsgNoZipFile, "");
    return;
  }
  if (zb_.Unattended && zb_.AddOptions.Contains(AddEncrypt) && zb_.Password.empty()) {
    zb_.ShowZipMessage(kMsgUnattendedNoPassword, "");
    return;
  }
  zb_.Cancel = false;
  bool toArchive = mode != kModeStreamToStream;
  if (toArchive && IsExeName(zb_.zipFileName_) && zb_.listed_.archiveStart == 0 && !zb_.FileExists(zb_.zipFileName_)) {
    // A new self-extracting archive: the stub and an empty archive first.
    int result = zb_.ConvertSFX(true);
    if (result != 0) {
      zb_.ShowExceptionError(EZipBuilder(kMsgAutoSfxError, result));
      return;
    }
  }
  bool spanning = toArchive && (zb_.AddOptions.Contains(AddDiskSpan) || zb_.AddOptions.Contains(AddDiskSpanErase));

  EngineUse engine(zb_, EngineKind::Zip);
  if (!engine.Loaded()) return;
  // A spanned set is written by the engine as one temporary archive first.
  std::string archiveToWrite = zb_.zipFileName_;
  // The set holds the archive's members and the new ones, as adding without
  // spanning would: the engine reads the existing archive and writes the whole
  // result under the temporary name.
  std::string keepFrom;
  if (spanning) {
    if (zb_.AddOptions.Contains(AddFreshen) || zb_.AddOptions.Contains(AddUpdate)) {
      zb_.ShowZipMessage(kMsgRefreshSpanned, "");
      return;
    }
    if (IsExeName(zb_.zipFileName_)) {
      zb_.ShowZipMessage(kMsgSfxSpanned, "");
      return;
    }
    archiveToWrite = zb_.MakeTempFileName("zip", ".tmp");
    if (archiveToWrite.empty()) {
      zb_.ShowZipMessage(kMsgTempFileFailed, "");
      return;
    }
    if (zb_.FileExists(zb_.zipFileName_) && !zb_.listed_.spanned) keepFrom = zb_.zipFileName_;
    if (zb_.Verbose && zb_.OnMessage) zb_.OnMessage(&zb_, 0, "Temporary zipfile: " + archiveToWrite);
  }

  RunningScope running(zb_, RunKind::Zip);
  int32_t version = zb_.GetZipVers();
  if (mode != kModeFiles && version < 160) {
    zb_.ShowZipMessage(kMsgZipDllNoStreams, "");
    return;
  }
  // Older engines cannot read the members from another archive: they add to a
  // copy, which a killed run leaves behind.
  if (!keepFrom.empty() && version <= 150) {
    if (zb_.CopyFileA(keepFrom, archiveToWrite) != 0) {
      zb_.env_->files->DeleteFile(archiveToWrite);
      zb_.ShowZipMessage(kMsgTempFileFailed, "");
      return;
    }
    keepFrom.clear();
  }
  ExecAddRecord(
      version, archiveToWrite,
      [&](AddRecord& rec) {
        ZipParams& c = rec.r.current;
        if (!rec.oldLayout && !keepFrom.empty()) c.pKeepFromZipFN = keepFrom.data();
        if (mode == kModeStreamToFile) {
          c.fUseInStream = 1;
          c.fInStream = zb_.stream_->Memory();
          c.fInStreamSize = static_cast<uint32_t>(zb_.stream_->Size());
          c.fStrFileAttr = attributes;
          c.fStrFileDate = dateTime;
        } else if (mode == kModeStreamToStream) {
          c.fUseOutStream = 1;
          c.fOutStream = zb_.stream_->Memory();
          c.fOutStreamSize = static_cast<uint32_t>(input->Size() + kStreamHeaderSize);
          c.fUseInStream = 1;
          c.fInStream = input->Memory();
          c.fInStreamSize = static_cast<uint32_t>(input->Size());
        }
        if (!rec.oldLayout) rec.SetMarkedSpecs(zb_.fSpecArgs_, zb_.rootDir_);
      },
      [&](AddRecord& rec) {
        if (mode == kModeStreamToStream && zb_.successCount_ == 1) zb_.stream_->SetSize(rec.r.current.fOutStreamSize);
      });
  if (spanning) WriteSpanFromTemporary(archiveToWrite);
  zb_.Cancel = false;
  running.Release();
  // The listing is renewed after every add that added something, streams too.
  if (zb_.successCount_ > 0) zb_.List();
}

void TZipBuilder::AddCall::ExecAddRecord(int32_t version, const std::string& archiveName,
                                const std::function<void(AddRecord&)>& build,
                                const std::function<void(AddRecord&)>& afterExec) {
  zb_.StartWaitCursor();
  AddRecord rec;
  addRecord_ = &rec;
  try {
    rec.oldLayout = version <= 150;
    SetZipSwitches(archiveName, version);
    build(rec);
    // The older engines know no markers: plain copies of the lines.
    bool fits = !rec.oldLayout || rec.SetPlainSpecs(zb_.fSpecArgs_);
    rec.SetSeven();
    if (!fits) {
      // Refused rather than handing over a silently shortened selection.
      zb_.ShowZipMessage(kMsgZipDllAbort, "\ntoo many file specifications for this engine version (at most 4097)");
    } else {
      zb_.successCount_ = zb_.engines_.ZipDllExec(&rec.r.current);
      zb_.RethrowCallbackException();
      if (afterExec) afterExec(rec);
    }
  } catch (...) {
    // A run that ended in an exception (also an event handler's) counts nothing.
    zb_.callbackException_ = nullptr;
    zb_.successCount_ = 0;
    zb_.ShowZipMessage(kMsgZipDllAbort, "");
  }
  zb_.fSpecArgs_.clear();
  zb_.fSpecArgsExcl_.clear();
  addRecord_ = nullptr;
  zb_.StopWaitCursor();
}

void TZipBuilder::AddCall::WriteSpanFromTemporary(const std::string& temporary) {
  auto& files = *zb_.env_->files;
  if (zb_.successCount_ == 0) {
    files.DeleteFile(temporary);  // nothing was added: no archive to keep
    return;
  }
  // Without moving, the added files are still where they were: the engine's
  // archive loses its name now, so that neither a failure nor a killed run
  // leaves it behind. Moved files are in it alone: it keeps its name until the
  // set is complete.
  const bool onlyCopy = zb_.AddOptions.Contains(AddMove);
  platform::TemporaryFile built;
  if (!onlyCopy) built = platform::TemporaryFile::Adopt(files, temporary);
  const std::string source = built.IsOpen() ? built.Path() : temporary;
  try {
    if (SetWriter(zb_).WriteSpanSet(source, zb_.zipFileName_, zb_.FileExists(zb_.zipFileName_) ? zb_.zipFileName_ : "") != 0) {
      zb_.successCount_ = 0;
      // The moved files are in this archive alone: the user must take them from it.
      if (onlyCopy && zb_.OnMessage) zb_.OnMessage(&zb_, 0, "Temporary zipfile kept: " + temporary);
      if (!onlyCopy && !built.IsOpen()) files.DeleteFile(temporary);
      return;
    }
    if (span::HoldsSeparateFiles(zb_.Drives().GetDriveType(zb_.volume_.drive)))
      zb_.zipFileName_ = zip::NumberedName(zb_.zipFileName_, zb_.volume_.diskNr);
    if (!built.IsOpen()) files.DeleteFile(temporary);
  } catch (...) {
    zb_.successCount_ = 0;
    zb_.ShowZipMessage(kMsgZipDllAbort, "");
  }
}
