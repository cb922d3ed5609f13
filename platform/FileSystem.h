// File access for the component, the engines and the installer.
// Paths may use "\" or "/" and may carry a drive letter (see Paths.h); every
// implementation maps them through ToNativePath before touching the disk.
//
// Threads: every call may be made from several threads at once, as long as no
// two threads use the same handle at the same time (a handle has one file
// position). The exceptions are GetCurrentDirectory and SetCurrentDirectory,
// which act on the whole process: call them from one thread, while no other
// thread resolves a relative path.
//
// Failures: a call that fails keeps the reason (an errno value) for the calling
// thread; LastError() returns it until the thread's next failing call.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Paths.h"

namespace platform {

// Windows file attribute bits; archives record them, so they are kept as numbers.
enum FileAttribute : uint32_t {
  kAttrReadOnly = 0x01, kAttrHidden = 0x02, kAttrSystem = 0x04, kAttrVolume = 0x08,
  kAttrDirectory = 0x10, kAttrArchive = 0x20, kAttrNormal = 0x80
};

using FileHandle = int;
constexpr FileHandle kInvalidHandle = -1;

enum class Access { Read, Write, ReadWrite };
// What other openers may still do while the handle is open (advisory on POSIX).
enum class Share { None, Read, ReadWrite };
enum class Disposition { OpenExisting, CreateAlways, CreateNew, OpenAlways };
enum class SeekFrom { Begin, Current, End };

struct FileInfo {
  bool isDirectory = false;
  bool isSymlink = false;
  uint64_t size = 0;
  uint32_t dosDateTime = 0;  // last write, local time, MS-DOS date high / time low
  int64_t unixTime = 0;      // last write, seconds since 1970 UTC
  uint32_t mode = 0;         // POSIX permission bits (and type bits)
  uint32_t attributes = 0;   // Windows attribute bits derived from the above
};

// A file being written that gets its name only once it is complete (see
// FileSystem::CreateUnnamedFile).
struct UnnamedFile {
  FileHandle handle = kInvalidHandle;
  // Opens this same file while `handle` stays open: a path through the handle,
  // or the temporary name where the file system could not leave it unnamed.
  std::string path;
  bool named = false;  // made under a temporary name: remove `path` to discard it
  uint32_t mode = 0600;  // the permission bits it was made with (less the file mask)
};

// The file a path reaches: two paths with equal identities open one file,
// whatever their spelling, links or hard links.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

struct DirEntry {
  std::string name;  // bare name, never "." or ".."
  FileInfo info;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // CreateFileA's meaning. Returns kInvalidHandle on failure. New files get `mode`.
  // Only regular files (or links to them) open, and opening never blocks: a FIFO,
  // a device or a socket at `path` fails to open.
  virtual FileHandle Open(const std::string& path, Access access, Share share,
                          Disposition disposition, uint32_t mode = 0644) = 0;
  virtual void Close(FileHandle h) = 0;
  // Bytes moved, or -1 on error. Short counts only at end of file (read) or on error.
  virtual int64_t Read(FileHandle h, void* buffer, size_t count) = 0;
  virtual int64_t Write(FileHandle h, const void* buffer, size_t count) = 0;
  // New absolute position, or -1 on error.
  virtual int64_t Seek(FileHandle h, int64_t offset, SeekFrom from) = 0;
  virtual int64_t Size(FileHandle h) = 0;
  virtual bool SetEndOfFile(FileHandle h) = 0;  // cut or extend at the current position
  virtual bool Sync(FileHandle h) = 0;
  virtual std::optional<uint32_t> GetFileDosTime(FileHandle h) = 0;
  virtual bool SetFileDosTime(FileHandle h, uint32_t dosDateTime) = 0;

  // GetFileAttributesA: nullopt when the path does not exist. Follows symbolic links.
  virtual std::optional<uint32_t> GetAttributes(const std::string& path) = 0;
  virtual bool SetAttributes(const std::string& path, uint32_t attributes) = 0;
  // lstat-like: a symbolic link is reported as one.
  virtual std::optional<FileInfo> Stat(const std::string& path) = 0;
  // What the symbolic link `path` holds; none when it is no link or the system
  // has none.
  virtual std::optional<std::string> ReadLink(const std::string&) { return std::nullopt; }
  virtual bool SetPermissions(const std::string& path, uint32_t mode) = 0;
  // The file `path` reaches, symbolic links followed; none when it reaches nothing.
  virtual std::optional<FileIdentity> Identify(const std::string& path) = 0;
  virtual bool SetPathDosTime(const std::string& path, uint32_t dosDateTime) = 0;

  virtual bool DeleteFile(const std::string& path) = 0;
  // MoveFileExA: fails when `to` exists unless `replace` is set.
  virtual bool MoveFile(const std::string& from, const std::string& to, bool replace) = 0;
  virtual bool CreateDirectory(const std::string& path) = 0;
  virtual bool RemoveDirectory(const std::string& path) = 0;
  virtual bool CreateSymlink(const std::string& target, const std::string& linkPath) = 0;
  virtual std::optional<std::vector<DirEntry>> ListDirectory(const std::string& path) = 0;

