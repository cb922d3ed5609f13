// The recording engine: both engines' entry points, for tests. Each exec call
// saves a deep copy of its record, plays the configured callbacks and returns
// the configured count.
#include "engines/recording/RecordingEngine.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

recording::Config g_config;
std::vector<recording::RecordedExec> g_execs;
std::vector<recording::PlayedCall> g_played;
int32_t g_versionCalls = 0;

// The environment is read at every call, so a test can change it between calls.
int32_t ConfiguredVersion() {
  if (const char* text = std::getenv("RECORDING_ENGINE_VERSION"); text && *text)
    return static_cast<int32_t>(std::strtol(text, nullptr, 10));
  return g_config.version;
}

int32_t ReportedVersion() {
  ++g_versionCalls;
  return ConfiguredVersion();
}

std::optional<std::string> Text(const char* p) {
  if (!p) return std::nullopt;
  return std::string(p);
}

template <typename Record>
std::vector<uint8_t> BytesOf(const Record* record) {
  const auto* p = reinterpret_cast<const uint8_t*>(record);
  return std::vector<uint8_t>(p, p + sizeof(Record));
}

std::vector<uint8_t> Block(const void* p, size_t size) {
  if (!p) return {};
  const auto* bytes = static_cast<const uint8_t*>(p);
  return std::vector<uint8_t>(bytes, bytes + size);
}

// The callbacks of the script, made the way an engine makes them.
void PlayScript(void* caller, ZFunctionPtr callback, uint32_t handle) {
  if (!callback) return;
  for (const auto& step : g_config.script) {
    ZCallBackStruct cb;
    std::memset(&cb, 0, sizeof cb);
    cb.Handle = handle;
    cb.Caller = caller;
    cb.Version = 160;
    cb.IsOperationZip = step.isOperationZip;
    cb.ActionCode = step.action;
    cb.ErrorCode = step.errorCode;
    cb.FileSize = step.fileSize;
    std::memcpy(cb.FileNameOrMsg, step.text.data(), std::min(step.text.size(), size_t{kCallbackCommentOffset - 1}));
    std::memcpy(cb.FileNameOrMsg + kCallbackCommentOffset, step.comment.data(),
                std::min(step.comment.size(), size_t{kCallbackTextSize - kCallbackCommentOffset - 1}));
    recording::PlayedCall played;
    played.returned = callback(&cb);
    played.actionCode = cb.ActionCode;
    played.errorCode = cb.ErrorCode;
    played.fileSize = cb.FileSize;
    played.textArea.assign(cb.FileNameOrMsg, cb.FileNameOrMsg + kCallbackTextSize);
    played.text.assign(cb.FileNameOrMsg, strnlen(cb.FileNameOrMsg, kCallbackTextSize));
    g_played.push_back(std::move(played));
    if (g_played.back().returned == 1 && g_config.stopWhenCancelled) break;
  }
}

void FillOutput(void* block, uint32_t size) {
  if (!block || g_config.outputData.empty()) return;
  std::memcpy(block, g_config.outputData.data(), std::min<size_t>(size, g_config.outputData.size()));
}

void RecordUnz(const UnzParams* record) {
  recording::RecordedExec rec;
  rec.version = ConfiguredVersion();
  rec.oldLayout = rec.version < 152;
  rec.password = Text(record->lpszPassword);
  rec.archiveName = Text(record->lpszZipFN);
  if (rec.oldLayout) {
    const auto* old = reinterpret_cast<const UnzParamsOld*>(record);
    rec.bytes = BytesOf(old);
    for (uint32_t i = 0; i < record->fArgc && i < kOldSpecTableSize; ++i)
      rec.specs.push_back(old->FNV[i] ? old->FNV[i] : "");
  } else {
    rec.bytes = BytesOf(record);
    for (uint32_t i = 0; record->fUFDS && i < record->fArgc; ++i) {
      rec.specs.push_back(record->fUFDS[i].fFileSpec ? record->fUFDS[i].fFileSpec : "");
      rec.specEntries.push_back(Block(&record->fUFDS[i], sizeof(UnzFileData)));
    }
    rec.extractDirBlock = Block(record->fExtractDir, 261);
    if (record->fUseInStream) rec.inStream = Block(record->fInStream, record->fInStreamSize);
  }
  g_execs.push_back(std::move(rec));
}

void RecordZip(const ZipParams* record) {
  recording::RecordedExec rec;
  rec.isZip = true;
  rec.version = ConfiguredVersion();
  rec.oldLayout = rec.version <= 150;
  rec.password = Text(record->pZipPassword);
  rec.suffixes = Text(record->pSuffix);
  rec.archiveName = Text(record->pZipFN);
  if (rec.oldLayout) {
    const auto* old = reinterpret_cast<const ZipParamsOld*>(record);
    rec.bytes = BytesOf(old);
    for (uint32_t i = 0; i < record->fArgc && i < kOldSpecTableSize; ++i)
      rec.specs.push_back(old->FDS[i] ? old->FDS[i] : "");
  } else {
    rec.bytes = BytesOf(record);
    rec.tempDir = Text(record->pTempDir);
    rec.keepFrom = Text(record->pKeepFromZipFN);
    rec.archiveComment = Text(record->fArchComment);
    for (uint32_t i = 0; record->fFDS && i < record->fArgc; ++i) {
      const ZipFileData& fd = record->fFDS[i];
      rec.specs.push_back(fd.fFileSpec ? fd.fFileSpec : "");
      rec.specPasswords.push_back(Text(fd.fFilePassword));
      rec.specRootDirs.push_back(Text(fd.fRootDir));
      rec.specEntries.push_back(Block(&fd, sizeof(ZipFileData)));
    }
    for (uint32_t i = 0; record->fExFiles && i < record->fTotExFileSpecs; ++i)
      rec.exclusions.push_back(record->fExFiles[i] ? record->fExFiles[i] : "");
    if (record->fUseInStream) rec.inStream = Block(record->fInStream, record->fInStreamSize);
  }
  g_execs.push_back(std::move(rec));
}

}  // namespace

EXPORT void RecordingEngineConfigure(const recording::Config* config) {
  g_config = config ? *config : recording::Config{};
  g_execs.clear();
  g_played.clear();
  g_versionCalls = 0;
}

EXPORT const std::vector<recording::RecordedExec>* RecordingEngineExecs() { return &g_execs; }
EXPORT const std::vector<recording::PlayedCall>* RecordingEnginePlayed() { return &g_played; }
EXPORT int32_t RecordingEngineVersionCalls() { return g_versionCalls; }

EXPORT int32_t UnzDllExec(UnzParams* record) {
  if (!record) return 0;
  RecordUnz(record);
  PlayScript(record->fCaller, record->ZCallbackFunc, record->fHandle);
  if (!g_execs.back().oldLayout && record->fUseOutStream) FillOutput(record->fOutStream, record->fOutStreamSize);
  return g_config.result;
}

EXPORT int32_t ZipDllExec(ZipParams* record) {
  if (!record) return 0;
  RecordZip(record);
  PlayScript(record->fCaller, record->ZCallbackFunc, record->fHandle);
  if (!g_execs.back().oldLayout && record->fUseOutStream) FillOutput(record->fOutStream, record->fOutStreamSize);
  return g_config.result;
}

EXPORT int32_t GetUnzDllVersion() { return ReportedVersion(); }
EXPORT int32_t GetZipDllVersion() { return ReportedVersion(); }
EXPORT int32_t GetUnzDllPrivVersion() { return g_config.privVersion; }
EXPORT int32_t GetZipDllPrivVersion() { return g_config.privVersion; }
