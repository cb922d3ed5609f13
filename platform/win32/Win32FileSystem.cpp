// FileSystem on the wide-character Win32 calls. Every handle lets others delete
// and rename the file (FILE_SHARE_DELETE): the component renames and removes
// files it still holds open, as the POSIX calls allow. A FileHandle is the
// HANDLE's value: kernel handles have 32 significant bits on every Windows,
// and INVALID_HANDLE_VALUE is -1 as kInvalidHandle is.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Clock.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/win32/FileTimes.h"
#include "platform/win32/UnnamedFiles.h"
#include "platform/win32/Win32Env.h"
#include "platform/win32/WideText.h"
#include "platform/win32/WindowsApi.h"

namespace platform {
namespace {

using win32::WidePath;

HANDLE ToHandle(FileHandle h) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(h)); }
FileHandle FromHandle(HANDLE h) { return static_cast<FileHandle>(reinterpret_cast<intptr_t>(h)); }

// The reason of the calling thread's last failure, kept for LastError().
thread_local int lastError = 0;

// Keeps GetLastError's reason, as an errno value, and passes `result` on.
template <typename T>
T Failed(T result) {
  lastError = win32::ErrnoFromSystemError(GetLastError());
  return result;
}

bool Kept(BOOL ok) { return ok ? true : Failed(false); }

// The attribute bits archives record.
constexpr DWORD kRecordedAttributes = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrDirectory | kAttrArchive;

