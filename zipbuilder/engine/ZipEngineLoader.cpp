// Loading and unloading the two engine libraries, resolving their entry points
// and asking their versions.
#include "platform/DynamicLibrary.h"
#include "platform/Env.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/engine/EngineUse.h"

namespace {

// What differs between the compression and the decompression engine.
struct EngineNames {
  const char* dllName;     // "ZIPDLL.DLL"
  const char* soName;      // the file that name maps to on this system
  const char* execEntry;
  const char* versionEntry;
  const char* privVersionEntry;
  int loadedMsg, noExecMsg, noVersionMsg, notFoundMsg;
};

const EngineNames kZipNames{"ZIPDLL.DLL",          "libzipdll.so",           "ZipDllExec",
                            "GetZipDllVersion",    "GetZipDllPrivVersion",   kMsgZipDllLoaded,
                            kMsgZipDllExecMissing, kMsgZipDllVersionMissing, kMsgZipDllNotFound};
const EngineNames kUnzNames{"UNZDLL.DLL",          "libunzdll.so",           "UnzDllExec",
                            "GetUnzDllVersion",    "GetUnzDllPrivVersion",   kMsgUnzDllLoaded,
                            kMsgUnzDllExecMissing, kMsgUnzDllVersionMissing, kMsgUnzDllNotFound};

}  // namespace

// Loads one engine: DLLDirectory first when it holds the library, else the bare
// name (program directory, then the loader's search path). Returns the handle
// with all three entries resolved into `exec`, `version` and `privVersion`, or
// null after a report (the entries null too).
template <typename ExecFn>
static void* LoadEngine(TZipBuilder& zip, platform::DynamicLibraries& libraries, const EngineNames& names,
                        ExecFn& exec, DllVersionFn& version, DllVersionFn& privVersion) {
  exec = nullptr;
  version = privVersion = nullptr;
  std::string path = names.dllName;
  const std::string& dir = zip.DLLDirectory();
  if (!dir.empty() && (zip.FileExists(dir + "\\" + names.dllName) || zip.FileExists(dir + "\\" + names.soName)))
    path = dir + "\\" + names.dllName;

  void* handle = nullptr;
  try {  // nothing thrown while loading may leave the operation
    handle = libraries.Load(path);
  } catch (...) {
    handle = nullptr;
  }
  if (!handle) {
    zip.ShowZipMessage(names.notFoundMsg, "");
    return nullptr;
  }
  if (zip.Trace) zip.ShowZipMessage(names.loadedMsg, "");
  void* entries[3] = {libraries.GetProcAddress(handle, names.execEntry),
                      libraries.GetProcAddress(handle, names.versionEntry),
                      libraries.GetProcAddress(handle, names.privVersionEntry)};
  bool complete = true;
  if (!entries[0]) {
    zip.ShowZipMessage(names.noExecMsg, "");
    complete = false;
  }
  if (!entries[1] || !entries[2]) {
    zip.ShowZipMessage(names.noVersionMsg, "");
    complete = false;
  }
  if (!complete) {  // never call a library that lacks an entry
    libraries.Free(handle);
    return nullptr;
  }
  exec = reinterpret_cast<ExecFn>(entries[0]);
  version = reinterpret_cast<DllVersionFn>(entries[1]);
  privVersion = reinterpret_cast<DllVersionFn>(entries[2]);
  return handle;
}

void TZipBuilder::Load_Zip_Dll() {
  if (engines_.zipDll) return;
  engines_.zipDll = LoadEngine(*this, *env_->libraries, kZipNames, engines_.ZipDllExec, engines_.GetZipDllVersion,
                               engines_.GetZipDllPrivVersion);
}

void TZipBuilder::Load_Unz_Dll() {
  if (engines_.unzDll) return;
  engines_.unzDll = LoadEngine(*this, *env_->libraries, kUnzNames, engines_.UnzDllExec, engines_.GetUnzDllVersion,
                               engines_.GetUnzDllPrivVersion);
}

void TZipBuilder::Unload_Zip_Dll() {
  if (engines_.zipDll) env_->libraries->Free(engines_.zipDll);
  engines_.zipDll = nullptr;
  engines_.ZipDllExec = nullptr;
  engines_.GetZipDllVersion = engines_.GetZipDllPrivVersion = nullptr;
}

void TZipBuilder::Unload_Unz_Dll() {
  if (engines_.unzDll) env_->libraries->Free(engines_.unzDll);
  engines_.unzDll = nullptr;
  engines_.UnzDllExec = nullptr;
  engines_.GetUnzDllVersion = engines_.GetUnzDllPrivVersion = nullptr;
}

int32_t TZipBuilder::AskEngineVersion(EngineKind kind, bool privateVersion) {
  EngineUse use(*this, kind);
  if (!use.Loaded()) return 0;
  DllVersionFn entry = kind == EngineKind::Zip ? (privateVersion ? engines_.GetZipDllPrivVersion : engines_.GetZipDllVersion)
                                               : (privateVersion ? engines_.GetUnzDllPrivVersion : engines_.GetUnzDllVersion);
  return entry ? entry() : 0;
}

int32_t TZipBuilder::GetZipVers() { return AskEngineVersion(EngineKind::Zip, false); }
int32_t TZipBuilder::GetZipPrivVers() { return AskEngineVersion(EngineKind::Zip, true); }
int32_t TZipBuilder::GetUnzVers() { return AskEngineVersion(EngineKind::Unz, false); }
int32_t TZipBuilder::GetUnzPrivVers() { return AskEngineVersion(EngineKind::Unz, true); }

TZipBuilder::EngineUse::EngineUse(TZipBuilder& owner, EngineKind kind) : owner_(owner), kind_(kind) {
  if (Loaded()) return;
  if (kind_ == EngineKind::Zip)
    owner_.Load_Zip_Dll();
  else
    owner_.Load_Unz_Dll();
  loadedHere_ = Loaded();
}

TZipBuilder::EngineUse::~EngineUse() {
  if (!loadedHere_) return;
  if (kind_ == EngineKind::Zip)
    owner_.Unload_Zip_Dll();
  else
    owner_.Unload_Unz_Dll();
}

bool TZipBuilder::EngineUse::Loaded() const {
  return kind_ == EngineKind::Zip ? owner_.ZipDllLoaded() : owner_.UnzDllLoaded();
}