  virtual std::string GetCurrentDirectory() = 0;
  virtual bool SetCurrentDirectory(const std::string& path) = 0;
  // GetTempPathA: a directory private to the user, always with a trailing
  // separator: $TMPDIR when set, else the user's own directory below /tmp (made
  // with mode 0700 when missing); "" when that one is not the user's alone.
  virtual std::string GetTempPath() = 0;
  // A new directory "<dir><prefix>XXXXXX" (mode 0700, made with mkdtemp) with a
  // trailing separator, or "" on failure.
  virtual std::string MakeTempDirectory(const std::string& dir, const std::string& prefix) = 0;
  // GetTempFileNameA with unique 0: creates "<dir><prefix(3)><hex>.tmp" exclusively
  // (mode 0600) and returns its name, or "" on failure.
  virtual std::string GetTempFileName(const std::string& dir, const std::string& prefix) = 0;

  // A new, empty file in directory `dir`, open for reading and writing, mode
  // 0600, without a name: however the process ends before NameFile, nothing of
  // it is left behind. Where the file system has no unnamed files, a file made
  // as GetTempFileName makes one (prefix "tmp") stands in for it. The handle is
  // kInvalidHandle on failure. Takes no part in sharing checks.
  virtual UnnamedFile CreateUnnamedFile(const std::string& dir) {
    UnnamedFile file;
    file.path = GetTempFileName(dir, "tmp");
    if (file.path.empty()) return file;
    file.named = true;
    file.handle =
        Open(file.path, Access::ReadWrite, Share::ReadWrite, Disposition::OpenExisting, 0600);
    if (file.handle == kInvalidHandle) DeleteFile(file.path);
    return file;
  }
  // Takes the existing file `path` over as a file without a name: opened for
  // reading, sharing everything, and its name removed where the file stays
  // reachable through the handle (a killed process then leaves nothing of it);
  // else it keeps its name (`named`). The handle is kInvalidHandle on failure.
  virtual UnnamedFile AdoptAsUnnamed(const std::string& path) {
    UnnamedFile file;
    file.handle = Open(path, Access::Read, Share::ReadWrite, Disposition::OpenExisting);
    file.path = path;
    file.named = true;
    file.mode = 0xFFFFFFFF;  // whatever it had: not known here
    return file;
  }
  // Gives `file` the name `target` on the same file system, replacing what is
  // there in one step, as a rename does. The handle stays open. False: the
  // target is as it was.
  virtual bool NameFile(const UnnamedFile& file, const std::string& target) {
    return MoveFile(file.path, target, true);
  }

  // Reads up to `count` bytes at `offset` (short only at the end of the file):
  // the bytes read, or -1 on error. The handle's position is left undefined.
  virtual int64_t ReadAt(FileHandle h, void* buffer, size_t count, uint64_t offset) {
    if (Seek(h, static_cast<int64_t>(offset), SeekFrom::Begin) < 0) return -1;
    return Read(h, buffer, count);
  }

  // A directory held open, so that files are made and named in it without its
  // path being walked again for each: an existing directory, never a symbolic
  // link. kInvalidHandle on failure, or where the file system holds no such
  // handles; the calls below then go by the directory's path. Close it with Close.
  virtual FileHandle OpenDirectory(const std::string& path) {
    (void)path;
    return kInvalidHandle;
  }
  // CreateUnnamedFile in the directory `dir`, opened from `dirPath`. A file
  // that has no name while it is written may get its final permission bits
  // `mode` (less the file mask) at once: nobody can open it before it is named.
  // One made under a temporary name is private (0600) all the same.
  virtual UnnamedFile CreateUnnamedFileIn(FileHandle dir, const std::string& dirPath, uint32_t mode = 0600) {
    (void)dir;
    (void)mode;
    return CreateUnnamedFile(dirPath);
  }
  // NameFile with the target `name` in the directory `dir`, opened from `dirPath`.
  virtual bool NameFileIn(const UnnamedFile& file, FileHandle dir, const std::string& dirPath,
                          const std::string& name) {
    (void)dir;
    return NameFile(file, JoinPath(dirPath, name));
  }
  // SetPermissions for a file not yet named, through its handle where possible;
  // nothing to do when it was made with `mode` (less the file mask, as any new file).
  virtual bool SetUnnamedFilePermissions(const UnnamedFile& file, uint32_t mode) {
    return SetPermissions(file.path, mode);
  }

  // Copies up to `count` bytes from `in`'s position to `out`'s position (both
  // advance): the bytes copied, fewer only at the end of the input; -1 on error.
  // Implementations may let the system copy without passing the bytes through
  // the process; this one reads and writes in large blocks.
  virtual int64_t CopyRange(FileHandle in, FileHandle out, int64_t count) {
    std::vector<char> buffer(static_cast<size_t>(std::min<int64_t>(count, int64_t{1} << 20)));
    int64_t done = 0;
    while (done < count) {
      int64_t got = Read(in, buffer.data(),
                         static_cast<size_t>(std::min<int64_t>(count - done, buffer.size())));
      if (got < 0) return -1;
      if (got == 0) break;
      if (Write(out, buffer.data(), static_cast<size_t>(got)) != got) return -1;
      done += got;
    }
    return done;
  }

  // The errno value of this thread's last failed call, 0 when none failed yet.
  virtual int LastError() = 0;
};

// A short text for an errno value ("No space left on device"), for messages.
std::string ErrorText(int error);
// "what: reason" when `error` is known, else `what` alone.
std::string WithReason(const std::string& what, int error);

// `path` (a host path) as a directory of the user's alone, with a trailing "/":
// made with mode 0700 when missing; "" when it is no directory (a link is none),
// belongs to another user, or others may enter it.
std::string UserPrivateDirectory(const std::string& path);

}  // namespace platform
