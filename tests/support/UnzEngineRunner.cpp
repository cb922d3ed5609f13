#include "tests/support/UnzEngineRunner.h"

#include <algorithm>
#include <cstring>

#include "platform/DynamicLibrary.h"
#include "platform/Env.h"

namespace testsupport {
namespace {

struct Engine {
  UnzDllExecFn exec = nullptr;
  DllVersionFn version = nullptr;
};

const Engine& LoadEngine() {
  static Engine engine = [] {
    Engine e;
    platform::DynamicLibraries& libraries = *platform::DefaultEnv().libraries;
    // The component's name for it: the loader maps it to libunzdll.so.
    platform::LibraryHandle library = libraries.Load(std::string(ZB_BINARY_DIR) + "/UNZDLL.DLL");
    if (!library) return e;
    e.exec = reinterpret_cast<UnzDllExecFn>(libraries.GetProcAddress(library, "UnzDllExec"));
    e.version = reinterpret_cast<DllVersionFn>(libraries.GetProcAddress(library, "GetUnzDllVersion"));
    return e;
  }();
  return engine;
}

int32_t Answer(ZCallBackStruct* record) {
  auto& run = *static_cast<UnzRun*>(record->Caller);
  run.events.push_back({record->ActionCode, record->ErrorCode, record->FileSize,
                        std::string(record->FileNameOrMsg, strnlen(record->FileNameOrMsg, kCallbackTextSize))});
  const int32_t action = record->ActionCode;
  switch (action) {
    case kActionPassword: {
      std::optional<std::string> answer;
      if (!run.passwordAnswers.empty()) {
        answer = run.passwordAnswers.front();
        run.passwordAnswers.pop_front();
      }
      std::memset(record->FileNameOrMsg, 0, kCallbackTextSize);
      if (answer) {
        std::memcpy(record->FileNameOrMsg, answer->data(), std::min<size_t>(answer->size(), 81));
        record->ErrorCode = 1;
      } else {
        record->ErrorCode = 0;
        record->FileSize = 0;
      }
      if (run.cancelAllPasswords) record->ActionCode = 0;
      break;
    }
    case kActionCrcError:
      if (run.crcAnswer) record->ErrorCode = *run.crcAnswer;
      break;
    case kActionOverwrite:
      if (run.overwriteAnswer) record->FileSize = *run.overwriteAnswer ? 1 : 0;
      break;
    case kActionOutputMemory:
      run.memory.assign(static_cast<size_t>(record->FileSize), 0);
      record->FileSize = reinterpret_cast<intptr_t>(run.memory.data());
      break;
    default: break;
  }
  if (run.stopOnAction == action && run.Count(action) >= run.stopOnCall) return 1;
  return 0;
}

}  // namespace

int UnzRun::Count(int32_t action) const {
  return static_cast<int>(std::count_if(events.begin(), events.end(),
                                        [action](const EngineEvent& e) { return e.action == action; }));
}

std::vector<EngineEvent> UnzRun::Of(int32_t action) const {
  std::vector<EngineEvent> found;
  for (const auto& e : events)
    if (e.action == action) found.push_back(e);
  return found;
}

std::vector<std::string> UnzRun::Messages(int32_t code) const {
  std::vector<std::string> found;
  for (const auto& e : events)
    if (e.action == kActionMessage && e.error == code) found.push_back(e.text);
  return found;
}

int32_t UnzEngineVersion() {
  const Engine& engine = LoadEngine();
  return engine.version ? engine.version() : 0;
}

bool RunUnzEngine(UnzRun& run) {
  const Engine& engine = LoadEngine();
  if (!engine.exec) return false;
  std::vector<std::string> specs = run.specs;
  std::vector<UnzFileData> table(specs.size());
  for (size_t i = 0; i < specs.size(); ++i) table[i].fFileSpec = specs[i].data();
  std::string archive = run.archive;
  std::string password = run.password.value_or("");
  std::vector<char> baseDir(261, 0);
  std::memcpy(baseDir.data(), run.baseDir.data(), std::min<size_t>(run.baseDir.size(), 260));

  UnzParams p{};
  p.fCaller = &run;
  p.fVersion = 160;
  p.ZCallbackFunc = Answer;
  p.fWantedCodePage = run.codePage;
  p.lpszPassword = run.password ? password.data() : nullptr;
  p.fTest = run.test;
  p.fQuiet = 1;
  p.fUpdate = run.update;
  p.fFreshen = run.freshen;
  p.fDirectories = run.keepDirectories;
  p.fOverwrite = run.overwrite;
  p.fArgc = static_cast<uint32_t>(table.size());
  p.lpszZipFN = archive.data();
  p.fUFDS = table.empty() ? nullptr : table.data();
  p.fPwdReqCount = run.passwordRequests;
  p.fExtractDir = baseDir.data();
  p.fSeven = run.seven;
  if (run.toMemory) {
    p.fUseOutStream = 1;
    run.memory.assign(run.outSize, 0);
    p.fOutStream = run.outSize && run.provideBlock ? run.memory.data() : nullptr;
    p.fOutStreamSize = run.outSize;
  }
  if (run.fromMemory) {
    p.fUseInStream = 1;
    p.fInStream = run.input.data();
    p.fInStreamSize = static_cast<uint32_t>(run.input.size());
  }
  run.events.clear();
  run.result = engine.exec(&p);
  return true;
}

}  // namespace testsupport
