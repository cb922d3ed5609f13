// LoadLibraryA / GetProcAddress / FreeLibrary.
#pragma once

#include <string>

namespace platform {

using LibraryHandle = void*;

class DynamicLibraries {
 public:
  virtual ~DynamicLibraries() = default;
  // "X.DLL" tries the file as named, then "libx.so" (lower case) in the same
  // directory, then the loader's search path (for a bare name: next to the program first).
  virtual LibraryHandle Load(const std::string& name) = 0;
  virtual void* GetProcAddress(LibraryHandle library, const std::string& symbol) = 0;
  virtual void Free(LibraryHandle library) = 0;
};

}  // namespace platform
