// The library's entry points. No exception leaves them: every failure becomes
// a callback message and a result of 0.
#include <new>

#include "AddRequest.h"
#include "ArchiveUpdate.h"
#include "EngineSession.h"
#include "engines/ZipEngineApi.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"

#define ZIPDLL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int32_t kZipDllVersion = 160;
constexpr int32_t kZipDllPrivVersion = 1600;

int32_t Execute(ZipParams* record) {
  if (!record) return 0;
  auto* head = reinterpret_cast<ZipParamsOld*>(record);  // both layouts share the head
  zipdll::EngineSession session(head->ZCallbackFunc, head->fCaller,
                                head->fVerboseEnabled != 0 || head->fTraceEnabled != 0);
  try {
    zipdll::AddRequest request;
    if (!zipdll::ReadAddRequest(record, request)) {
      session.Message(kEngineBadParameters, "Command record not recognised");
      return 0;
    }
    platform::FileSystem& fs = platform::PosixFileSystem();
    if (request.deleteEntries) return zipdll::RunDelete(fs, request, session);
    if (request.useOutStream) return zipdll::RunStreamToStream(request, session);
    return zipdll::RunAdd(fs, request, session);
  } catch (const zipdll::EngineError& e) {
    session.Message(e.code, e.what());
  } catch (const std::bad_alloc&) {
    session.Message(kEngineNoMemory, "Not enough memory");
  } catch (const std::exception& e) {
    session.Message(kEngineWriteError, std::string("Unexpected failure: ") + e.what());
  } catch (...) {
    session.Message(kEngineWriteError, "Unexpected failure");
  }
  session.Progress(kActionBatchEnd, "", 0);
  return 0;
}

}  // namespace

ZIPDLL_EXPORT int32_t ZipDllExec(ZipParams* record) {
  try {
    return Execute(record);
  } catch (...) {  // a callback that threw: never let it cross the boundary
    return 0;
  }
}

ZIPDLL_EXPORT int32_t GetZipDllVersion(void) { return kZipDllVersion; }

ZIPDLL_EXPORT int32_t GetZipDllPrivVersion(void) { return kZipDllPrivVersion; }