FileInfo InfoFrom(DWORD attributes, const FILETIME& written, uint64_t size) {
  FileInfo info;
  info.isDirectory = attributes & FILE_ATTRIBUTE_DIRECTORY;
  info.isSymlink = attributes & FILE_ATTRIBUTE_REPARSE_POINT;
  info.size = info.isDirectory ? 0 : size;
  info.unixTime = win32::UnixFromFileTime(written);
  info.dosDateTime = win32::DosFromFileTime(written);
  // POSIX type and permission bits as a Windows file has them.
  constexpr uint32_t kTypeDirectory = 0040000, kTypeRegular = 0100000, kTypeLink = 0120000;
  uint32_t mode = info.isDirectory ? kTypeDirectory | 0755 : kTypeRegular | 0644;
  if (info.isSymlink) mode = kTypeLink | 0777;
  if (attributes & FILE_ATTRIBUTE_READONLY) mode &= ~0222u;
  info.mode = mode;
  info.attributes = attributes & kRecordedAttributes;
  return info;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

DWORD ShareMode(Share share) {
  switch (share) {
    case Share::None: return FILE_SHARE_DELETE;
    case Share::Read: return FILE_SHARE_READ | FILE_SHARE_DELETE;
    case Share::ReadWrite: break;
  }
  return kShareAll;
}

DWORD CreationOf(Disposition disposition) {
  switch (disposition) {
    case Disposition::OpenExisting: return OPEN_EXISTING;
    case Disposition::CreateAlways: return CREATE_ALWAYS;
    case Disposition::CreateNew: return CREATE_NEW;
    case Disposition::OpenAlways: break;
  }
  return OPEN_ALWAYS;
}

// The largest piece one ReadFile or WriteFile call moves.
constexpr size_t kMaxPiece = 1u << 30;

// A handle for the path itself, for times and identity; directories too.
HANDLE OpenForMetadata(const std::string& path, DWORD access, bool followLinks) {
  if (auto unnamed = win32::HandleOfUnnamedPath(path))
    return win32::ReopenUnnamed(*unnamed, access ? access : FILE_READ_ATTRIBUTES);
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  return CreateFileW(WidePath(path).c_str(), access, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
}

// The attributes, last write and size of the file an unnamed path reaches.
std::optional<BY_HANDLE_FILE_INFORMATION> UnnamedInfo(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return std::nullopt;
  return info;
}

bool SetUnnamedAttributes(HANDLE file, DWORD attributes) {
  FILE_BASIC_INFO basic{};  // times of 0 stay as they are
  basic.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic);
}

class Win32Files : public FileSystem {
 public:
  FileHandle Open(const std::string& path, Access access, Share share, Disposition disposition,
                  uint32_t mode) override {
    DWORD wanted = access == Access::Read ? GENERIC_READ
                   : access == Access::Write ? GENERIC_WRITE
                                             : GENERIC_READ | GENERIC_WRITE;
    DWORD attributes = (mode & 0200) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
    if (auto unnamed = win32::HandleOfUnnamedPath(path)) return OpenUnnamed(*unnamed, wanted, disposition);
    HANDLE h = CreateFileW(WidePath(path).c_str(), wanted, ShareMode(share), nullptr, CreationOf(disposition),
                           attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Failed(kInvalidHandle);
    // Only files on a disk: no pipes, consoles or devices behind a name.
    if (GetFileType(h) != FILE_TYPE_DISK) {
      CloseHandle(h);
      lastError = EISDIR;
      return kInvalidHandle;
    }
    return FromHandle(h);
  }

  void Close(FileHandle h) override {
    if (h != kInvalidHandle) CloseHandle(ToHandle(h));
  }

  int64_t Read(FileHandle h, void* buffer, size_t count) override {
    size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < count) {
      DWORD n = 0;
      const DWORD piece = static_cast<DWORD>(std::min(count - done, kMaxPiece));
      if (!ReadFile(ToHandle(h), p + done, piece, &n, nullptr)) return Failed(int64_t{-1});
      if (n == 0) break;
      done += n;
    }
    return static_cast<int64_t>(done);
  }

  int64_t Write(FileHandle h, const void* buffer, size_t count) override {
    size_t done = 0;
    auto* p = static_cast<const char*>(buffer);
    while (done < count) {
      DWORD n = 0;
      const DWORD piece = static_cast<DWORD>(std::min(count - done, kMaxPiece));
      if (!WriteFile(ToHandle(h), p + done, piece, &n, nullptr) || n == 0)
        return Failed(done ? static_cast<int64_t>(done) : int64_t{-1});
      done += n;
    }
    return static_cast<int64_t>(done);
  }

  int64_t Seek(FileHandle h, int64_t offset, SeekFrom from) override {
    LARGE_INTEGER distance, position;
    distance.QuadPart = offset;
    DWORD method = from == SeekFrom::Begin ? FILE_BEGIN : from == SeekFrom::Current ? FILE_CURRENT : FILE_END;
    if (!SetFilePointerEx(ToHandle(h), distance, &position, method)) return Failed(int64_t{-1});
    return position.QuadPart;
  }

  int64_t Size(FileHandle h) override {
    LARGE_INTEGER size;
    return GetFileSizeEx(ToHandle(h), &size) ? size.QuadPart : Failed(int64_t{-1});
  }

  bool SetEndOfFile(FileHandle h) override { return Kept(::SetEndOfFile(ToHandle(h))); }
  bool Sync(FileHandle h) override { return Kept(FlushFileBuffers(ToHandle(h))); }

  std::optional<uint32_t> GetFileDosTime(FileHandle h) override {
    FILETIME written;
    if (!GetFileTime(ToHandle(h), nullptr, nullptr, &written)) return Failed(std::optional<uint32_t>());
    return win32::DosFromFileTime(written);
  }

  bool SetFileDosTime(FileHandle h, uint32_t dosDateTime) override {
    const FILETIME time = win32::FileTimeFromDos(dosDateTime);
    return Kept(SetFileTime(ToHandle(h), nullptr, &time, &time));
  }

  std::optional<uint32_t> GetAttributes(const std::string& path) override {
    if (path.empty()) return std::nullopt;
    if (auto unnamed = win32::HandleOfUnnamedPath(path)) {
      auto info = UnnamedInfo(*unnamed);
      return info ? std::optional<uint32_t>(info->dwFileAttributes & kRecordedAttributes)
                  : Failed(std::optional<uint32_t>());
    }
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Failed(std::optional<uint32_t>());
    return attributes & kRecordedAttributes;
  }

  bool SetAttributes(const std::string& path, uint32_t attributes) override {
    const DWORD settable = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
    if (auto unnamed = win32::HandleOfUnnamedPath(path)) return Kept(SetUnnamedAttributes(*unnamed, settable));
    return Kept(SetFileAttributesW(WidePath(path).c_str(), settable ? settable : FILE_ATTRIBUTE_NORMAL));
  }

  std::optional<FileInfo> Stat(const std::string& path) override {
    if (path.empty()) return std::nullopt;
    if (auto unnamed = win32::HandleOfUnnamedPath(path)) {
      auto info = UnnamedInfo(*unnamed);
      if (!info) return Failed(std::optional<FileInfo>());
      return InfoFrom(info->dwFileAttributes, info->ftLastWriteTime,
                      (static_cast<uint64_t>(info->nFileSizeHigh) << 32) | info->nFileSizeLow);
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data))
      return Failed(std::optional<FileInfo>());
    return InfoFrom(data.dwFileAttributes, data.ftLastWriteTime,
                    (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  }

  // Windows keeps one permission that matters here: write, as the read-only attribute.
  bool SetPermissions(const std::string& path, uint32_t mode) override {
    if (auto unnamed = win32::HandleOfUnnamedPath(path)) return SetUnnamedReadOnly(*unnamed, !(mode & 0200));
    const std::wstring wide = WidePath(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Failed(false);
    const bool readOnly = !(mode & 0200) && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    const DWORD wanted = readOnly ? attributes | FILE_ATTRIBUTE_READONLY : attributes & ~FILE_ATTRIBUTE_READONLY;
    return wanted == attributes || Kept(SetFileAttributesW(wide.c_str(), wanted));
  }

  std::optional<FileIdentity> Identify(const std::string& path) override {
    if (path.empty()) return std::nullopt;
    HANDLE h = OpenForMetadata(path, 0, true);
    if (h == INVALID_HANDLE_VALUE) return Failed(std::optional<FileIdentity>());
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!ok) return Failed(std::optional<FileIdentity>());
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  }

  bool SetPathDosTime(const std::string& path, uint32_t dosDateTime) override {
    HANDLE h = OpenForMetadata(path, FILE_WRITE_ATTRIBUTES, false);
    if (h == INVALID_HANDLE_VALUE) return Failed(false);
    const FILETIME time = win32::FileTimeFromDos(dosDateTime);
    const bool ok = Kept(SetFileTime(h, nullptr, &time, &time));
    CloseHandle(h);
    return ok;
  }

  bool DeleteFile(const std::string& path) override { return Kept(DeleteFileW(WidePath(path).c_str())); }

  bool MoveFile(const std::string& from, const std::string& to, bool replace) override {
    return Kept(MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0));
  }

  bool CreateDirectory(const std::string& path) override {
    return Kept(CreateDirectoryW(WidePath(path).c_str(), nullptr));
  }

  bool RemoveDirectory(const std::string& path) override {
    return Kept(RemoveDirectoryW(WidePath(path).c_str()));
  }

  bool CreateSymlink(const std::string& target, const std::string& linkPath) override {
    constexpr DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
    std::wstring wideTarget = win32::Widen(target);
    for (wchar_t& c : wideTarget)
      if (c == L'/') c = L'\\';
    return Kept(CreateSymbolicLinkW(WidePath(linkPath).c_str(), wideTarget.c_str(), kUnprivileged) != 0);
  }

  std::optional<std::vector<DirEntry>> ListDirectory(const std::string& path) override {
    std::string pattern = path.empty() ? "." : path;
    if (!IsPathSeparator(pattern.back())) pattern += '\\';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(WidePath(pattern + "*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return Failed(std::optional<std::vector<DirEntry>>());
    std::vector<DirEntry> entries;
    do {
      const std::string name = win32::Narrow(found.cFileName);
      if (name == "." || name == "..") continue;
      entries.push_back({name, InfoFrom(found.dwFileAttributes, found.ftLastWriteTime,
                                        (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow)});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return entries;
  }

  std::string GetCurrentDirectory() override {
    wchar_t buffer[32768];
    const DWORD n = GetCurrentDirectoryW(32768, buffer);
    return n ? win32::Narrow(buffer, n) : std::string(".");
  }

  bool SetCurrentDirectory(const std::string& path) override {
    return Kept(SetCurrentDirectoryW(WidePath(path).c_str()));
  }

  // The user's own temporary directory (TMP, TEMP or the profile's).
  std::string GetTempPath() override {
    wchar_t buffer[MAX_PATH + 2];
    const DWORD n = GetTempPathW(MAX_PATH + 2, buffer);
    if (n == 0 || n > MAX_PATH + 1) return Failed(std::string());
    std::string path = win32::Narrow(buffer, n);
    if (!IsPathSeparator(path.back())) path += '\\';
    return path;
  }

  std::string MakeTempDirectory(const std::string& dir, const std::string& prefix) override {
    std::string base = dir;
    if (!base.empty() && !IsPathSeparator(base.back())) base += '\\';
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
      const std::string name = base + prefix + UniqueText(6);
      if (CreateDirectoryW(WidePath(name).c_str(), nullptr)) return name + '\\';
      if (GetLastError() != ERROR_ALREADY_EXISTS) return Failed(std::string());
    }
    lastError = EEXIST;
    return {};
  }

  std::string GetTempFileName(const std::string& dir, const std::string& prefix) override {
    std::string name;
    HANDLE h = CreateUnique(dir, prefix, GENERIC_WRITE, 0, name);
    if (h == INVALID_HANDLE_VALUE) return {};
    CloseHandle(h);
    return name;
  }

  // Made under a name as GetTempFileName makes one, with DELETE access, then
  // marked delete pending (see UnnamedFiles.h).
  UnnamedFile CreateUnnamedFile(const std::string& dir) override {
    std::string name;
    HANDLE h = CreateUnique(dir, "tmp", GENERIC_READ | GENERIC_WRITE | DELETE, kShareAll, name);
    if (h == INVALID_HANDLE_VALUE) return UnnamedFile{};
    return MarkUnnamed(h, name, 0600);
  }

  UnnamedFile AdoptAsUnnamed(const std::string& path) override {
    HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES | DELETE, kShareAll, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Failed(UnnamedFile{});
    return MarkUnnamed(h, path, 0xFFFFFFFF);
  }

  // The mark is cleared before the rename: a run killed between the two leaves
  // the complete file under its temporary name, where the other order would
  // lose both it and the file it replaced.
  bool NameFile(const UnnamedFile& file, const std::string& target) override {
    if (file.named) return MoveFile(file.path, target, true);
    HANDLE h = ToHandle(file.handle);
    if (!win32::MarkDeletePending(h, false)) return Failed(false);
    if (win32::RenameByHandle(h, target)) return true;
    Failed(false);
    win32::MarkDeletePending(h, true);
    return false;
  }

  bool SetUnnamedFilePermissions(const UnnamedFile& file, uint32_t mode) override {
    if (file.named) return SetPermissions(file.path, mode);
    return SetUnnamedReadOnly(ToHandle(file.handle), !(mode & 0200));
  }

  int64_t ReadAt(FileHandle h, void* buffer, size_t count, uint64_t offset) override {
    size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < count) {
      OVERLAPPED at{};
      const uint64_t position = offset + done;
      at.Offset = static_cast<DWORD>(position);
      at.OffsetHigh = static_cast<DWORD>(position >> 32);
      DWORD n = 0;
      const DWORD piece = static_cast<DWORD>(std::min(count - done, kMaxPiece));
      if (!ReadFile(ToHandle(h), p + done, piece, &n, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        return Failed(int64_t{-1});
      }
      if (n == 0) break;
      done += n;
    }
    return static_cast<int64_t>(done);
  }

  int LastError() override { return lastError; }

 private:
  // "<dir><prefix(3)><hex>.tmp", made exclusively and open with `access` and `share`.
  HANDLE CreateUnique(const std::string& dir, const std::string& prefix, DWORD access, DWORD share,
                      std::string& name) {
    std::string base = dir;
    if (!base.empty() && !IsPathSeparator(base.back())) base += '\\';
    const std::string pre = prefix.substr(0, 3);
    const unsigned start = static_cast<unsigned>(GetCurrentProcessId()) ^ static_cast<unsigned>(GetTickCount());
    for (unsigned i = 0; i < 0x10000; ++i) {
      const unsigned unique = (start + i) & 0xFFFF;
      if (unique == 0) continue;
      char hex[8];
      std::snprintf(hex, sizeof hex, "%X", unique);
      name = base + pre + hex + ".tmp";
      HANDLE h = CreateFileW(WidePath(name).c_str(), access, share, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h != INVALID_HANDLE_VALUE) return h;
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return Failed(INVALID_HANDLE_VALUE);
    }
    lastError = EEXIST;
    return INVALID_HANDLE_VALUE;
  }

  // The file `h`, named `name`, without a name from now on; where the file
  // system refuses the mark it keeps its name.
  UnnamedFile MarkUnnamed(HANDLE h, const std::string& name, uint32_t mode) {
    UnnamedFile file;
    file.handle = FromHandle(h);
    file.mode = mode;
    file.named = !win32::MarkDeletePending(h, true);
    file.path = file.named ? name : win32::UnnamedPath(h);
    return file;
  }

  // A second handle to an unnamed file. It takes no part in sharing checks; a
  // disposition that would make a new file empties it, one that must make a new file fails.
  FileHandle OpenUnnamed(HANDLE file, DWORD access, Disposition disposition) {
    if (disposition == Disposition::CreateNew) {
      lastError = EEXIST;
      return kInvalidHandle;
    }
    HANDLE h = win32::ReopenUnnamed(file, access);
    if (h == INVALID_HANDLE_VALUE) return Failed(kInvalidHandle);
    if (disposition == Disposition::CreateAlways && !::SetEndOfFile(h)) {
      CloseHandle(h);
      return Failed(kInvalidHandle);
    }
    return FromHandle(h);
  }

  bool SetUnnamedReadOnly(HANDLE file, bool readOnly) {
    auto info = UnnamedInfo(file);
    if (!info) return Failed(false);
    const DWORD wanted = readOnly ? info->dwFileAttributes | FILE_ATTRIBUTE_READONLY
                                  : info->dwFileAttributes & ~FILE_ATTRIBUTE_READONLY;
    return wanted == info->dwFileAttributes || Kept(SetUnnamedAttributes(file, wanted));
  }

  // `digits` letters and digits, different on every call in the process.
  std::string UniqueText(int digits) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    uint64_t seed = (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^ GetTickCount64() ^
                    (counter_.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    std::string text;
    for (int i = 0; i < digits; ++i) {
      text += kAlphabet[seed % 36];
      seed = seed / 36 + 0x5851F42D4C957F2Dull * (i + 1);
    }
    return text;
  }

  std::atomic<uint64_t> counter_{0};
};

}  // namespace

std::string ErrorText(int error) { return std::strerror(error); }

std::string WithReason(const std::string& what, int error) {
  return error ? what + ": " + ErrorText(error) : what;
}

std::string UserPrivateDirectory(const std::string& path) {
  const std::wstring wide = WidePath(path);
  CreateDirectoryW(wide.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return {};
  return path + "\\";
}

FileSystem& Win32FileSystem() {
  static Win32Files files;
  return files;
}

}  // namespace platform
