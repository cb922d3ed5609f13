// FileKeeping on POSIX calls.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileKeeping.h"
#include "platform/Paths.h"

namespace platform {
namespace {

class PosixKeeping : public FileKeeping {
 public:
  bool CreateHardLink(const std::string& existing, const std::string& linkPath) override {
    return ::linkat(AT_FDCWD, ToNativePath(existing).c_str(), AT_FDCWD, ToNativePath(linkPath).c_str(), 0) == 0;
  }

  bool SyncDirectory(const std::string& path) override {
    int fd = ::open(ToNativePath(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
  }

  std::optional<ExactTime> GetPathTime(const std::string& path) override {
    struct stat st;
    if (::lstat(ToNativePath(path).c_str(), &st) != 0) return std::nullopt;
    return ExactTime{st.st_mtim.tv_sec, static_cast<uint32_t>(st.st_mtim.tv_nsec)};
  }

  bool SetPathTime(const std::string& path, ExactTime time) override {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(time.seconds);
    times[0].tv_nsec = times[1].tv_nsec = static_cast<long>(time.nanoseconds);
    return ::utimensat(AT_FDCWD, ToNativePath(path).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
  }
};

}  // namespace

FileKeeping& PosixFileKeeping() {
  static PosixKeeping* keeping = new PosixKeeping;
  return *keeping;
}

FileKeeping& DefaultFileKeeping() { return PosixFileKeeping(); }

}  // namespace platform
