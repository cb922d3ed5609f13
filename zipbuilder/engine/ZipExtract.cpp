// Extraction: builds the extract command record for the decompression engine,
// calls it once and stores its count of processed members in SuccessCount.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFile.h"
#include "zipformat/TextCase.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/engine/EngineUse.h"
#include "zipbuilder/engine/CommandHead.h"
#include "zipbuilder/engine/ExtractCall.h"
#include "zipbuilder/span/SetJoiner.h"
#include "zipbuilder/core/RunningScope.h"

namespace {

constexpr int kModeFiles = 0;
constexpr int kModeMemberToMemory = 1;
constexpr int kModeMemoryToMemory = 2;
constexpr size_t kMaxPasswordChars = 81;
constexpr size_t kBaseDirBlock = 261;

}  // namespace

// The record in the layout the engine's version selects, and the blocks its
// pointers lead to; everything is freed together when the extraction ends.
struct TZipBuilder::ExtractCall::ExtractRecord {
  union Layouts {
    UnzParams current;
    UnzParamsOld old;
  } r;
  bool oldLayout = false;
  // Every byte of the larger layout is zero, whichever member is used.
  ExtractRecord() { std::memset(&r, 0, sizeof r); }
  std::vector<std::vector<char>> blocks;
  std::vector<UnzFileData> specTable;

  UnzParams& Head() { return r.current; }  // both layouts share the head
  // A zero-filled block of `size` bytes (at least the text and its zero) holding `text`.
  char* AddText(const std::string& text, size_t size = 0) {
    blocks.emplace_back(std::max(size, text.size() + 1), '\0');
    std::memcpy(blocks.back().data(), text.data(), std::min(text.size(), blocks.back().size() - 1));
    return blocks.back().data();
  }
};

void TZipBuilder::Extract() { ExtractCall(*this).ExtExtract(kModeFiles, nullptr); }

TZipStream* TZipBuilder::ExtractFileToStream(const std::string& name) {
  if (Busy()) return nullptr;
  // Member names are listed with "\"; a name given with "/" means the same member.
  if (!name.empty()) fSpecArgs_.assign(1, ReplaceForwardSlash(name));
  stream_->Clear();
  ExtractCall(*this).ExtExtract(kModeMemberToMemory, nullptr);
  return successCount_ == 1 ? stream_.get() : nullptr;
}

TZipStream* TZipBuilder::ExtractStreamToStream(TMemoryStream* input, uint32_t size) {
  if (Busy()) return nullptr;
  if (input == stream_.get()) {
    ShowZipMessage(kMsgStreamSameAsInput, "");
    return nullptr;
  }
  stream_->Clear();
  stream_->SetSize(size);
  ExtractCall(*this).ExtExtract(kModeMemoryToMemory, input);
  return successCount_ == 1 ? stream_.get() : nullptr;
}

void TZipBuilder::ExtractCall::SetUnZipSwitches(std::string& archiveName, int32_t version) {
  ExtractRecord& rec = *extractRecord_;
  UnzParams& h = rec.Head();
  SetCommandHead(h, zb_);
  h.fWantedCodePage = static_cast<uint16_t>(zb_.CodePage);
  if (version < 160 && zb_.Unattended && zb_.AddOptions.Contains(AddEncrypt) && zb_.Password.empty())
    h.lpszPassword = rec.AddText(std::string(80, '~'));
  else
    h.lpszPassword = rec.AddText(zb_.Password.substr(0, kMaxPasswordChars));
  h.fTest = zb_.ExtrOptions.Contains(ExtrTest) ? 1 : 0;
  h.fQuiet = 1;
  h.fVerboseEnabled = (zb_.Verbose || zb_.Trace) ? 1 : 0;
  h.fUpdate = zb_.ExtrOptions.Contains(ExtrUpdate) ? 1 : 0;
  h.fFreshen = zb_.ExtrOptions.Contains(ExtrFreshen) && !zb_.ExtrOptions.Contains(ExtrUpdate) ? 1 : 0;
  h.fDirectories = zb_.ExtrOptions.Contains(ExtrDirNames) ? 1 : 0;
  h.fOverwrite = zb_.ExtrOptions.Contains(ExtrOverWrite) ? 1 : 0;
  h.lpszZipFN = rec.AddText(archiveName);
  if (!rec.oldLayout && version >= 160) h.fPwdReqCount = zb_.passwordReqCount_;
}

