// Converting an archive to a self-extractor: a copy of the stub (its icon image
// optionally replaced), the settings header, then the archive with every offset
// shifted by what now lies in front of it. The result is written into a
// temporary file beside the target and takes its place only once it checks out.
#include <algorithm>
#include <cctype>
#include <new>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/ProgramPath.h"
#include "zipbuilder/rewrite/ArchiveReplace.h"
#include "zipbuilder/rewrite/OutputRule.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/core/ResultCodes.h"
#include "zipformat/Records.h"
#include "zipformat/SfxHeader.h"
#include "zipformat/SfxIcon.h"

using platform::FileHandle;
using platform::SeekFrom;

namespace {

constexpr const char* kStubName = "ZipSFX.bin";
// The system and Windows directories, as the prefix's drive C: holds them.
constexpr const char* kSystemDirectory = "C:\\windows\\system32";
constexpr const char* kWindowsDirectory = "C:\\windows";

std::string UpperExtension(const std::string& name) {
  std::string ext = platform::ExtractFileExt(name);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::toupper(c); });
  return ext;
}

uint8_t OptionFlags(const SFXOpts& options, OvrOpts mode) {
  uint8_t flags = 0;
  if (options.Contains(SFXAskCmdLine)) flags |= zip::kSfxAskCmdLine;
  if (options.Contains(SFXAskFiles)) flags |= zip::kSfxAskFiles;
  if (options.Contains(SFXHideOverWriteBox)) flags |= zip::kSfxHideOverwriteBox;
  if (mode == OvrAlways) flags |= zip::kSfxOverwriteAlways;
  if (mode == OvrNever) flags |= zip::kSfxOverwriteNever;
  if (!options.Contains(SFXCheckSize)) flags |= zip::kSfxNoCheckSize;
  if (options.Contains(SFXAutoRun)) flags |= zip::kSfxAutoRun;
  if (options.Contains(SFXNoSuccessMsg)) flags |= zip::kSfxNoSuccessMsg;
  return flags;
}

}  // namespace

int TZipBuilder::ConvertSFX() {
  return ConvertSFX(false);
}

bool TZipBuilder::FindSfxStub() {
  // Never the current directory: a file planted there would become the
  // program's first bytes.
  std::vector<std::string> candidates = {SFXPath, platform::ProgramDirectory() + kStubName,
                                         std::string(kSystemDirectory) + "\\" + kStubName,
                                         std::string(kWindowsDirectory) + "\\" + kStubName};
  if (!dllDirectory_.empty()) candidates.push_back(dllDirectory_ + "\\" + kStubName);
  for (const std::string& candidate : candidates) {
    SFXPath = candidate;
    if (FileExists(SFXPath)) return true;
  }
  return false;
}

