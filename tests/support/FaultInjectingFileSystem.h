// A FileSystem decorator for tests: passes every call to another FileSystem,
// counts the calls and the bytes of each read and write, and fails chosen calls:
// the n-th Open, Read, Write, Seek, MoveFile or SetEndOfFile (each counted
// separately), or every call of that kind from the n-th on. Creating an unnamed
// file counts as an Open, naming it as a MoveFile. Calls may come from
// several threads.
#pragma once

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/FileSystem.h"

namespace platform {

class FaultInjectingFileSystem : public FileSystem {
 public:
  enum class Op { Open, Read, Write, Seek, Move, SetEndOfFile };

  struct Transfer {
    size_t requested = 0;   // bytes asked for
    int64_t result = 0;     // what the call returned (-1 for a failure)
    bool injected = false;  // the failure was injected
  };

  explicit FaultInjectingFileSystem(FileSystem& inner) : inner_(inner) {}

  // Fails the n-th call of `op` (counting from 1, from now on and including
  // calls already made); n = 0 removes the failure.
  void FailNth(Op op, uint64_t n) { plans_[Index(op)] = {n, false}; }
  // Fails the n-th call of `op` and every later one.
  void FailFrom(Op op, uint64_t n) { plans_[Index(op)] = {n, true}; }
  // When a write is failed, write this many of its bytes first and return that
  // count (a short write, as on a full disk) instead of -1. Default: -1, nothing written.
  void SetShortWriteBytes(std::optional<size_t> bytes) { shortWrite_ = bytes; }
  // Forgets failures, counters and records.
  void Reset();

  uint64_t Calls(Op op) const { return calls_[Index(op)]; }
  // CopyRange calls. They are made by the base class, through Read and Write,
  // so that failures are injected into them too.
  uint64_t RangeCopies() const { return rangeCopies_; }
  uint64_t InjectedFailures() const { return injected_; }
  // One record per Read or Write call, in order.
  const std::vector<Transfer>& Reads() const { return reads_; }
  const std::vector<Transfer>& Writes() const { return writes_; }
  // Bytes actually moved by each read or write call (failed calls left out).
  std::vector<int64_t> ReadSizes() const { return Sizes(reads_); }
  std::vector<int64_t> WriteSizes() const { return Sizes(writes_); }

  FileSystem& inner() { return inner_; }

  FileHandle Open(const std::string& path, Access access, Share share, Disposition disposition,
                  uint32_t mode = 0644) override;
  void Close(FileHandle h) override { inner_.Close(h); }
  int64_t Read(FileHandle h, void* buffer, size_t count) override;
  int64_t Write(FileHandle h, const void* buffer, size_t count) override;
  int64_t Seek(FileHandle h, int64_t offset, SeekFrom from) override;
  int64_t CopyRange(FileHandle in, FileHandle out, int64_t count) override {
    ++rangeCopies_;
    return FileSystem::CopyRange(in, out, count);
  }
  int64_t Size(FileHandle h) override { return inner_.Size(h); }
  bool SetEndOfFile(FileHandle h) override { return !Count(Op::SetEndOfFile) && inner_.SetEndOfFile(h); }
  bool Sync(FileHandle h) override { return inner_.Sync(h); }
  std::optional<uint32_t> GetFileDosTime(FileHandle h) override { return inner_.GetFileDosTime(h); }
  bool SetFileDosTime(FileHandle h, uint32_t dosDateTime) override {
    return inner_.SetFileDosTime(h, dosDateTime);
  }
  std::optional<uint32_t> GetAttributes(const std::string& path) override {
    return inner_.GetAttributes(path);
  }
  bool SetAttributes(const std::string& path, uint32_t attributes) override {
    return inner_.SetAttributes(path, attributes);
  }
  std::optional<FileInfo> Stat(const std::string& path) override { return inner_.Stat(path); }
  bool SetPermissions(const std::string& path, uint32_t mode) override {
    return inner_.SetPermissions(path, mode);
  }
  std::optional<FileIdentity> Identify(const std::string& path) override {
    return inner_.Identify(path);
  }
  bool SetPathDosTime(const std::string& path, uint32_t dosDateTime) override {
    return inner_.SetPathDosTime(path, dosDateTime);
  }
  bool DeleteFile(const std::string& path) override { return inner_.DeleteFile(path); }
  bool MoveFile(const std::string& from, const std::string& to, bool replace) override {
    return !Count(Op::Move) && inner_.MoveFile(from, to, replace);
  }
  bool CreateDirectory(const std::string& path) override { return inner_.CreateDirectory(path); }
  bool RemoveDirectory(const std::string& path) override { return inner_.RemoveDirectory(path); }
  bool CreateSymlink(const std::string& target, const std::string& linkPath) override {
    return inner_.CreateSymlink(target, linkPath);
  }
  std::optional<std::vector<DirEntry>> ListDirectory(const std::string& path) override {
    return inner_.ListDirectory(path);
  }
  std::string GetCurrentDirectory() override { return inner_.GetCurrentDirectory(); }
  bool SetCurrentDirectory(const std::string& path) override {
    return inner_.SetCurrentDirectory(path);
  }
  std::string GetTempPath() override { return inner_.GetTempPath(); }
  std::string MakeTempDirectory(const std::string& dir, const std::string& prefix) override {
    return inner_.MakeTempDirectory(dir, prefix);
  }
  std::string GetTempFileName(const std::string& dir, const std::string& prefix) override {
    return inner_.GetTempFileName(dir, prefix);
  }
  UnnamedFile CreateUnnamedFile(const std::string& dir) override {
    return Count(Op::Open) ? UnnamedFile{} : inner_.CreateUnnamedFile(dir);
  }
  UnnamedFile AdoptAsUnnamed(const std::string& path) override {
    return Count(Op::Open) ? UnnamedFile{} : inner_.AdoptAsUnnamed(path);
  }
  bool NameFile(const UnnamedFile& file, const std::string& target) override {
    return !Count(Op::Move) && inner_.NameFile(file, target);
  }
  // An injected failure's reason (EIO; ENOSPC for writes) until the next call
  // that reaches the inner file system, then the inner one's.
  int LastError() override;

 private:
  struct Plan {
    uint64_t n = 0;
    bool andAfter = false;
  };
  static size_t Index(Op op) { return static_cast<size_t>(op); }
  static std::vector<int64_t> Sizes(const std::vector<Transfer>& records);
  // Counts a call of `op`; true when it is to fail.
  bool Count(Op op);

  FileSystem& inner_;
  std::array<Plan, 6> plans_{};
  std::array<uint64_t, 6> calls_{};
  uint64_t injected_ = 0;
  std::atomic<uint64_t> rangeCopies_ = 0;
  std::optional<size_t> shortWrite_;
  int injectedError_ = 0;
  std::mutex mutex_;  // guards the counters and records
  std::vector<Transfer> reads_, writes_;
};

}  // namespace platform