void TZipBuilder::ExtractCall::ExtExtract(int mode, TMemoryStream* input) {
  if (zb_.Busy()) return;
  zb_.errCode_ = 0;
  zb_.successCount_ = 0;
  zb_.message_.clear();
  if (mode != kModeMemoryToMemory && !zb_.FileExists(zb_.zipFileName_)) {
    zb_.ShowZipMessage(kMsgNoZipFile, "");
    return;
  }
  zb_.Cancel = false;

  // Unattended without any way to get a password: the engine must not ask.
  bool requestsZeroed = zb_.Unattended && zb_.Password.empty() && !zb_.OnPasswordError;
  uint32_t savedRequests = zb_.passwordReqCount_;
  if (requestsZeroed) {
    zb_.passwordReqCount_ = 0;
    zb_.ShowZipMessage(kMsgUnattendedExtractWarning, "");
  }

  std::optional<RunningScope> running;  // held until the engine is unloaded
  {
    EngineUse engine(zb_, EngineKind::Unz);
    int32_t version = 0;
    std::string archiveName = zb_.zipFileName_;
    bool proceed = engine.Loaded();
    // A spanned set is joined into one temporary archive first, unnamed where
    // the file system allows: it goes again however the run ends.
    platform::TemporaryFile joined;
    if (proceed && zb_.listed_.lastDiskNumber != 0) {
      joined = platform::TemporaryFile(
          *zb_.env_->files, zb_.TempDir.empty() ? zb_.env_->files->GetTempPath() : AppendSlash(zb_.TempDir));
      proceed = SetJoiner(zb_).JoinSpanSet(zb_.zipFileName_, archiveName, &joined) == 0;
    }
    if (proceed) {
      version = zb_.GetUnzVers();
      if (mode != kModeFiles && version < 160) {
        zb_.ShowZipMessage(kMsgUnzDllNoStreams, "");
        proceed = false;
      }
    }
    if (proceed) {
      running.emplace(zb_, RunKind::Unzip);
      zb_.StartWaitCursor();
      ExtractRecord rec;
      extractRecord_ = &rec;
      try {
        rec.oldLayout = version < 152;
        SetUnZipSwitches(archiveName, version);
        UnzParams& h = rec.Head();
        bool tooManySpecs = rec.oldLayout && zb_.fSpecArgs_.size() > kOldSpecTableSize;
        // The engine reads the base directory from a block of 261 bytes: a longer
        // one is refused, never cut to a different directory.
        bool useBaseDir = mode == kModeFiles && DirExists(zb_.ExtrBaseDir, *zb_.env_->files);
        // Extracting into the current directory in place of a missing one is
        // what the caller may refuse: then nothing is extracted, and the report says why.
        const bool baseDirMissing =
            mode == kModeFiles && !useBaseDir && !zb_.ExtrBaseDir.empty() && zb_.ExtrBaseDirMustExist;
        std::string baseDir;
        if (rec.oldLayout) {
          rec.r.old.fSeven = 7;
          for (size_t i = 0; i < zb_.fSpecArgs_.size() && i < kOldSpecTableSize; ++i)
            rec.r.old.FNV[i] = rec.AddText(zb_.fSpecArgs_[i]);
          h.fArgc = static_cast<uint32_t>(std::min<size_t>(zb_.fSpecArgs_.size(), kOldSpecTableSize));
        } else {
          UnzParams& c = rec.r.current;
          baseDir = useBaseDir ? zb_.ExtrBaseDir : zb_.env_->files->GetCurrentDirectory();
          // Output to memory writes no file: a current directory too long for
          // the block is left out, as the system call with 260 characters gives.
          if (mode != kModeFiles && baseDir.size() >= kBaseDirBlock) baseDir.clear();
          c.fExtractDir = rec.AddText(baseDir.substr(0, kBaseDirBlock - 1), kBaseDirBlock);
          rec.specTable.resize(zb_.fSpecArgs_.size());
          for (size_t i = 0; i < zb_.fSpecArgs_.size(); ++i) rec.specTable[i].fFileSpec = rec.AddText(zb_.fSpecArgs_[i]);
          c.fUFDS = rec.specTable.empty() ? nullptr : rec.specTable.data();
          c.fArgc = static_cast<uint32_t>(zb_.fSpecArgs_.size());
          c.fSeven = 7;
        }

        if (mode == kModeMemberToMemory) {
          if (!zb_.zipFileName_.empty()) {
            for (const auto& entry : zb_.zipDirEntryRecords_) {
              if (zb_.fSpecArgs_.empty()) throw std::out_of_range("no file specification to look up");
              if (!zip::SameTextIgnoringCase(entry->FileName, zb_.fSpecArgs_.front())) continue;
              UnzParams& c = rec.r.current;
              if (!zb_.stream_->SetSize(entry->UncompressedSize)) throw std::bad_alloc();
              c.fUseOutStream = 1;
              c.fOutStream = zb_.stream_->Memory();
              c.fOutStreamSize = entry->UncompressedSize;
              c.fArgc = 1;
              break;
            }
          }
        } else if (mode == kModeMemoryToMemory) {
          UnzParams& c = rec.r.current;
          c.fUseInStream = 1;
          c.fInStream = input ? input->Memory() : nullptr;
          c.fInStreamSize = input ? static_cast<uint32_t>(input->Size()) : 0;
          c.fUseOutStream = 1;
          c.fOutStream = zb_.stream_->Memory();
          c.fOutStreamSize = static_cast<uint32_t>(zb_.stream_->Size());
        }

        if (baseDirMissing) {
          zb_.ShowZipMessage(kMsgExtractDirMissing, zb_.ExtrBaseDir);
        } else if (baseDir.size() >= kBaseDirBlock) {
          zb_.ShowZipMessage(kMsgUnzDllAbort, "\nthe extraction directory is longer than 260 characters: " + baseDir);
        } else if (tooManySpecs) {
          // The older record holds at most 4097 specifications: refuse rather
          // than extract a silently shortened selection.
          zb_.ShowZipMessage(kMsgUnzDllAbort, "\ntoo many file specifications for this engine version (at most 4097)");
        } else if (mode == kModeFiles || rec.r.current.fUseOutStream) {
          zb_.successCount_ = zb_.engines_.UnzDllExec(&rec.r.current);
          zb_.RethrowCallbackException();
        }
        if (mode != kModeFiles && zb_.successCount_ != 1) zb_.stream_->Clear();
      } catch (...) {
        // Whatever the engine counted, a run that ended in an exception (also one
        // thrown by an event handler) processed nothing the caller can rely on.
        zb_.callbackException_ = nullptr;
        zb_.successCount_ = 0;
        if (mode != kModeFiles) zb_.stream_->Clear();
        zb_.ShowZipMessage(kMsgUnzDllAbort, "");
      }
      zb_.fSpecArgs_.clear();
      extractRecord_ = nullptr;
      zb_.StopWaitCursor();
    }
    // The request count is back before the engine is unloaded (at the end of
    // this block), whichever step ended the run.
    if (requestsZeroed) zb_.SetPasswordReqCount(savedRequests);
  }
  zb_.Cancel = false;
}
