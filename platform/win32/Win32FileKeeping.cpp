// FileKeeping on the wide-character Win32 calls. Times are FILETIMEs (100 ns
// since 1601), so an ExactTime comes back to the 100 ns. A directory's entries
// are flushed through a handle to the directory itself, which NTFS accepts; a
// file system that refuses it keeps its entries as it always does, and that
// counts as done.
#include "platform/FileKeeping.h"
#include "platform/win32/WideText.h"
#include "platform/win32/WindowsApi.h"

namespace platform {
namespace {

constexpr int64_t kUnixEpochTicks = 116444736000000000LL;  // 1970-01-01 in 100 ns since 1601
constexpr int64_t kTicksPerSecond = 10000000;

ExactTime ExactFromFileTime(const FILETIME& time) {
  const int64_t ticks = (static_cast<int64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime) - kUnixEpochTicks;
  int64_t seconds = ticks / kTicksPerSecond;
  int64_t rest = ticks % kTicksPerSecond;
  if (rest < 0) {
    rest += kTicksPerSecond;
    --seconds;
  }
  return ExactTime{seconds, static_cast<uint32_t>(rest * 100)};
}

FILETIME FileTimeFromExact(ExactTime time) {
  const uint64_t ticks =
      static_cast<uint64_t>(time.seconds * kTicksPerSecond + time.nanoseconds / 100 + kUnixEpochTicks);
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// A handle to `path` itself (a directory, or a link rather than its target).
HANDLE OpenItself(const std::string& path, DWORD access) {
  return CreateFileW(win32::WidePath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

class Win32Keeping : public FileKeeping {
 public:
  bool CreateHardLink(const std::string& existing, const std::string& linkPath) override {
    return CreateHardLinkW(win32::WidePath(linkPath).c_str(), win32::WidePath(existing).c_str(), nullptr) != 0;
  }

  bool SyncDirectory(const std::string& path) override {
    DWORD attributes = GetFileAttributesW(win32::WidePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    HANDLE directory = OpenItself(path, GENERIC_READ | GENERIC_WRITE);
    if (directory != INVALID_HANDLE_VALUE) {
      FlushFileBuffers(directory);
      CloseHandle(directory);
    }
    return true;
  }

  std::optional<ExactTime> GetPathTime(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(win32::WidePath(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return ExactFromFileTime(data.ftLastWriteTime);
  }

  bool SetPathTime(const std::string& path, ExactTime time) override {
    HANDLE item = OpenItself(path, FILE_WRITE_ATTRIBUTES);
    if (item == INVALID_HANDLE_VALUE) return false;
    const FILETIME when = FileTimeFromExact(time);
    bool set = SetFileTime(item, nullptr, &when, &when) != 0;
    CloseHandle(item);
    return set;
  }
};

}  // namespace

FileKeeping& Win32FileKeeping() {
  static Win32Keeping* keeping = new Win32Keeping;
  return *keeping;
}

FileKeeping& DefaultFileKeeping() { return Win32FileKeeping(); }

}  // namespace platform
