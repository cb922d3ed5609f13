#include "tests/support/RecordingEngineHarness.h"

#include "platform/DynamicLibrary.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"

namespace testsupport {

std::string RecordingEngineHarness::LibraryPath() { return std::string(ZB_BINARY_DIR) + "/librecordingengine.so"; }

RecordingEngineHarness::RecordingEngineHarness() {
  auto& libraries = *platform::DefaultEnv().libraries;
  library_ = libraries.Load(LibraryPath());
  if (!library_) return;
  configure_ = reinterpret_cast<RecordingEngineConfigureFn>(libraries.GetProcAddress(library_, "RecordingEngineConfigure"));
  execs_ = reinterpret_cast<RecordingEngineExecsFn>(libraries.GetProcAddress(library_, "RecordingEngineExecs"));
  played_ = reinterpret_cast<RecordingEnginePlayedFn>(libraries.GetProcAddress(library_, "RecordingEnginePlayed"));
  versionCalls_ =
      reinterpret_cast<RecordingEngineVersionCallsFn>(libraries.GetProcAddress(library_, "RecordingEngineVersionCalls"));
  Configure({});
}

RecordingEngineHarness::~RecordingEngineHarness() {
  if (library_) platform::DefaultEnv().libraries->Free(library_);
}

void RecordingEngineHarness::Configure(const recording::Config& config) { configure_(&config); }
const std::vector<recording::RecordedExec>& RecordingEngineHarness::Execs() const { return *execs_(); }
const std::vector<recording::PlayedCall>& RecordingEngineHarness::Played() const { return *played_(); }
int RecordingEngineHarness::VersionCalls() const { return versionCalls_(); }

bool RecordingEngineHarness::LinkAsEngines(const std::string& dir) {
  auto& files = platform::PosixFileSystem();
  bool ok = true;
  for (const char* name : {"/libunzdll.so", "/libzipdll.so"}) {
    files.DeleteFile(dir + name);
    ok = files.CreateSymlink(LibraryPath(), dir + name) && ok;
  }
  return ok;
}

}  // namespace testsupport
