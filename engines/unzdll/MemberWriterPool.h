// Writes (or tests) members the calling thread has already decided about on two
// worker threads: each reads its member's data, decodes it into a temporary file
// and sets the file's date and permissions, or only decodes it when testing. Results come back in submission order;
// the calling thread reports them and renames the files into place, so every
// callback stays on the calling thread, progress included: a worker streaming a
// large member queues its progress steps, which the calling thread reports in
// the same steps a decode on its own would have made.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engines/unzdll/AesCipher.h"
#include "engines/unzdll/CentralDirectory.h"
#include "engines/unzdll/MemberDecoder.h"
#include "engines/unzdll/OutputTree.h"
#include "engines/unzdll/RawBuffer.h"
#include "engines/unzdll/ReadAhead.h"

namespace unzdll {

struct WriteJob {
  Member member;
  std::vector<std::string> parts;  // below the base, directories already made
  std::string target;
  std::shared_ptr<const OutputDirectory> directory;  // the target's, when writing
  uint64_t dataLimit = 0;  // member data ends before this
  uint32_t mode = 0;
  // AES members: the password the worker derives the keys from (the costly part
  // of decrypting many small members), checked by the member's verifier.
  std::optional<std::string> password;
  // The archive's bytes around the member when the calling thread has read
  // them ahead (plain members only): no read of its own then.
  std::shared_ptr<const ArchiveBlock> block;
};

struct WriteResult {
  WriteJob job;
  int32_t error = 0;        // engine error met before decoding (local header, memory)
  std::string errorText;
  int32_t errorReason = 0;  // skip reason for `error`
  std::unique_ptr<PendingFile> pending;  // null when testing, or when no temporary file could be made
  DecodeResult decoded;
  bool finished = false;    // date and permissions set
  bool cancelled = false;   // never started
  bool passwordFailed = false;  // the job's password does not unlock the member
};

class MemberWriterPool {
 public:
  // Without `tree` the members are tested: decoded, checked, not written.
  MemberWriterPool(platform::FileSystem& files, const std::string& archive, OutputTree* tree);
  ~MemberWriterPool();  // cancels, waits for the workers, removes unclaimed files
  MemberWriterPool(const MemberWriterPool&) = delete;
  MemberWriterPool& operator=(const MemberWriterPool&) = delete;

  static constexpr size_t kWorkers = 2;
  // Jobs submitted and not yet taken; the caller keeps this bounded.
  static constexpr size_t kWindow = 64;
  // Small jobs are handed on in batches: a worker is woken once this many wait
  // (or the calling thread waits for one), and takes up to kTake at a time, as
  // long as they hold less than kLargeMember together. Members this large
  // (compressed) wake a worker at once.
  static constexpr size_t kWakeAt = 16, kTake = 16;
  static constexpr uint64_t kLargeMember = 64u << 10;

  void Submit(WriteJob job);
  size_t InFlight() const { return inFlight_; }
  // True when the oldest job's result is there to take without waiting.
  bool OldestDone();
  // Waits until the `count` oldest jobs are done, or one of them, streamed,
  // has a progress step to report: a full window is then emptied after one
  // wake-up rather than one per member.
  void AwaitOldest(size_t count);
  // The oldest job's result, waiting for it if needed. Its progress steps go to
  // `report` on the calling thread as they come; `report` answering false
  // cancels the job and every later one.
  WriteResult TakeOldest(const ProgressFunction& report);
  // Jobs not yet started are not started any more.
  void Cancel();

 private:
  // Made and freed by the calling thread (memory freed by the thread that did
  // not allocate it takes the allocator's lock); workers only fill it in.
  struct Slot {
    WriteJob job;
    WriteResult result;  // set before `done`
    std::atomic<bool> done{false};
    std::deque<uint64_t> progress;         // steps not yet reported
    bool streamed = false;                 // decoded in steps, reporting progress
  };
  void Work();
  // Sets the job's result: decoded and written, or refused.
  void Run(Slot& slot, std::optional<ArchiveFile>& archive, std::optional<MemberDecoder>& decoder,
           RawBuffer& buffer, const std::string& openError);
  bool Cancelled();
  // Hands the result over, waking the calling thread when it waits for this one.
  void Finish(Slot& slot);
  WriteResult Process(Slot& slot, ArchiveFile& archive, MemberDecoder& decoder, RawBuffer& buffer);
  // Keys an AES member's decryption from the job's password and moves `data` (and
  // `in`, when read whole) past the salt and verifier; false when it does not fit.
  static bool UnlockAes(const WriteJob& job, ArchiveFile& archive, MemberData& data, const uint8_t*& in,
                        std::unique_ptr<AesCipher>& cipher);
  // The member's data: found in the job's block, or read with its local header
  // in one read into `buffer` (always there for an encrypted member, which is
  // decrypted in place).
  const uint8_t* ReadWhole(const WriteJob& job, ArchiveFile& archive, MemberData& data, RawBuffer& buffer);

  platform::FileSystem& files_;
  std::string archivePath_;
  OutputTree* tree_;
  // A result is handed over without the lock; the lock is taken only for the
  // queue, progress steps and waking the calling thread when it waits (that
  // wait and Finish see each other's stores of `done` and `awaited_`).
  std::mutex mutex_;
  std::condition_variable jobReady_, resultReady_;
  std::deque<Slot*> queue_;                    // waiting for a worker
  std::deque<std::unique_ptr<Slot>> inOrder_;  // every job not yet taken, oldest first: the calling thread's
  size_t inFlight_ = 0;
  std::atomic<const Slot*> awaited_{nullptr};  // the slot the calling thread waits for: only its news wake it
  std::atomic<bool> cancelled_{false};
  bool closing_ = false;
  // Waits, with `lock` held, until `slot` is done or has a progress step.
  void AwaitSlot(std::unique_lock<std::mutex>& lock, const Slot& slot);
  std::vector<std::thread> workers_;
};

}  // namespace unzdll
