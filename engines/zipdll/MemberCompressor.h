// Compressing and encrypting one member held in memory, and the pool of worker
// threads that does it for many members at once while the writer takes the
// results in archive order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileSystem.h"
#include "zipformat/Methods.h"

namespace zipdll {

// Members above this size are not read whole; the writer streams them through
// zlib. With kReadAheadLimit it bounds the memory of an add whatever the files'
// sizes: each of the two workers holds at most three buffers of this size (the
// input, the output, the output's trimmed or encrypted copy), and finished
// results wait within the read-ahead bound: under 200 MiB in all.
constexpr uint64_t kWholeBufferLimit = 32ull << 20;

// The libdeflate level used for a level of the command record (1..9, kLevelBest).
int LibdeflateLevel(int level);

struct MemberJob {
  std::string diskPath;             // read from here, unless `memory` is set
  const uint8_t* memory = nullptr;  // stream input
  uint64_t size = 0;
  bool store = false;  // level 0 or a store suffix
  int level = 9;
  std::optional<std::string> password;  // encrypt with this one when set
  uint8_t aesStrength = 0;  // with a password: AES key strength 1..3; 0: the traditional cipher
  bool streamed = false;  // too big for memory: the writer handles it
};

struct MemberResult {
  bool ready = false;
  int errorCode = 0;  // kEngine* code; the member could not be read
  std::string error;
  std::vector<uint8_t> data;  // what follows the local header (encryption header included)
  uint16_t method = zip::kMethodStored;  // of the data under the encryption
  uint32_t crc = 0;
  uint64_t size = 0;  // uncompressed bytes actually read
};

// Compresses (or stores) `input` and encrypts it; fills everything but `ready`.
void CompressMember(const uint8_t* input, size_t size, const MemberJob& job, MemberResult& result);
// Appends the 12-byte traditional encryption header for `crc` and encrypts `data`
// in place behind it.
std::vector<uint8_t> EncryptMember(const std::string& password, uint32_t crc, std::vector<uint8_t> data);

class CompressionPool {
 public:
  CompressionPool(platform::FileSystem& fs, std::vector<MemberJob> jobs, unsigned threads);
  ~CompressionPool();
  // Blocks until job `index` is done; the result stays valid until Release(index).
  MemberResult& Wait(size_t index);
  void Release(size_t index);

 private:
  void Work();
  void RunJob(size_t index);

  platform::FileSystem& fs_;
  std::vector<MemberJob> jobs_;
  std::vector<MemberResult> results_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t next_ = 0;
  uint64_t bytesInFlight_ = 0;  // read but not yet released
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace zipdll