int TZipBuilder::ConvertSFX(bool createEmpty) {
  if (Busy()) return kSfxFailed;
  showProgress_ = false;
  if (!createEmpty && !FileExists(zipFileName_)) {
    ShowZipMessage(kMsgNoZipFile, "");
    return kSfxFailed;
  }
  // A volume of a set: converting it would take it out of its set.
  if (!createEmpty && spanned_) {
    ShowZipMessage(kMsgSfxSpanned, "");
    return kSfxFailed;
  }
  const size_t lengths[] = {SFXCaption.size(), SFXDefaultDir.size(), SFXCommandLine.size(),
                            SFXMessage.size()};
  if (std::any_of(std::begin(lengths), std::end(lengths),
                  [](size_t n) { return n > zip::kSfxMaxSettingLength; })) {
    size_t sum = lengths[0] + lengths[1] + lengths[2] + lengths[3];
    ShowZipMessage(kMsgSfxStringTooLong, "\r\nSFXCaption + SFXDefaultDir + SFXCommandLine + SFXMessage = " +
                              std::to_string(sum));
    return kSfxFailed;
  }
  if (!FindSfxStub()) {
    SFXPath.clear();
    ShowZipMessage(kMsgSfxStubNotFound, "");
    return kSfxFailed;
  }
  std::vector<uint8_t> header;
  try {
    header = zip::BuildSfxHeader({OptionFlags(SFXOptions, SFXOverWriteMode), SFXCaption, SFXDefaultDir,
                                  SFXCommandLine, SFXMessage});
  } catch (const std::bad_alloc&) {
    ShowZipMessage(kMsgNoMemory, "");
    return kSfxFailed;
  }

  RunningScope running(*this, RunKind::Zip);
  StartWaitCursor();
  int result = kSfxFailed;
  std::string output = zipFileName_;
  if (!createEmpty && UpperExtension(zipFileName_) != ".ZIP") {
    ShowZipMessage(kMsgSfxInputNotZip, "");
  } else {
    if (!createEmpty) output = platform::ChangeFileExt(zipFileName_, ".exe");
    OutputRule rule(*env_->files);
    rule.AddInput(SFXPath);
    if (!createEmpty) rule.AddInput(zipFileName_);
    // Written beside the target: an existing file of that name stays until the new one is complete.
    platform::TemporaryFile temporary;
    int64_t stubSize = -1, archiveSize = -1, outputSize = -1;
    if (CheckOutput(rule, output)) {
      temporary = CreateTemporaryBeside(*env_->files, output);
      result = !temporary.IsOpen() ? kSfxNoOutput
                                   : WriteSfx(temporary.Path(), header, createEmpty, stubSize,
                                              archiveSize, outputSize);
    }
    if (result == 0 && (stubSize < 0 || archiveSize < 0 || outputSize < 0 ||
                        stubSize + static_cast<int64_t>(header.size()) + archiveSize != outputSize))
      result = kSfxFailed;
    if (result == kSfxShortCopy) ReportShortCopy();
    if (result != 0) temporary.Discard();
    if (result == 0)
      result = PlaceConverted(temporary, output, createEmpty ? "" : zipFileName_, !createEmpty);
  }
  StopWaitCursor();
  return result;
}

int TZipBuilder::WriteSfx(const std::string& temporary, const std::vector<uint8_t>& header,
                          bool createEmpty, int64_t& stubSize, int64_t& archiveSize,
                          int64_t& outputSize) {
  auto& files = *env_->files;
  FileHandle out = files.Open(temporary, platform::Access::ReadWrite, platform::Share::None,
                              platform::Disposition::CreateAlways, 0600);
  if (out == platform::kInvalidHandle) return kSfxNoOutput;
  int result = kSfxReadFailed;
  FileHandle stub = files.Open(SFXPath, platform::Access::Read, platform::Share::Read,
                               platform::Disposition::OpenExisting);
  if (stub != platform::kInvalidHandle) {
    result = CopyBuffer(stub, out, -1);
    stubSize = files.Seek(stub, 0, SeekFrom::End);
    files.Close(stub);
  }
  if (result == 0 && !sfxIcon_.Empty()) result = ReplaceIcon(out, stubSize);
  const int64_t prefix = stubSize + static_cast<int64_t>(header.size());
  if (result == 0 &&
      files.Write(out, header.data(), header.size()) != static_cast<int64_t>(header.size()))
    result = kSfxShortCopy;
  if (result == 0 && createEmpty) {
    zip::ZipEndOfCentral empty{};
    empty.HeaderSig = zip::kEndOfCentralSignature;
    empty.CentralOffSet = static_cast<uint32_t>(prefix);
    uint8_t record[zip::kEndRecordSize];
    zip::Encode(empty, record);
    result = files.Write(out, record, sizeof record) == static_cast<int64_t>(sizeof record) ? kResultOk : kSfxShortCopy;
    archiveSize = static_cast<int64_t>(sizeof record);
  } else if (result == 0) {
    try {
      inFileName_ = zipFileName_;  // the archive as last listed, whatever ran before
      zip::ZipEndOfCentral endOfCentral{};
      CheckIfLastDisk(endOfCentral, true);
      if (files.Seek(inFileHandle_, 0, SeekFrom::Begin) != 0) throw EZipBuilder(kMsgInputSeekError);
      if (structureWarning_) {
        result = CopyBulk(inFileHandle_, out, -1);
        archiveSize = realFileSize_;
      } else if (int64_t{endOfCentral.CentralOffSet} + prefix > int64_t{zip::kSaturated32} ||
                 endOfCentral.CentralOffSet == zip::kSaturated32 ||
                 endOfCentral.TotalEntries == zip::kSaturated16) {
        // Shifted offsets would not fit their 32 bits: refused rather than wrapped.
        ShowZipMessage(kMsgNotZipArchive,
                       "\nthe self-extractor would place archive data beyond 4 GB (or the archive "
                       "needs 64-bit records), which self-extractors do not support");
        result = kSfxFailed;
      } else {
        result = CopyBulk(inFileHandle_, out, endOfCentral.CentralOffSet);
        if (result == 0) result = RWCentralDir(out, endOfCentral, static_cast<int32_t>(prefix));
        archiveSize = archiveFileSize_;
      }
    } catch (...) {
      result = kSfxReadFailed;
    }
    if (inFileHandle_ != platform::kInvalidHandle) {
      files.Close(inFileHandle_);
      inFileHandle_ = platform::kInvalidHandle;
    }
  }
  outputSize = files.Seek(out, 0, SeekFrom::End);
  files.Close(out);
  return result;
}

