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
#include "zipbuilder/sfx/SfxConversion.h"
#include "zipbuilder/core/RunningScope.h"
#include "zipbuilder/core/ResultCodes.h"
#include "zipbuilder/read/Zip64EndRecord.h"
#include "zipformat/EndRecord.h"
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

bool TZipBuilder::SfxConversion::FindSfxStub() {
  // Never the current directory: a file planted there would become the
  // program's first bytes.
  std::vector<std::string> candidates = {zb_.SFXPath, platform::ProgramDirectory() + kStubName,
                                         std::string(kSystemDirectory) + "\\" + kStubName,
                                         std::string(kWindowsDirectory) + "\\" + kStubName};
  if (!zb_.dllDirectory_.empty()) candidates.push_back(zb_.dllDirectory_ + "\\" + kStubName);
  for (const std::string& candidate : candidates) {
    zb_.SFXPath = candidate;
    if (zb_.FileExists(zb_.SFXPath)) return true;
  }
  return false;
}

int TZipBuilder::ConvertSFX(bool createEmpty) { return SfxConversion(*this).ToSfx(createEmpty); }

int TZipBuilder::SfxConversion::ToSfx(bool createEmpty) {
  if (zb_.Busy()) return kSfxFailed;
  zb_.showProgress_ = false;
  if (!createEmpty && !zb_.FileExists(zb_.zipFileName_)) {
    zb_.ShowZipMessage(kMsgNoZipFile, "");
    return kSfxFailed;
  }
  // A volume of a set: converting it would take it out of its set.
  if (!createEmpty && zb_.listed_.spanned) {
    zb_.ShowZipMessage(kMsgSfxSpanned, "");
    return kSfxFailed;
  }
  const size_t lengths[] = {zb_.SFXCaption.size(), zb_.SFXDefaultDir.size(), zb_.SFXCommandLine.size(),
                            zb_.SFXMessage.size()};
  if (std::any_of(std::begin(lengths), std::end(lengths),
                  [](size_t n) { return n > zip::kSfxMaxSettingLength; })) {
    size_t sum = lengths[0] + lengths[1] + lengths[2] + lengths[3];
    zb_.ShowZipMessage(kMsgSfxStringTooLong, "\r\nSFXCaption + SFXDefaultDir + SFXCommandLine + SFXMessage = " +
                              std::to_string(sum));
    return kSfxFailed;
  }
  if (!FindSfxStub()) {
    zb_.SFXPath.clear();
    zb_.ShowZipMessage(kMsgSfxStubNotFound, "");
    return kSfxFailed;
  }
  std::vector<uint8_t> header;
  try {
    header = zip::BuildSfxHeader({OptionFlags(zb_.SFXOptions, zb_.SFXOverWriteMode), zb_.SFXCaption, zb_.SFXDefaultDir,
                                  zb_.SFXCommandLine, zb_.SFXMessage});
  } catch (const std::bad_alloc&) {
    zb_.ShowZipMessage(kMsgNoMemory, "");
    return kSfxFailed;
  }

  RunningScope running(zb_, RunKind::Zip);
  zb_.StartWaitCursor();
  int result = kSfxFailed;
  std::string output = zb_.zipFileName_;
  if (!createEmpty && UpperExtension(zb_.zipFileName_) != ".ZIP") {
    zb_.ShowZipMessage(kMsgSfxInputNotZip, "");
  } else {
    if (!createEmpty) output = platform::ChangeFileExt(zb_.zipFileName_, ".exe");
    OutputRule rule(*zb_.env_->files);
    rule.AddInput(zb_.SFXPath);
    if (!createEmpty) rule.AddInput(zb_.zipFileName_);
    // Written beside the target: an existing file of that name stays until the new one is complete.
    platform::TemporaryFile temporary;
    int64_t stubSize = -1, archiveSize = -1, outputSize = -1;
    if (CheckOutput(rule, output)) {
      temporary = CreateTemporaryBeside(*zb_.env_->files, output);
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
      result = PlaceConverted(temporary, output, createEmpty ? "" : zb_.zipFileName_, !createEmpty);
  }
  zb_.StopWaitCursor();
  return result;
}

platform::FileHandle TZipBuilder::SfxConversion::CreateOutput(const std::string& temporary) {
  return zb_.env_->files->Open(temporary, platform::Access::ReadWrite, platform::Share::None,
                               platform::Disposition::CreateAlways, 0600);
}

zip::DirectoryExtent TZipBuilder::SfxConversion::OpenListedArchive(zip::ZipEndOfCentral& end,
                                                                   std::optional<zip::Zip64EndOfCentral>& zip64) {
  zb_.inFileName_ = zb_.zipFileName_;
  zb_.CheckIfLastDisk(end, true);
  zip64 = ReadZip64End(*zb_.env_->files, zb_.inFileHandle_, zb_.listed_.endOfCentralOffset);
  return zip::ResolveExtent(end, zip64 ? &*zip64 : nullptr);
}

int TZipBuilder::SfxConversion::WriteSfx(const std::string& temporary, const std::vector<uint8_t>& header,
                          bool createEmpty, int64_t& stubSize, int64_t& archiveSize,
                          int64_t& outputSize) {
  auto& files = *zb_.env_->files;
  FileHandle out = CreateOutput(temporary);
  if (out == platform::kInvalidHandle) return kSfxNoOutput;
  int result = kSfxReadFailed;
  FileHandle stub = files.Open(zb_.SFXPath, platform::Access::Read, platform::Share::Read,
                               platform::Disposition::OpenExisting);
  if (stub != platform::kInvalidHandle) {
    result = zb_.CopyBuffer(stub, out, -1);
    stubSize = files.Seek(stub, 0, SeekFrom::End);
    files.Close(stub);
  }
  if (result == 0 && !zb_.sfxIcon_.Empty()) result = ReplaceIcon(out, stubSize);
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
      zip::ZipEndOfCentral endOfCentral{};
      std::optional<zip::Zip64EndOfCentral> zip64;
      const zip::DirectoryExtent extent = OpenListedArchive(endOfCentral, zip64);
      if (files.Seek(zb_.inFileHandle_, 0, SeekFrom::Begin) != 0) throw EZipBuilder(kMsgInputSeekError);
      if (zb_.listed_.structureWarning) {
        result = zb_.CopyBulk(zb_.inFileHandle_, out, -1);
        archiveSize = zb_.listed_.realFileSize;
      } else if (extent.offset + static_cast<uint64_t>(prefix) >= zip::kSaturated32) {
        // The listing and the shift hold 32 bits: refused rather than wrapped.
        zb_.ShowZipMessage(kMsgNotZipArchive,
                       "\nthe self-extractor would place archive data beyond 4 GB, which "
                       "self-extractors do not support");
        result = kSfxFailed;
      } else {
        result = zb_.CopyBulk(zb_.inFileHandle_, out, static_cast<int64_t>(extent.offset));
        if (result == 0)
          result = zb_.RWCentralDir(out, endOfCentral, static_cast<int32_t>(prefix), zip64 ? &*zip64 : nullptr);
        archiveSize = zb_.listed_.archiveFileSize;
      }
    } catch (...) {
      result = kSfxReadFailed;
    }
    zb_.CloseInput();
  }
  return CloseOutput(out, result, outputSize);
}

