// FileSystem on POSIX calls.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/Clock.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/posix/ShareLocks.h"

namespace platform {
namespace {

FileInfo InfoFromStat(const struct stat& st, const std::string& name) {
  FileInfo info;
  info.isDirectory = S_ISDIR(st.st_mode);
  info.isSymlink = S_ISLNK(st.st_mode);
  info.size = static_cast<uint64_t>(st.st_size);
  info.unixTime = st.st_mtime;
  info.dosDateTime = UnixToDosDateTime(st.st_mtime);
  info.mode = st.st_mode;
  uint32_t attr = info.isDirectory ? kAttrDirectory : kAttrArchive;
  if (!(st.st_mode & S_IWUSR)) attr |= kAttrReadOnly;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") attr |= kAttrHidden;
  info.attributes = attr;
  return info;
}

// The reason of the calling thread's last failure, kept for LastError().
thread_local int lastError = 0;

// Keeps errno as the reason of a failing call and passes its result on.
template <typename T>
T Failed(T result) {
  lastError = errno;
  return result;
}

bool Kept(bool ok) {
  return ok ? true : Failed(false);
}

// Reads until `count` bytes or the end: `step(p, n, done)` is one read(2) or
// pread(2) of at most n bytes into p, `done` bytes into the whole read.
template <typename Step>
int64_t ReadFully(void* buffer, size_t count, Step step) {
  size_t done = 0;
  auto* p = static_cast<char*>(buffer);
  while (done < count) {
    ssize_t n = step(p + done, count - done, done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Failed(int64_t{-1});
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

class PosixFiles : public FileSystem {
 public:
  FileHandle Open(const std::string& path, Access access, Share share, Disposition disposition,
                  uint32_t mode) override {
    int flags = O_CLOEXEC;
    // A write handle is opened for reading too where permitted: the share marks
    // are read locks, which need a readable descriptor.
    flags |= access == Access::Read ? O_RDONLY : O_RDWR;
    switch (disposition) {
      case Disposition::OpenExisting: break;
      // Truncated only once the sharing check has passed (below), so that a
      // refused opener leaves the file as it was.
      case Disposition::CreateAlways: flags |= access == Access::Read ? O_CREAT | O_TRUNC : O_CREAT; break;
      case Disposition::CreateNew: flags |= O_CREAT | O_EXCL; break;
      case Disposition::OpenAlways: flags |= O_CREAT; break;
    }
    // Non-blocking, so that a FIFO cannot hold the open; it is refused below.
    flags |= O_NONBLOCK;
    std::string native = ToNativePath(path);
    int fd = ::open(native.c_str(), flags, static_cast<mode_t>(mode));
    bool canMark = true;
    if (fd < 0 && errno == EACCES && access == Access::Write) {
      fd = ::open(native.c_str(), (flags & ~O_RDWR) | O_WRONLY, static_cast<mode_t>(mode));
      canMark = false;  // write-only: this handle takes part in no sharing checks
    }
    if (fd < 0) return Failed(kInvalidHandle);
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      errno = EISDIR;  // not a regular file: no handle to it
      return Failed(kInvalidHandle);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (canMark && !ClaimShare(fd, access, share)) {
      ::close(fd);
      lastError = EBUSY;
      return kInvalidHandle;
    }
    if (disposition == Disposition::CreateAlways && access != Access::Read && ::ftruncate(fd, 0) != 0) {
      lastError = errno;
      ::close(fd);
      return kInvalidHandle;
    }
    return fd;
  }

  void Close(FileHandle h) override {
    if (h >= 0) ::close(h);
  }

  int64_t Read(FileHandle h, void* buffer, size_t count) override {
    return ReadFully(buffer, count, [h](char* p, size_t n, size_t) { return ::read(h, p, n); });
  }

  int64_t Write(FileHandle h, const void* buffer, size_t count) override {
    size_t done = 0;
    auto* p = static_cast<const char*>(buffer);
    while (done < count) {
      ssize_t n = ::write(h, p + done, count - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return Failed(done ? static_cast<int64_t>(done) : int64_t{-1});
      }
      done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
  }

  int64_t Seek(FileHandle h, int64_t offset, SeekFrom from) override {
    int whence = from == SeekFrom::Begin ? SEEK_SET : from == SeekFrom::Current ? SEEK_CUR : SEEK_END;
    off_t pos = ::lseek(h, static_cast<off_t>(offset), whence);
    return pos < 0 ? Failed(int64_t{-1}) : static_cast<int64_t>(pos);
  }

  int64_t Size(FileHandle h) override {
    struct stat st;
    return fstat(h, &st) == 0 ? static_cast<int64_t>(st.st_size) : Failed(int64_t{-1});
  }

  // The kernel copies (and shares blocks where the file system can). Where it
  // cannot for these two files (another file system, a file that is not a
  // regular one, a system without the call), the rest is read and written.
  int64_t CopyRange(FileHandle in, FileHandle out, int64_t count) override {
    int64_t done = 0;
    while (done < count) {
      ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(count - done), 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
        const int64_t rest = FileSystem::CopyRange(in, out, count - done);
        return rest < 0 ? -1 : done + rest;
      }
      if (n < 0) return Failed(int64_t{-1});
      if (n == 0) break;
      done += n;
    }
    return done;
  }

  bool SetEndOfFile(FileHandle h) override {
    off_t pos = ::lseek(h, 0, SEEK_CUR);
    return Kept(pos >= 0 && ::ftruncate(h, pos) == 0);
  }

  bool Sync(FileHandle h) override { return Kept(::fsync(h) == 0); }

  std::optional<uint32_t> GetFileDosTime(FileHandle h) override {
    struct stat st;
    if (fstat(h, &st) != 0) return Failed(std::optional<uint32_t>());
    return UnixToDosDateTime(st.st_mtime);
  }

  bool SetFileDosTime(FileHandle h, uint32_t dosDateTime) override {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(DosDateTimeToUnix(dosDateTime));
    times[0].tv_nsec = times[1].tv_nsec = 0;
    return Kept(::futimens(h, times) == 0);
  }

  std::optional<uint32_t> GetAttributes(const std::string& path) override {
    if (path.empty()) return std::nullopt;
    struct stat st;
    if (::stat(ToNativePath(path).c_str(), &st) != 0) return Failed(std::optional<uint32_t>());
    return InfoFromStat(st, ExtractFileName(path)).attributes;
  }

  bool SetAttributes(const std::string& path, uint32_t attributes) override {
    // Only the read-only bit has a POSIX meaning: it clears or restores write permission.
    std::string native = ToNativePath(path);
    struct stat st;
    if (::stat(native.c_str(), &st) != 0) return Failed(false);
    mode_t mode = st.st_mode & 07777;
    if (attributes & kAttrReadOnly) mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else mode |= S_IWUSR;
    return Kept(::chmod(native.c_str(), mode) == 0);
  }

  std::optional<std::string> ReadLink(const std::string& path) override {
    std::string target(4096, '\0');
    const ssize_t n = ::readlink(ToNativePath(path).c_str(), target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) == target.size()) return std::nullopt;
    target.resize(static_cast<size_t>(n));
    return target;
  }

  std::optional<FileInfo> Stat(const std::string& path) override {
    struct stat st;
    if (path.empty()) return std::nullopt;
    if (::lstat(ToNativePath(path).c_str(), &st) != 0) return Failed(std::optional<FileInfo>());
    return InfoFromStat(st, ExtractFileName(path));
  }

  std::optional<FileIdentity> Identify(const std::string& path) override {
    struct stat st;
    if (path.empty()) return std::nullopt;
    if (::stat(ToNativePath(path).c_str(), &st) != 0) return Failed(std::optional<FileIdentity>());
    return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  }

  bool SetPermissions(const std::string& path, uint32_t mode) override {
    return Kept(::chmod(ToNativePath(path).c_str(), static_cast<mode_t>(mode & 07777)) == 0);
  }

  bool SetPathDosTime(const std::string& path, uint32_t dosDateTime) override {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(DosDateTimeToUnix(dosDateTime));
    times[0].tv_nsec = times[1].tv_nsec = 0;
    return Kept(::utimensat(AT_FDCWD, ToNativePath(path).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0);
  }

  bool DeleteFile(const std::string& path) override {
    return Kept(::unlink(ToNativePath(path).c_str()) == 0);
  }

  bool MoveFile(const std::string& from, const std::string& to, bool replace) override {
    std::string src = ToNativePath(from), dst = ToNativePath(to);
    if (!replace) {
      // link+unlink refuses an existing destination atomically; fall back for directories.
      if (::link(src.c_str(), dst.c_str()) == 0) return Kept(::unlink(src.c_str()) == 0);
      if (errno == EEXIST) return Failed(false);
      struct stat st;
      if (::lstat(dst.c_str(), &st) == 0) {
        lastError = EEXIST;
        return false;
      }
    }
    return Kept(::rename(src.c_str(), dst.c_str()) == 0);
  }

  bool CreateDirectory(const std::string& path) override {
    return Kept(::mkdir(ToNativePath(path).c_str(), 0755) == 0);
  }

  bool RemoveDirectory(const std::string& path) override {
    return Kept(::rmdir(ToNativePath(path).c_str()) == 0);
  }

  bool CreateSymlink(const std::string& target, const std::string& linkPath) override {
    return Kept(::symlink(target.c_str(), ToNativePath(linkPath).c_str()) == 0);
  }

  std::optional<std::vector<DirEntry>> ListDirectory(const std::string& path) override {
    std::string native = ToNativePath(path.empty() ? "." : path);
    DIR* dir = ::opendir(native.c_str());
    if (!dir) return Failed(std::optional<std::vector<DirEntry>>());
    std::vector<DirEntry> entries;
    while (struct dirent* e = ::readdir(dir)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      struct stat st;
      if (::fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      entries.push_back({name, InfoFromStat(st, name)});
    }
    ::closedir(dir);
    return entries;
  }

  std::string GetCurrentDirectory() override {
    char buf[4096];
    return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string(".");
  }

  bool SetCurrentDirectory(const std::string& path) override {
    return Kept(::chdir(ToNativePath(path).c_str()) == 0);
  }

  std::string GetTempPath() override {
    const char* dir = std::getenv("TMPDIR");
    if (dir && *dir) {
      std::string path = dir;
      if (!IsPathSeparator(path.back())) path += '/';
      return path;
    }
    // A shared /tmp lets other users plant files where ours go: use a directory
    // of our own there.
    return UserPrivateDirectory("/tmp/zipbuilder-" + std::to_string(::getuid()));
  }

  std::string MakeTempDirectory(const std::string& dir, const std::string& prefix) override {
    // The name comes back in the caller's notation: "\\" after a Windows path.
    const char sep = HasDriveLetter(dir) || dir.find('\\') != std::string::npos ? '\\' : '/';
    std::string base = dir;
    if (!base.empty() && !IsPathSeparator(base.back())) base += sep;
    std::string pattern = ToNativePath(base + prefix) + "XXXXXX";
    if (!::mkdtemp(pattern.data())) return {};
    return base + prefix + pattern.substr(pattern.size() - 6) + sep;
  }

  std::string GetTempFileName(const std::string& dir, const std::string& prefix) override {
    std::string base = dir;
    if (!base.empty() && !IsPathSeparator(base.back())) base += '/';
    std::string pre = prefix.substr(0, 3);
    unsigned start = static_cast<unsigned>(::getpid()) ^ static_cast<unsigned>(::time(nullptr));
    for (unsigned i = 0; i < 0x10000; ++i) {
      unsigned unique = ((start + i) & 0xFFFF);
      if (unique == 0) continue;
      char hex[8];
      std::snprintf(hex, sizeof hex, "%X", unique);
      std::string name = base + pre + hex + ".tmp";
      int fd = ::open(ToNativePath(name).c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
      if (fd >= 0) {
        ::close(fd);
        return name;
      }
      if (errno != EEXIST) return Failed(std::string());
    }
    lastError = EEXIST;
    return {};
  }

  UnnamedFile CreateUnnamedFile(const std::string& dir) override {
    return MakeUnnamed(AT_FDCWD, ToNativePath(dir.empty() ? "." : dir), dir);
  }

  UnnamedFile CreateUnnamedFileIn(FileHandle dir, const std::string& dirPath, uint32_t mode) override {
    if (dir == kInvalidHandle) return MakeUnnamed(AT_FDCWD, ToNativePath(dirPath.empty() ? "." : dirPath), dirPath, mode);
    return MakeUnnamed(dir, ".", dirPath, mode);
  }

  UnnamedFile AdoptAsUnnamed(const std::string& path) override {
    UnnamedFile file = FileSystem::AdoptAsUnnamed(path);
    if (file.handle == kInvalidHandle) return file;
    if (ProcFdWorks() && ::unlink(ToNativePath(path).c_str()) == 0) {
      file.path = ThroughHandle(file.handle);
      file.named = false;
    }
    return file;
  }

  bool NameFile(const UnnamedFile& file, const std::string& target) override {
    if (file.named) return MoveFile(file.path, target, true);
    return LinkInto(file, AT_FDCWD, ToNativePath(target));
  }

  bool NameFileIn(const UnnamedFile& file, FileHandle dir, const std::string& dirPath,
                  const std::string& name) override {
    // A name in a drive-letter path is looked up ignoring case: through the path.
    if (dir == kInvalidHandle || file.named || HasDriveLetter(dirPath)) return NameFile(file, JoinPath(dirPath, name));
    return LinkInto(file, dir, name);
  }

  bool SetUnnamedFilePermissions(const UnnamedFile& file, uint32_t mode) override {
    if (file.named) return SetPermissions(file.path, mode);
    if ((mode & 07777) == file.mode) return true;
    return Kept(::fchmod(file.handle, static_cast<mode_t>(mode & 07777)) == 0);
  }

  FileHandle OpenDirectory(const std::string& path) override {
    const int fd = ::open(ToNativePath(path.empty() ? "." : path).c_str(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    return fd < 0 ? Failed(kInvalidHandle) : fd;
  }

  int64_t ReadAt(FileHandle h, void* buffer, size_t count, uint64_t offset) override {
    return ReadFully(buffer, count, [h, offset](char* p, size_t n, size_t done) {
      return ::pread(h, p, n, static_cast<off_t>(offset + done));
    });
  }

  int LastError() override { return lastError; }

 private:
  static std::string ThroughHandle(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

  // Whether /proc reaches files through their handles: asked once per process.
  static bool ProcFdWorks() {
    static const bool works = ::access("/proc/self/fd/0", F_OK) == 0 || ::access("/proc/self/fd", F_OK) == 0;
    return works;
  }

  // An unnamed file in the directory `native`, relative to `dir`; a named one
  // where the file system or /proc cannot give one.
  UnnamedFile MakeUnnamed(int dir, const std::string& native, const std::string& dirPath,
                          uint32_t mode = 0600) {
    mode &= 0777;
    int fd = ProcFdWorks() ? ::openat(dir, native.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode) : -1;
    if (fd < 0) {
      // The file system (or the kernel) has no unnamed files: a named one instead.
      if (!ProcFdWorks() || errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
        return FileSystem::CreateUnnamedFile(dirPath);
      return Failed(UnnamedFile{});
    }
    UnnamedFile file;
    file.handle = fd;
    file.path = ThroughHandle(fd);
    file.mode = mode;
    return file;
  }

  // Gives the unnamed `file` the name `name` relative to `dir`. Straight under
  // its name when nothing is there; else linked in under a fresh name beside
  // the target and renamed over it, so the target changes in one step and only
  // between these two calls has the file a temporary name.
  bool LinkInto(const UnnamedFile& file, int dir, const std::string& name) {
    if (Link(file, dir, name)) return true;
    if (errno != EEXIST) return Failed(false);
    const size_t slash = name.rfind('/');
    const std::string beside = slash == std::string::npos ? "" : name.substr(0, slash + 1);
    static const unsigned pid = static_cast<unsigned>(::getpid());
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      char unique[40];
      std::snprintf(unique, sizeof unique, ".tmp%x-%x.tmp", pid, ++linkCounter_);
      const std::string temporary = beside + unique;
      if (!Link(file, dir, temporary)) {
        if (errno == EEXIST) continue;
        return Failed(false);
      }
      if (::renameat(dir, temporary.c_str(), dir, name.c_str()) == 0) return true;
      lastError = errno;
      ::unlinkat(dir, temporary.c_str(), 0);
      return false;
    }
    lastError = EEXIST;
    return false;
  }

  // One link to the open file: by its handle where the process may (that takes
  // the capability to read any file), else through /proc.
  bool Link(const UnnamedFile& file, int dir, const std::string& name) {
    if (linkByHandle_.load(std::memory_order_relaxed)) {
      if (::linkat(file.handle, "", dir, name.c_str(), AT_EMPTY_PATH) == 0) return true;
      if (errno != ENOENT && errno != EPERM) return false;
    }
    if (::linkat(AT_FDCWD, file.path.c_str(), dir, name.c_str(), AT_SYMLINK_FOLLOW) != 0) return false;
    linkByHandle_ = false;  // the path worked where the handle did not: not allowed here
    return true;
  }

  std::atomic<unsigned> linkCounter_{0};
  std::atomic<bool> linkByHandle_{true};
};

}  // namespace

std::string ErrorText(int error) {
  char buffer[256];
  // The GNU strerror_r returns its text, which need not be in `buffer`.
  return ::strerror_r(error, buffer, sizeof buffer);
}

std::string WithReason(const std::string& what, int error) {
  return error ? what + ": " + ErrorText(error) : what;
}

std::string UserPrivateDirectory(const std::string& path) {
  ::mkdir(path.c_str(), 0700);
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
      (st.st_mode & 077))
    return {};
  return path + "/";
}

FileSystem& PosixFileSystem() {
  static PosixFiles files;
  return files;
}

}  // namespace platform
