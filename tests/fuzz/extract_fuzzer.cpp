// Feeds arbitrary bytes to the decompression engine, linked in directly, in
// three ways chosen by the first byte: the bytes as an archive whose members are
// all tested (every method, both ciphers with a fixed password, ZIP64 records),
// the archive's first member extracted to memory, and the bytes as a stream
// (CRC, method, data) decoded memory to memory. Any crash, out-of-bounds
// access, undefined behaviour or hang is a finding.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engines/ZipEngineApi.h"

extern "C" int32_t UnzDllExec(UnzParams* record);

namespace {

constexpr uint32_t kOutputLimit = 4u << 20;

const std::string& ArchivePath() {
  static const std::string path = [] {
    std::random_device random;
    return (std::filesystem::temp_directory_path() /
            ("extract_fuzzer-" + std::to_string(random()) + ".zip"))
        .string();
  }();
  return path;
}

std::vector<uint8_t> memoryAnswer;

// Answers every password request with the fuzzing password once, memory
// requests up to the limit, and nothing else.
int32_t Answer(ZCallBackStruct* record) {
  switch (record->ActionCode) {
    case kActionPassword:
      std::memset(record->FileNameOrMsg, 0, kCallbackTextSize);
      std::memcpy(record->FileNameOrMsg, "fuzz", 4);
      record->ErrorCode = 1;
      break;
    case kActionOutputMemory:
      if (record->FileSize < 0 || record->FileSize > static_cast<intptr_t>(kOutputLimit)) {
        record->ErrorCode = 1;
        break;
      }
      memoryAnswer.assign(static_cast<size_t>(record->FileSize), 0);
      record->FileSize = reinterpret_cast<intptr_t>(memoryAnswer.data());
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0] % 3;
  ++data, --size;
  std::vector<uint8_t> output(1u << 16);
  std::string archive = ArchivePath();
  char password[] = "fuzz";
  char baseDir[261] = {};
  UnzParams p{};
  p.fVersion = 160;
  p.ZCallbackFunc = Answer;
  p.fQuiet = 1;
  p.fDirectories = 1;
  p.fExtractDir = baseDir;
  p.fSeven = 7;
  p.lpszZipFN = archive.data();
  p.lpszPassword = password;
  p.fPwdReqCount = 1;
  if (mode == 2) {
    // Stream input: the output size stands in the declared size.
    p.fUseInStream = 1;
    p.fInStream = const_cast<uint8_t*>(data);
    p.fInStreamSize = static_cast<uint32_t>(size);
    p.fUseOutStream = 1;
    p.fOutStream = output.data();
    p.fOutStreamSize = static_cast<uint32_t>(output.size());
  } else {
    {
      std::ofstream out(archive, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    if (mode == 0) {
      p.fTest = 1;
    } else {
      p.fUseOutStream = 1;  // the block is asked for at the declared size
    }
  }
  UnzDllExec(&p);
  return 0;
}
