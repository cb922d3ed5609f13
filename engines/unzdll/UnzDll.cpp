// Entry points of libunzdll.so. Nothing but these three is exported, and no
// exception ever leaves them.
#include <cstring>

#include "engines/unzdll/ExtractOptions.h"
#include "engines/unzdll/Extractor.h"
#include "engines/ZipEngineApi.h"
#include "engines/common/EngineCallback.h"
#include "engines/common/EngineError.h"
#include "engines/common/EntryGuard.h"
#include "platform/Env.h"

#define UNZ_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int32_t kEngineVersion = 160;
constexpr int32_t kEnginePrivateVersion = 1600;
constexpr size_t kBaseDirectoryBlock = 261;

std::string Text(const char* text, size_t limit = SIZE_MAX) {
  return text ? std::string(text, strnlen(text, limit)) : std::string();
}

unzdll::ExtractOptions OptionsFrom(const UnzParams& p) {
  unzdll::ExtractOptions o;
  o.archive = Text(p.lpszZipFN);
  for (uint32_t i = 0; p.fUFDS && i < p.fArgc; ++i) {
    std::string spec = Text(p.fUFDS[i].fFileSpec);
    if (!spec.empty()) o.specs.push_back(spec);
  }
  if (p.lpszPassword && *p.lpszPassword) o.password = Text(p.lpszPassword);
  o.passwordRequests = p.fPwdReqCount;
  o.baseDirectory = Text(p.fExtractDir, kBaseDirectoryBlock);
  o.codePage = p.fWantedCodePage;
  o.test = p.fTest != 0;
  o.update = p.fUpdate != 0;
  o.freshen = p.fFreshen != 0 && !o.update;
  o.keepDirectories = p.fDirectories != 0;
  o.overwrite = p.fOverwrite != 0;
  o.toMemory = p.fUseOutStream != 0;
  o.outBlock = static_cast<uint8_t*>(p.fOutStream);
  o.outSize = p.fOutStreamSize;
  o.fromMemory = p.fUseInStream != 0;
  o.inBlock = static_cast<const uint8_t*>(p.fInStream);
  o.inSize = p.fInStreamSize;
  return o;
}

}  // namespace

UNZ_EXPORT int32_t UnzDllExec(UnzParams* record) {
  if (!record) return 0;
  engine::EngineCallback callback(record->ZCallbackFunc, record->fCaller, record->fHandle, false);
  return engine::GuardedEntry(callback, [&] {
    if (record->fSeven != 7)
      throw engine::EngineError(kEngineBadParameters, "Malformed extract command record");
    unzdll::ExtractOptions options = OptionsFrom(*record);
    if (options.fromMemory && !options.toMemory)
      throw engine::EngineError(kEngineBadParameters, "Input from memory needs output to memory");
    // The engine's composition root: the POSIX file system, handed down from here.
    unzdll::Extractor extractor(options, callback, *platform::DefaultEnv().files);
    return extractor.Run();
  });
}

UNZ_EXPORT int32_t GetUnzDllVersion() { return kEngineVersion; }

UNZ_EXPORT int32_t GetUnzDllPrivVersion() { return kEnginePrivateVersion; }