int TZipBuilder::SfxConversion::ReplaceIcon(FileHandle output, int64_t stubSize) {
  auto& files = *zb_.env_->files;
  int result = kIconNotFound;
  try {
    std::vector<uint8_t> image(static_cast<size_t>(stubSize));
    if (files.Seek(output, 0, SeekFrom::Begin) != 0 ||
        files.Read(output, image.data(), image.size()) != static_cast<int64_t>(image.size()))
      throw EZipBuilder(kMsgInputSeekError);
    if (auto at = zip::FindSfxIconImage(image)) {
      const std::vector<uint8_t>& icon = zb_.sfxIcon_.data;
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

int TZipBuilder::SfxConversion::CloseOutput(FileHandle out, int result, int64_t& outputSize) {
  auto& files = *zb_.env_->files;
  outputSize = files.Seek(out, 0, SeekFrom::End);
  files.Close(out);
  return result;
}

void TZipBuilder::SfxConversion::ReportShortCopy() {
  // The input was read (and listed) a moment ago: a copy falls short because
  // the output could not take it, most often on a full disk.
  const int error = zb_.env_->files->LastError();
  zb_.ShowZipMessage(kMsgOutputWriteError, error ? ": " + platform::ErrorText(error) : "");
}

bool TZipBuilder::SfxConversion::CheckOutput(const OutputRule& rule, const std::string& output) {
  try {
    rule.Check(output);
    return true;
  } catch (const EZipBuilder& e) {
    zb_.ShowExceptionError(e);
    return false;
  }
}

int TZipBuilder::SfxConversion::PlaceConverted(platform::TemporaryFile& temporary, const std::string& target,
                                const std::string& previous, bool listTarget) {
  {
    // The new file must list before anything is erased.
    TZipBuilder probe(zb_.env_, zb_.ui_);
    probe.Unattended = true;
    probe.SetFileName(temporary.Path());
    if (probe.ZipFileName().empty()) {
      temporary.Discard();
      return kSfxFailed;
    }
  }
  const bool undo = zb_.HowToDelete == htdAllowUndo && zb_.FileExists(target);
  if (ReplaceArchive(*zb_.env_, temporary, target, undo) != ReplaceOutcome::Replaced) return kSfxNoOutput;
  if (!previous.empty()) zb_.EraseFile(previous, zb_.HowToDelete);
  if (listTarget)
    zb_.SetFileName(target);
  else
    zb_.zipFileName_ = target;
  return 0;
}
