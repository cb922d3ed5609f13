#include "engines/zipdll/MemberCompressor.h"

#include <libdeflate.h>

#include <memory>
#include <random>

#include "engines/common/Crc32.h"
#include "engines/zipdll/AesMember.h"
#include "zipformat/TraditionalCrypto.h"
#include "engines/ZipEngineApi.h"

namespace zipdll {
namespace {

// Bytes read ahead of the writer; keeps memory bounded while both cores work.
constexpr uint64_t kReadAheadLimit = 64ull << 20;

struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// One compressor per thread and level, kept for the thread's life.
libdeflate_compressor* ThreadCompressor(int level) {
  thread_local std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressors[13];
  auto& c = compressors[level];
  if (!c) c.reset(libdeflate_alloc_compressor(level));
  return c.get();
}

}  // namespace

int LibdeflateLevel(int level) {
  // Measured on a mixed 100 MB corpus: libdeflate's level 8 is already smaller
  // than zlib's level 9 and costs about three quarters of its own level 9's time,
  // which buys under 0.03% in size; so level 9 uses 8.
  // The best level spends libdeflate's exhaustive search.
  if (level >= kLevelBest) return 12;
  if (level >= 9) return 8;
  return level < 1 ? 1 : level;
}

std::vector<uint8_t> EncryptMember(const std::string& password, uint32_t crc, std::vector<uint8_t> data) {
  thread_local std::mt19937 random{std::random_device{}()};
  std::vector<uint8_t> out(zip::kTraditionalHeaderSize + data.size());
  for (size_t i = 0; i < zip::kTraditionalHeaderSize - 2; ++i) out[i] = static_cast<uint8_t>(random());
  zip::SetTraditionalCheck(out.data(), crc);
  std::copy(data.begin(), data.end(), out.begin() + zip::kTraditionalHeaderSize);
  zip::TraditionalCrypto cipher(password);
  cipher.Encrypt(out.data(), out.size());
  return out;
}

void CompressMember(const uint8_t* input, size_t size, const MemberJob& job, MemberResult& result) {
  result.size = size;
  result.crc = engine::Crc32Update(0, input, size);
  result.method = zip::kMethodStored;
  bool deflated = false;
  if (!job.store && size > 0) {
    libdeflate_compressor* c = ThreadCompressor(LibdeflateLevel(job.level));
    if (!c) throw std::bad_alloc();
    // Only a result smaller than the input is worth keeping.
    result.data.resize(size);
    size_t n = libdeflate_deflate_compress(c, input, size, result.data.data(), size - 1);
    if (n > 0) {
      result.data.resize(n);
      result.method = zip::kMethodDeflate;
      deflated = true;
    }
  }
  if (!deflated) result.data.assign(input, input + size);
  result.data.shrink_to_fit();
  if (!job.password) return;
  if (job.aesStrength)
    result.data = AesEncryptMember(*job.password, job.aesStrength, result.data);
  else
    result.data = EncryptMember(*job.password, result.crc, std::move(result.data));
}

CompressionPool::CompressionPool(platform::FileSystem& fs, std::vector<MemberJob> jobs, unsigned threads)
    : fs_(fs), jobs_(std::move(jobs)), results_(jobs_.size()) {
  if (threads == 0) threads = 1;
  for (unsigned i = 0; i < threads && i < jobs_.size(); ++i) workers_.emplace_back([this] { Work(); });
}

CompressionPool::~CompressionPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (auto& t : workers_) t.join();
}

void CompressionPool::Work() {
  for (;;) {
    size_t index;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] {
        if (stopping_ || next_ >= jobs_.size()) return true;
        // Always allow one job when nothing is in flight, however big it is.
        return bytesInFlight_ == 0 || bytesInFlight_ + jobs_[next_].size <= kReadAheadLimit;
      });
      if (stopping_ || next_ >= jobs_.size()) return;
      index = next_++;
      if (!jobs_[index].streamed) bytesInFlight_ += jobs_[index].size;
    }
    RunJob(index);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      results_[index].ready = true;
    }
    changed_.notify_all();
  }
}

void CompressionPool::RunJob(size_t index) {
  const MemberJob& job = jobs_[index];
  MemberResult& result = results_[index];
  if (job.streamed) return;
  try {
    if (job.memory) {
      CompressMember(job.memory, job.size, job, result);
      return;
    }
    platform::FileHandle h =
        fs_.Open(job.diskPath, platform::Access::Read, platform::Share::Read, platform::Disposition::OpenExisting);
    if (h == platform::kInvalidHandle) {
      result.errorCode = kEngineOpenError;
      result.error = "Cannot open " + job.diskPath;
      return;
    }
    std::vector<uint8_t> input(job.size);
    size_t done = 0;
    while (done < input.size()) {
      int64_t n = fs_.Read(h, input.data() + done, input.size() - done);
      if (n <= 0) break;  // shrank meanwhile: take what is there
      done += static_cast<size_t>(n);
    }
    fs_.Close(h);
    CompressMember(input.data(), done, job, result);
  } catch (const std::bad_alloc&) {
    result.errorCode = kEngineNoMemory;
    result.error = "Not enough memory for " + job.diskPath;
    result.data.clear();
  }
}

MemberResult& CompressionPool::Wait(size_t index) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return results_[index].ready; });
  return results_[index];
}

void CompressionPool::Release(size_t index) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!jobs_[index].streamed) bytesInFlight_ -= jobs_[index].size;
    results_[index] = MemberResult{};
    results_[index].ready = true;
  }
  changed_.notify_all();
}

}  // namespace zipdll
