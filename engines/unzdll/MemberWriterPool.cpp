#include "engines/unzdll/MemberWriterPool.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "engines/unzdll/Sinks.h"
#include "engines/ZipEngineApi.h"
#include "engines/common/EngineError.h"

namespace unzdll {

MemberWriterPool::MemberWriterPool(platform::FileSystem& files, const std::string& archive, OutputTree* tree)
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
  auto slot = std::make_unique<Slot>();
  slot->job = std::move(job);
  slot->streamed = !DecodedWhole(DataOf(slot->job.member));
  bool wake = false;
  Slot* queued = slot.get();
  inOrder_.push_back(std::move(slot));
  ++inFlight_;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // Small members wait for a few more before a worker is woken for them; a
    // large one is worth a wake-up of its own.
    wake = queue_.size() + 1 >= kWakeAt || queued->job.member.compressedSize >= kLargeMember;
    queue_.push_back(queued);
  }
  if (wake) jobReady_.notify_one();
}

bool MemberWriterPool::OldestDone() { return !inOrder_.empty() && inOrder_.front()->done; }

void MemberWriterPool::AwaitSlot(std::unique_lock<std::mutex>& lock, const Slot& slot) {
  // Jobs held back for a batch go now: this thread is about to wait for them.
  if (!queue_.empty() && !slot.done) jobReady_.notify_all();
  awaited_ = &slot;
  resultReady_.wait(lock, [&] { return slot.done || !slot.progress.empty(); });
  awaited_ = nullptr;
}

void MemberWriterPool::AwaitOldest(size_t count) {
  count = std::min(count, inOrder_.size());
  if (count == 0) return;
  // A streamed member's steps are reported as they come: not waited past.
  const Slot* awaited = inOrder_[count - 1].get();
  for (size_t i = 0; i < count; ++i) {
    if (inOrder_[i]->streamed && !inOrder_[i]->done) {
      awaited = inOrder_[i].get();
      break;
    }
  }
  if (awaited->done) return;
  std::unique_lock<std::mutex> lock(mutex_);
  AwaitSlot(lock, *awaited);
}

WriteResult MemberWriterPool::TakeOldest(const ProgressFunction& report) {
  Slot* slot = inOrder_.front().get();
  // A streamed member may have steps to report even when done.
  if (!slot->done || slot->streamed) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      AwaitSlot(lock, *slot);
      if (slot->progress.empty()) break;
      const uint64_t step = slot->progress.front();
      slot->progress.pop_front();
      lock.unlock();
      const bool goOn = report(step);
      lock.lock();
      if (!goOn) cancelled_ = true;
    }
  }
  WriteResult result = std::move(slot->result);
  inOrder_.pop_front();
  --inFlight_;
  return result;
}

void MemberWriterPool::Cancel() { cancelled_ = true; }

void MemberWriterPool::Work() {
  // Each worker reads through its own handle: positions are not shared.
  std::optional<ArchiveFile> archive;
  std::string openError;
  try {
    archive.emplace(files_, archivePath_);
  } catch (const engine::EngineError& e) {
    openError = e.what();
  }
  RawBuffer buffer;  // local header and compressed data of one member
  std::optional<MemberDecoder> decoder;
  try {
    decoder.emplace();
  } catch (const std::bad_alloc&) {
    openError = "Not enough memory";
  }
  std::vector<Slot*> batch;  // alive until taken, which is after Finish
  for (;;) {
    bool more = false;
    batch.clear();
    {
      std::unique_lock<std::mutex> lock(mutex_);
      jobReady_.wait(lock, [&] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) return;
      // Small jobs several per wake-up, a large one on its own; the other
      // worker is woken for what is left.
      uint64_t taken = 0;
      while (!queue_.empty() && batch.size() < kTake && taken < kLargeMember) {
        taken += queue_.front()->job.member.compressedSize;
        batch.push_back(queue_.front());
        queue_.pop_front();
      }
      more = !queue_.empty();
    }
    if (more) jobReady_.notify_one();
    for (Slot* slot : batch) {
      Run(*slot, archive, decoder, buffer, openError);
      Finish(*slot);
    }
  }
}

void MemberWriterPool::Run(Slot& slot, std::optional<ArchiveFile>& archive, std::optional<MemberDecoder>& decoder,
                           RawBuffer& buffer, const std::string& openError) {
  WriteResult& result = slot.result;
  if (Cancelled()) {
    result.cancelled = true;
  } else if (!archive || !decoder) {
    result.error = archive ? kEngineNoMemory : kEngineOpenError;
    result.errorText = openError;
    result.errorReason = kSkipGeneralError;
  } else {
    try {
      result = Process(slot, *archive, *decoder, buffer);
    } catch (const std::bad_alloc&) {
      result = WriteResult();
      result.error = kEngineNoMemory;
      result.errorText = "Not enough memory";
      result.errorReason = kSkipGeneralError;
    }
  }
  result.job = std::move(slot.job);
  // Buffers stay as large as members decoded whole need (fresh memory costs a
  // page fault per page), and no larger.
  if (decoder) decoder->ReleaseLargeBuffers();
  if (buffer.capacity > MemberDecoder::kKeptBuffer) buffer.Release();
}

bool MemberWriterPool::Cancelled() { return cancelled_; }

