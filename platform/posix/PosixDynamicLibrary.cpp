#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/ProgramPath.h"

namespace platform {

namespace {

bool IsFile(const std::string& path) {
  auto attr = PosixFileSystem().GetAttributes(path);
  return attr && !(*attr & kAttrDirectory);
}

// "ZIPDLL.DLL" -> "libzipdll.so"
std::string SharedObjectName(const std::string& dllName) {
  std::string stem = dllName;
  std::string ext = ExtractFileExt(stem);
  std::string lowerExt = ext;
  std::transform(lowerExt.begin(), lowerExt.end(), lowerExt.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  if (lowerExt == ".dll") stem = stem.substr(0, stem.size() - ext.size());
  std::transform(stem.begin(), stem.end(), stem.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return "lib" + stem + ".so";
}

class PosixLibraries : public DynamicLibraries {
 public:
  LibraryHandle Load(const std::string& name) override {
    std::string dir = ExtractFilePath(name);
    std::string soName = SharedObjectName(ExtractFileName(name));
    std::vector<std::string> candidates;
    if (IsFile(name)) {
      // dlopen takes a name without "/" as one to search for: keep the file as named.
      std::string native = ToNativePath(name);
      candidates.push_back(native.find('/') == std::string::npos ? "./" + native : native);
    }
    // Each name also with its interface version, as an installed engine without
    // its development link is named (libzipdll.so.1).
    const std::string versioned = soName + "." ZB_ENGINE_SOVERSION;
    const std::string local = dir.empty() ? ProgramDirectory() : ToNativePath(dir);
    candidates.insert(candidates.end(), {local + soName, local + versioned});
    // The loader's search path: the RUNPATH of the object this code lives in
    // (the shared component's own directory), then the system's.
    candidates.insert(candidates.end(), {soName, versioned});
    for (const auto& candidate : candidates) {
      if (candidate.find('/') != std::string::npos && !IsFile(candidate)) continue;
      if (void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
    }
    return nullptr;
  }

  void* GetProcAddress(LibraryHandle library, const std::string& symbol) override {
    return library ? ::dlsym(library, symbol.c_str()) : nullptr;
  }

  void Free(LibraryHandle library) override {
    if (library) ::dlclose(library);
  }
};

}  // namespace

DynamicLibraries& PosixDynamicLibraries() {
  static PosixLibraries libraries;
  return libraries;
}

}  // namespace platform
