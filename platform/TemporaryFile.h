// A file written in full before it takes its place: unnamed while it is being
// written where the file system allows (a killed process leaves nothing of it),
// named only by Publish, which replaces the target in one step. Destroyed
// without Publish, it is removed.
#pragma once

#include <string>

#include "platform/FileSystem.h"

namespace platform {

class TemporaryFile {
 public:
  TemporaryFile() = default;
  // A new private (0600) file in directory `dir`; check IsOpen().
  TemporaryFile(FileSystem& files, const std::string& dir);
  // The same in the directory `dir` held open from `dirPath` (see
  // FileSystem::OpenDirectory): the directory's path is not walked again.
  // It may have its final permission bits `mode` at once (see CreateUnnamedFileIn).
  TemporaryFile(FileSystem& files, FileHandle dir, const std::string& dirPath, uint32_t mode = 0600);
  // The existing file `path`, taken over: it loses its name at once where the
  // file system allows (see FileSystem::AdoptAsUnnamed), and goes like any other.
  static TemporaryFile Adopt(FileSystem& files, const std::string& path);
  // Still under a name of its own (Path()), which Discard removes.
  bool IsNamed() const { return file_.named; }
  ~TemporaryFile() { Discard(); }
  TemporaryFile(TemporaryFile&& other) noexcept;
  TemporaryFile& operator=(TemporaryFile&& other) noexcept;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool IsOpen() const { return file_.handle != kInvalidHandle; }
  FileHandle Handle() const { return file_.handle; }
  // Opens this same file (for a second handle, or a call that takes a path)
  // until it is published or discarded.
  const std::string& Path() const { return file_.path; }

  // Gives the file the name `target` (on the same file system, best in the same
  // directory), replacing what is there in one step, and closes it. False: the
  // target is as it was and the file stays open (to be discarded, or copied).
  bool Publish(const std::string& target);
  // Publish with the target `name` in the directory `dir` held open from `dirPath`.
  bool PublishIn(FileHandle dir, const std::string& dirPath, const std::string& name);
  // The file's permission bits, set before it is published.
  bool SetPermissions(uint32_t mode);
  // Closes and removes the file; nothing when none is open.
  void Discard();

 private:
  FileSystem* files_ = nullptr;
  UnnamedFile file_;
};

}  // namespace platform