void MemberWriterPool::Finish(Slot& slot) {
  slot.done = true;
  // Seen waiting for this slot: it holds the lock until it waits, so taking the
  // lock here means the wake-up cannot come before the wait.
  if (awaited_ == &slot) {
    { std::lock_guard<std::mutex> lock(mutex_); }
    resultReady_.notify_all();
  }
}

const uint8_t* MemberWriterPool::ReadWhole(const WriteJob& job, ArchiveFile& archive, MemberData& data,
                                           RawBuffer& buffer) {
  const Member& m = job.member;
  const uint64_t offset = m.localHeaderOffset;
  if (job.block && !job.password) {
    if (const uint8_t* header = job.block->Find(offset, kLocalHeaderSize)) {
      data.start = MemberDataStart(header, m, job.dataLimit);
      if (const uint8_t* bytes = job.block->Find(data.start, data.size)) return bytes;
    }
  }
  // Room for the local name and extra field, unless they are unusually long.
  const size_t span = static_cast<size_t>(std::min<uint64_t>(
      kLocalHeaderSize + ReadAhead::kLocalNamesGuess + m.compressedSize, job.dataLimit - offset));
  if (span < kLocalHeaderSize)
    throw engine::EngineError(kEngineBadArchive, "bad local header for " + m.name);
  uint8_t* bytes = buffer.Reserve(span);
  if (!archive.ReadAt(offset, bytes, span))
    throw engine::EngineError(kEngineBadArchive, "bad local header for " + m.name);
  data.start = MemberDataStart(bytes, m, job.dataLimit);
  if (data.start + data.size <= offset + span) return bytes + (data.start - offset);
  if (!archive.ReadAt(data.start, bytes, static_cast<size_t>(data.size)))
    throw engine::EngineError(kEngineReadError, "Cannot read " + m.name);
  return bytes;
}

bool MemberWriterPool::UnlockAes(const WriteJob& job, ArchiveFile& archive, MemberData& data,
                                 const uint8_t*& in, std::unique_ptr<AesCipher>& cipher) {
  const Member& m = job.member;
  const size_t saltSize = AesSaltSize(m.aesStrength), headerSize = saltSize + kAesVerifierSize;
  if (saltSize == 0 || data.size < headerSize + kAesCodeSize) return false;
  uint8_t header[kAesMaxSaltSize + kAesVerifierSize], code[kAesCodeSize];
  const uint64_t codeAt = data.size - kAesCodeSize;
  if (in) {
    std::memcpy(header, in, headerSize);
    std::memcpy(code, in + codeAt, kAesCodeSize);
  } else if (!archive.ReadAt(data.start, header, headerSize) ||
             !archive.ReadAt(data.start + codeAt, code, kAesCodeSize)) {
    return false;
  }
  cipher = AesCipher::Unlock(*job.password, m.aesStrength, header, header + saltSize);
  if (!cipher) return false;
  cipher->ExpectCode(code);
  data.start += headerSize;
  data.size -= headerSize + kAesCodeSize;
  data.cipher = cipher.get();
  if (in) in += headerSize;
  return true;
}

WriteResult MemberWriterPool::Process(Slot& slot, ArchiveFile& archive, MemberDecoder& decoder,
                                      RawBuffer& buffer) {
  WriteResult r;
  const WriteJob& job = slot.job;
  const Member& m = job.member;
  MemberData data = DataOf(m);
  const bool whole = DecodedWhole(data);
  const uint8_t* in = nullptr;
  try {
    if (m.localHeaderOffset > job.dataLimit)
      throw engine::EngineError(kEngineBadArchive, "bad local header for " + m.name);
    if (whole) in = ReadWhole(job, archive, data, buffer);
    else data.start = LocateMemberData(archive, m, job.dataLimit);
  } catch (const engine::EngineError& e) {
    r.error = e.Code();
    r.errorText = e.what();
    r.errorReason = kSkipFormatWrong;
    return r;
  }
  std::unique_ptr<AesCipher> cipher;
  if (job.password && !UnlockAes(job, archive, data, in, cipher)) {
    r.passwordFailed = true;  // the calling thread asks for another
    return r;
  }
  // Tested members are decoded and checked; nothing is written.
  NullSink nothing;
  OutputSink* sink = &nothing;
  if (tree_) {
    r.pending = tree_->CreatePending(job.directory, job.parts.back(), job.mode);
    if (!r.pending) return r;
    sink = r.pending.get();
  }
  if (whole) {
    // Decrypted in place, in the worker's own buffer (ReadWhole reads an
    // encrypted member there); plain data is only read, wherever it is.
    r.decoded = data.cipher ? decoder.DecodeRead(buffer.data.get() + (in - buffer.data.get()), data, *sink, nullptr)
                            : decoder.DecodePlain(in, data, *sink, nullptr);
  } else {
    // Steps wait for the calling thread; a cancel shows here at the next one.
    auto queueStep = [&](uint64_t step) {
      bool awaited = false;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (cancelled_) return false;
        slot.progress.push_back(step);
        awaited = awaited_ == &slot;
      }
      if (awaited) resultReady_.notify_all();
      return true;
    };
    r.decoded = decoder.Decode(archive, data, *sink, queueStep);
  }
  if (r.decoded.status == DecodeStatus::Ok)
    r.finished = !r.pending || r.pending->Finish(m.dosDateTime, job.mode);
  return r;
}

}  // namespace unzdll
