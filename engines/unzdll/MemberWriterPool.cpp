#include "MemberWriterPool.h"

#include <algorithm>
#include <new>
#include <optional>

#include "EngineError.h"
#include "ZipEngineApi.h"

namespace unz {

MemberWriterPool::MemberWriterPool(platform::FileSystem& files, const std::string& archive, OutputTree& tree)
    : files_(files), archivePath_(archive), tree_(tree) {
  for (size_t i = 0; i < kWorkers; ++i) workers_.emplace_back([this] { Work(); });
}

MemberWriterPool::~MemberWriterPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = closing_ = true;
  }
  jobReady_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  // Results nobody took go with their temporary files.
  inOrder_.clear();
}

void MemberWriterPool::Submit(WriteJob job) {
  auto slot = std::make_shared<Slot>();
  slot->job = std::move(job);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(slot);
    inOrder_.push_back(std::move(slot));
    ++inFlight_;
  }
  jobReady_.notify_one();
}

WriteResult MemberWriterPool::TakeOldest() {
  std::unique_lock<std::mutex> lock(mutex_);
  std::shared_ptr<Slot> slot = inOrder_.front();
  resultReady_.wait(lock, [&] { return slot->result != nullptr; });
  inOrder_.pop_front();
  --inFlight_;
  return std::move(*slot->result);
}

void MemberWriterPool::Cancel() {
  std::lock_guard<std::mutex> lock(mutex_);
  cancelled_ = true;
}

void MemberWriterPool::Work() {
  // Each worker reads through its own handle: positions are not shared.
  std::optional<ArchiveFile> archive;
  std::string openError;
  try {
    archive.emplace(files_, archivePath_);
  } catch (const EngineError& e) {
    openError = e.what();
  }
  std::vector<uint8_t> buffer;  // local header and compressed data of one member
  std::optional<MemberDecoder> decoder;
  try {
    decoder.emplace();
  } catch (const std::bad_alloc&) {
    openError = "Not enough memory";
  }
  for (;;) {
    std::shared_ptr<Slot> slot;
    bool skip = false;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      jobReady_.wait(lock, [&] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) return;
      slot = queue_.front();
      queue_.pop_front();
      skip = cancelled_;
    }
    auto result = std::make_unique<WriteResult>();
    if (skip) {
      result->cancelled = true;
    } else if (!archive || !decoder) {
      result->error = archive ? kEngineNoMemory : kEngineOpenError;
      result->errorText = openError;
      result->errorReason = kSkipGeneralError;
    } else {
      try {
        *result = Process(slot->job, *archive, *decoder, buffer);
      } catch (const std::bad_alloc&) {
        result = std::make_unique<WriteResult>();
        result->error = kEngineNoMemory;
        result->errorText = "Not enough memory";
        result->errorReason = kSkipGeneralError;
      }
    }
    result->job = std::move(slot->job);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      slot->result = std::move(result);
    }
    resultReady_.notify_all();
  }
}

WriteResult MemberWriterPool::Process(const WriteJob& job, ArchiveFile& archive, MemberDecoder& decoder,
                                      std::vector<uint8_t>& buffer) {
  WriteResult r;
  const Member& m = job.member;
  MemberData data;
  data.size = m.compressedSize;
  data.method = m.method;
  data.declaredSize = m.uncompressedSize;
  uint8_t* in = nullptr;
  try {
    // One read for the local header and the data behind it, unless the local
    // name and extra field are unusually long.
    const uint64_t offset = m.localHeaderOffset;
    if (offset > job.dataLimit) throw EngineError(kEngineBadArchive, "bad local header for " + m.name);
    const size_t span = static_cast<size_t>(
        std::min<uint64_t>(kLocalHeaderSize + kLocalNamesGuess + m.compressedSize, job.dataLimit - offset));
    if (span < kLocalHeaderSize) throw EngineError(kEngineBadArchive, "bad local header for " + m.name);
    if (buffer.size() < span) buffer.resize(span);
    if (!archive.ReadAt(offset, buffer.data(), span)) throw EngineError(kEngineReadError, "Cannot read " + m.name);
    data.start = MemberDataStart(buffer.data(), m, job.dataLimit);
    if (data.start + data.size <= offset + span) {
      in = buffer.data() + (data.start - offset);
    } else {
      in = buffer.data();
      if (!archive.ReadAt(data.start, in, static_cast<size_t>(data.size)))
        throw EngineError(kEngineReadError, "Cannot read " + m.name);
    }
  } catch (const EngineError& e) {
    r.error = e.Code();
    r.errorText = e.what();
    r.errorReason = kSkipFormatWrong;
    return r;
  }
  r.pending = tree_.CreatePending(job.parts, job.mode);
  if (r.pending) {
    r.decoded = decoder.DecodeRead(in, data, *r.pending, nullptr);
    if (r.decoded.status == DecodeStatus::Ok) r.finished = r.pending->Finish(m.dosDateTime, job.mode);
  }
  return r;
}

}  // namespace unz
