// The engine libraries the component has loaded and the entry points taken
// from them (engine/ZipEngineLoader.cpp); all null while a library is not loaded.
#pragma once

#include "engines/ZipEngineApi.h"

struct EngineLibraries {
  void* zipDll = nullptr;
  ZipDllExecFn ZipDllExec = nullptr;
  DllVersionFn GetZipDllVersion = nullptr;
  DllVersionFn GetZipDllPrivVersion = nullptr;
  void* unzDll = nullptr;
  UnzDllExecFn UnzDllExec = nullptr;
  DllVersionFn GetUnzDllVersion = nullptr;
  DllVersionFn GetUnzDllPrivVersion = nullptr;
};