int TZipBuilder::ReplaceIcon(FileHandle output, int64_t stubSize) {
  auto& files = *env_->files;
  int result = kIconNotFound;
  try {
    std::vector<uint8_t> image(static_cast<size_t>(stubSize));
    if (files.Seek(output, 0, SeekFrom::Begin) != 0 ||
        files.Read(output, image.data(), image.size()) != static_cast<int64_t>(image.size()))
      throw EZipBuilder(kMsgInputSeekError);
    if (auto at = zip::FindSfxIconImage(image)) {
      const std::vector<uint8_t>& icon = sfxIcon_.data;
      if (icon.size() != zip::kSfxIconFileSize) {
        result = -12;
      } else {
        if (files.Seek(output, static_cast<int64_t>(*at), SeekFrom::Begin) !=
                static_cast<int64_t>(*at) ||
            files.Write(output, icon.data() + zip::kSfxIconImageOffset, zip::kSfxIconImageSize) !=
                zip::kSfxIconImageSize)
          throw EZipBuilder(kMsgOutputWriteError);
        result = 0;
      }
    }
  } catch (...) {
    result = kIconFailed;
  }
  files.Seek(output, 0, SeekFrom::End);
  return result;
}

void TZipBuilder::ReportShortCopy() {
  // The input was read (and listed) a moment ago: a copy falls short because
  // the output could not take it, most often on a full disk.
  const int error = env_->files->LastError();
  ShowZipMessage(kMsgOutputWriteError, error ? ": " + platform::ErrorText(error) : "");
}

bool TZipBuilder::CheckOutput(const OutputRule& rule, const std::string& output) {
  try {
    rule.Check(output);
    return true;
  } catch (const EZipBuilder& e) {
    ShowExceptionError(e);
    return false;
  }
}

int TZipBuilder::PlaceConverted(platform::TemporaryFile& temporary, const std::string& target,
                                const std::string& previous, bool listTarget) {
  {
    // The new file must list before anything is erased.
    TZipBuilder probe(env_, ui_);
    probe.Unattended = true;
    probe.SetFileName(temporary.Path());
    if (probe.ZipFileName().empty()) {
      temporary.Discard();
      return kSfxFailed;
    }
  }
  const bool undo = HowToDelete == htdAllowUndo && FileExists(target);
  if (ReplaceArchive(*env_, temporary, target, undo) != ReplaceOutcome::Replaced) return kSfxNoOutput;
  if (!previous.empty()) EraseFile(previous, HowToDelete);
  if (listTarget)
    SetFileName(target);
  else
    zipFileName_ = target;
  return 0;
}
