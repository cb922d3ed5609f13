// The library's entry points. No exception leaves them: every failure becomes
// a callback message and a result of 0.
#include "engines/zipdll/AddRequest.h"
#include "engines/zipdll/ArchiveUpdate.h"
#include "engines/zipdll/EngineSession.h"
#include "engines/ZipEngineApi.h"
#include "engines/common/EntryGuard.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"

#define ZIPDLL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int32_t kZipDllVersion = 160;
constexpr int32_t kZipDllPrivVersion = 1600;

}  // namespace

ZIPDLL_EXPORT int32_t ZipDllExec(ZipParams* record) {
  if (!record) return 0;
  auto* head = reinterpret_cast<ZipParamsOld*>(record);  // both layouts share the head
  zipdll::EngineSession session(head->ZCallbackFunc, head->fCaller, head->fHandle,
                                head->fVerboseEnabled != 0 || head->fTraceEnabled != 0);
  return engine::GuardedEntry(session, [&] {
    zipdll::AddRequest request;
    if (!zipdll::ReadAddRequest(record, request))
      throw engine::EngineError(kEngineBadParameters, "Command record not recognised");
    // The engine's composition root: the POSIX environment, handed down from here.
    platform::Env& env = platform::DefaultEnv();
    if (request.deleteEntries) return zipdll::RunDelete(*env.files, request, session);
    if (request.useOutStream) return zipdll::RunStreamToStream(request, session);
    return zipdll::RunAdd(*env.files, *env.shell, request, session);
  });
}

ZIPDLL_EXPORT int32_t GetZipDllVersion(void) { return kZipDllVersion; }

ZIPDLL_EXPORT int32_t GetZipDllPrivVersion(void) { return kZipDllPrivVersion; }
