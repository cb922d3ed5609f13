// Extracts one archive with libunzdll.so and a minimal callback, for timing
// against other extractors: unz_bench ARCHIVE DIR [PASSWORD]
#include <cstdio>
#include <cstring>
#include <string>

#include "engines/ZipEngineApi.h"
#include "platform/DynamicLibrary.h"
#include "platform/Env.h"
#include "platform/ProgramPath.h"

namespace {

int32_t Quiet(ZCallBackStruct* record) {
  if (record->ActionCode == kActionMessage && record->ErrorCode != 0)
    std::fprintf(stderr, "engine: %d %s\n", record->ErrorCode, record->FileNameOrMsg);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: unz_bench ARCHIVE DIR [PASSWORD]\n");
    return 2;
  }
  platform::DynamicLibraries& libraries = *platform::DefaultEnv().libraries;
  platform::LibraryHandle library = libraries.Load(platform::ProgramDirectory() + "UNZDLL.DLL");
  auto exec = library ? reinterpret_cast<UnzDllExecFn>(libraries.GetProcAddress(library, "UnzDllExec")) : nullptr;
  if (!exec) {
    std::fprintf(stderr, "UNZDLL.DLL not found\n");
    return 2;
  }
  std::string dir = argv[2];
  char baseDir[261] = {};
  std::strncpy(baseDir, dir.c_str(), sizeof baseDir - 1);
  UnzParams p{};
  p.fVersion = 160;
  p.ZCallbackFunc = Quiet;
  p.fQuiet = 1;
  p.fDirectories = 1;
  p.fOverwrite = 1;
  p.lpszZipFN = argv[1];
  p.lpszPassword = argc > 3 ? argv[3] : nullptr;
  p.fExtractDir = baseDir;
  p.fSeven = 7;
  int32_t done = exec(&p);
  std::printf("%d members\n", done);
  libraries.Free(library);
  return 0;
}
