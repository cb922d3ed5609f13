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

void TZipBuilder::Add() { ExtAdd(kModeFiles, 0, 0, nullptr); }

void TZipBuilder::AddStreamToFile(const std::string& FileName, uint32_t FileDate, uint32_t FileAttr) {
  if (Busy()) return;
  if (!FileName.empty()) fSpecArgs_.assign(1, FileName);
  if (FileDate == 0) FileDate = env_->clock->NowDosDateTime();
  if (fSpecArgs_.empty()) {
    ShowZipMessage(kMsgNothingToAdd, "");
  } else if (fSpecArgs_.front().find_first_of("*?") != std::string::npos) {
    ShowZipMessage(kMsgWildcardsNotAllowed, "");
  } else {
    ExtAdd(kModeStreamToFile, FileDate, FileAttr, nullptr);
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
  ExtAdd(kModeStreamToStream, 0, 0, input);
  if (successCount_ == 1) stream_->SetPosition(kStreamHeaderSize);
  else stream_->Clear();
  return stream_.get();
}

void TZipBuilder::AddSuffix(AddStoreSuffix value, std::string& list, int index) {
  if (!AddStoreSuffixes.Contains(value) || index < 0 || index > assEXE) return;
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

void TZipBuilder::SetZipSwitches(const std::string& archiveName, int32_t version) {
  AddRecord& rec = *addRecord_;
  ZipParams& h = rec.Head();
  h.fHandle = static_cast<uint32_t>(OwnerWindow);
  h.fCaller = this;
  h.fVersion = 160;
  h.ZCallbackFunc = &TZipBuilder::ZCallback;
  h.fTraceEnabled = Trace ? 1 : 0;
  if (!Password.empty()) h.pZipPassword = rec.AddText(Password.substr(0, kMaxPasswordChars));
  std::string suffixes;
  for (int v = assGIF; v <= assEXE; ++v) AddSuffix(static_cast<AddStoreSuffix>(v), suffixes, v);
  if (!suffixes.empty()) {
    suffixes.pop_back();  // the last colon
    h.pSuffix = rec.AddText(suffixes);
  }
  h.fEncrypt = AddOptions.Contains(AddEncrypt) ? 1 : 0;
  h.fSystem = AddOptions.Contains(AddHiddenFiles) ? 1 : 0;
  h.fVolume = AddOptions.Contains(AddVolume) ? 1 : 0;
  h.fNoDirEntries = AddOptions.Contains(AddSeparateDirs) ? 0 : 1;
  h.fVerboseEnabled = (Verbose || Trace) ? 1 : 0;
  h.fQuiet = 1;
  h.fLevel = AddCompLevel;
  h.fJunkDir = AddOptions.Contains(AddDirNames) ? 0 : 1;
  h.fRecurse = AddOptions.Contains(AddRecurseDirs) ? 1 : 0;
  h.fGrow = 1;
  h.fForce = AddOptions.Contains(AddForceDOS) ? 1 : 0;
  h.fMove = AddOptions.Contains(AddMove) ? 1 : 0;
  h.fUpdate = AddOptions.Contains(AddUpdate) ? 1 : 0;
  h.fFreshen = AddOptions.Contains(AddFreshen) && !AddOptions.Contains(AddUpdate) ? 1 : 0;
  h.fLatestTime = AddOptions.Contains(AddZipTime) ? 1 : 0;
  h.fArgc = static_cast<uint32_t>(fSpecArgs_.size());
  h.pZipFN = rec.AddText(archiveName);
  if (rec.oldLayout) return;
  ZipParams& c = rec.r.current;
  if ((version == 151 || version == 160) && !TempDir.empty()) c.pTempDir = rec.AddText(TempDir);
  if (version != 160) return;
  // The record carries the comment as zero-terminated text: one with a zero
  // byte in it is not handed over, and the engine keeps the archive's own.
  if (!rawZipComment_.empty() && rawZipComment_.find('\0') == std::string::npos)
    c.fArchComment = rec.AddText(rawZipComment_);
  c.fArchiveFilesOnly = AddOptions.Contains(AddArchiveOnly) ? 1 : 0;
  c.fResetArchiveBit = AddOptions.Contains(AddResetArchive) ? 1 : 0;
  c.fTotExFileSpecs = static_cast<uint32_t>(fSpecArgsExcl_.size());
  for (const std::string& line : fSpecArgsExcl_) rec.exclusions.push_back(rec.AddText(line));
  c.fExFiles = rec.exclusions.empty() ? nullptr : rec.exclusions.data();
  c.fHowToMove = HowToDelete == htdAllowUndo ? 1 : 0;
  c.fWantedCodePage = CodePage == cpOEM ? 2 : 0;
}

void TZipBuilder::ExtAdd(int mode, uint32_t dateTime, uint32_t attributes, TMemoryStream* input) {
  if (Busy()) return;
  errCode_ = 0;
  successCount_ = 0;
  message_.clear();
  if (mode == kModeFiles && fSpecArgs_.empty()) {
    ShowZipMessage(kMsgNothingToAdd, "");
    return;
  }
  if (mode != kModeStreamToStream && zipFileName_.empty()) {
    ShowZipMessage(kMsgNoZipFile, "");
    return;
  }
  if (Unattended && AddOptions.Contains(AddEncrypt) && Password.empty()) {
    ShowZipMessage(kMsgUnattendedNoPassword, "");
    return;
  }
  Cancel = false;
  bool toArchive = mode != kModeStreamToStream;
  if (toArchive && IsExeName(zipFileName_) && archiveStart_ == 0 && !FileExists(zipFileName_)) {
    // A new self-extracting archive: the stub and an empty archive first.
    int result = ConvertSFX(true);
    if (result != 0) {
      ShowExceptionError(EZipBuilder(kMsgAutoSfxError, result));
      return;
    }
  }
  bool spanning = toArchive && (AddOptions.Contains(AddDiskSpan) || AddOptions.Contains(AddDiskSpanErase));

  EngineUse engine(*this, EngineKind::Zip);
  if (!engine.Loaded()) return;
  // A spanned set is written by the engine as one temporary archive first.
  std::string archiveToWrite = zipFileName_;
  // The set holds the archive's members and the new ones, as adding without
  // spanning would: the engine reads the existing archive and writes the whole
  // result under the temporary name.
  std::string keepFrom;
  if (spanning) {
    if (AddOptions.Contains(AddFreshen) || AddOptions.Contains(AddUpdate)) {
      ShowZipMessage(kMsgRefreshSpanned, "");
      return;
    }
    if (IsExeName(zipFileName_)) {
      ShowZipMessage(kMsgSfxSpanned, "");
      return;
    }
    archiveToWrite = MakeTempFileName("zip", ".tmp");
    if (archiveToWrite.empty()) {
      ShowZipMessage(kMsgTempFileFailed, "");
      return;
    }
    if (FileExists(zipFileName_) && !spanned_) keepFrom = zipFileName_;
    if (Verbose && OnMessage) OnMessage(this, 0, "Temporary zipfile: " + archiveToWrite);
  }

  RunningScope running(*this, RunKind::Zip);
  int32_t version = GetZipVers();
  if (mode != kModeFiles && version < 160) {
    ShowZipMessage(kMsgZipDllNoStreams, "");
    return;
  }
  // Older engines cannot read the members from another archive: they add to a
  // copy, which a killed run leaves behind.
  if (!keepFrom.empty() && version <= 150) {
    if (CopyFileA(keepFrom, archiveToWrite) != 0) {
      env_->files->DeleteFile(archiveToWrite);
      ShowZipMessage(kMsgTempFileFailed, "");
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
          c.fInStream = stream_->Memory();
          c.fInStreamSize = static_cast<uint32_t>(stream_->Size());
          c.fStrFileAttr = attributes;
          c.fStrFileDate = dateTime;
        } else if (mode == kModeStreamToStream) {
          c.fUseOutStream = 1;
          c.fOutStream = stream_->Memory();
          c.fOutStreamSize = static_cast<uint32_t>(input->Size() + kStreamHeaderSize);
          c.fUseInStream = 1;
          c.fInStream = input->Memory();
          c.fInStreamSize = static_cast<uint32_t>(input->Size());
        }
        if (!rec.oldLayout) rec.SetMarkedSpecs(fSpecArgs_, rootDir_);
      },
      [&](AddRecord& rec) {
        if (mode == kModeStreamToStream && successCount_ == 1) stream_->SetSize(rec.r.current.fOutStreamSize);
      });
  if (spanning) WriteSpanFromTemporary(archiveToWrite);
  Cancel = false;
  running.Release();
  // The listing is renewed after every add that added something, streams too.
  if (successCount_ > 0) List();
}

void TZipBuilder::ExecAddRecord(int32_t version, const std::string& archiveName,
                                const std::function<void(AddRecord&)>& build,
                                const std::function<void(AddRecord&)>& afterExec) {
  StartWaitCursor();
  AddRecord rec;
  addRecord_ = &rec;
  try {
    rec.oldLayout = version <= 150;
    SetZipSwitches(archiveName, version);
    build(rec);
    // The older engines know no markers: plain copies of the lines.
    bool fits = !rec.oldLayout || rec.SetPlainSpecs(fSpecArgs_);
    rec.SetSeven();
    if (!fits) {
      // Refused rather than handing over a silently shortened selection.
      ShowZipMessage(kMsgZipDllAbort, "\ntoo many file specifications for this engine version (at most 4097)");
    } else {
      successCount_ = ZipDllExec(&rec.r.current);
      RethrowCallbackException();
      if (afterExec) afterExec(rec);
    }
  } catch (...) {
    // A run that ended in an exception (also an event handler's) counts nothing.
    callbackException_ = nullptr;
    successCount_ = 0;
    ShowZipMessage(kMsgZipDllAbort, "");
  }
  fSpecArgs_.clear();
  fSpecArgsExcl_.clear();
  addRecord_ = nullptr;
  StopWaitCursor();
}

void TZipBuilder::WriteSpanFromTemporary(const std::string& temporary) {
  auto& files = *env_->files;
  if (successCount_ == 0) {
    files.DeleteFile(temporary);  // nothing was added: no archive to keep
    return;
  }
  // Without moving, the added files are still where they were: the engine's
  // archive loses its name now, so that neither a failure nor a killed run
  // leaves it behind. Moved files are in it alone: it keeps its name until the
  // set is complete.
  const bool onlyCopy = AddOptions.Contains(AddMove);
  platform::TemporaryFile built;
  if (!onlyCopy) built = platform::TemporaryFile::Adopt(files, temporary);
  const std::string source = built.IsOpen() ? built.Path() : temporary;
  try {
    if (WriteSpanSet(source, zipFileName_, FileExists(zipFileName_) ? zipFileName_ : "") != 0) {
      successCount_ = 0;
      // The moved files are in this archive alone: the user must take them from it.
      if (onlyCopy && OnMessage) OnMessage(this, 0, "Temporary zipfile kept: " + temporary);
      if (!onlyCopy && !built.IsOpen()) files.DeleteFile(temporary);
      return;
    }
    if (span::HoldsSeparateFiles(Drives().GetDriveType(drive_)))
      zipFileName_ = zip::NumberedName(zipFileName_, diskNr_);
    if (!built.IsOpen()) files.DeleteFile(temporary);
  } catch (...) {
    successCount_ = 0;
    ShowZipMessage(kMsgZipDllAbort, "");
  }
}
