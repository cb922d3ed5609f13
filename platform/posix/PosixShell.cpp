// Shell services: the freedesktop.org Trash and starting programs or documents.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <vector>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Shell.h"

extern char** environ;

namespace platform {
namespace {

std::string TrashDirectory() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && *data) return std::string(data) + "/Trash";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/root") + "/.local/share/Trash";
}

bool MakeDirs(const std::string& path) {
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos == path.size() || path[pos] == '/') {
      std::string part = path.substr(0, pos);
      if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

// Percent-encodes a path as the .trashinfo "Path=" key wants it.
std::string EncodeTrashPath(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string PosixAbsolute(const std::string& path) {
  std::string native = ToNativePath(path);
  if (!native.empty() && native[0] == '/') return ExpandFileName(native);
  return ExpandFileName(PosixFileSystem().GetCurrentDirectory() + "/" + native);
}

// Copies a regular file (contents, permissions, times) for a copy or a move
// across file systems. The copy is written unnamed in the target's directory and
// linked in under `to` only when complete, so that neither a failure nor a
// killed run leaves a partial file (named while written only where the file
// system has no unnamed files; then removed again on failure).
bool CopyRegularFile(const std::string& from, const std::string& to) {
  struct stat st;
  if (::lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const std::string dir = to.substr(0, to.rfind('/') + 1);
  const mode_t mode = st.st_mode & 07777;
  int out = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  const bool unnamed = out >= 0;
  if (!unnamed) out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::futimens(out, times);
  ::close(in);
  bool named = !unnamed;  // `to` is this copy's own name
  if (ok && unnamed) {
    const std::string self = "/proc/self/fd/" + std::to_string(out);
    ok = named = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0;
  }
  if (::close(out) != 0) ok = false;
  if (!ok && named) ::unlink(to.c_str());
  return ok;
}

// rename, or copy and unlink when the Trash is on another file system. With
// `keepSource` a second link, or a copy across file systems, and the source stays.
bool MoveIntoTrash(const std::string& from, const std::string& to, bool keepSource) {
  if (keepSource) return ::link(from.c_str(), to.c_str()) == 0 || CopyRegularFile(from, to);
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  if (errno != EXDEV || !CopyRegularFile(from, to)) return false;
  if (::unlink(from.c_str()) == 0) return true;
  ::unlink(to.c_str());
  return false;
}

int MoveToTrash(const std::string& path, bool keepSource) {
  std::string source = PosixAbsolute(path);
  std::string trash = TrashDirectory();
  if (!MakeDirs(trash + "/files") || !MakeDirs(trash + "/info")) return 1;
  std::string base = ExtractFileName(source);
  // Reserve a unique name by creating its .trashinfo exclusively, as the Trash layout asks.
  for (int n = 1; n < 10000; ++n) {
    std::string name = n == 1 ? base : base + "." + std::to_string(n);
    std::string info = trash + "/info/" + name + ".trashinfo";
    std::string target = trash + "/files/" + name;
    int fd = ::open(info.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return 1;
    }
    struct stat taken;
    if (::lstat(target.c_str(), &taken) == 0) {  // a file without its .trashinfo holds the name
      ::close(fd);
      ::unlink(info.c_str());
      continue;
    }
    char when[32];
    time_t now = ::time(nullptr);
    struct tm tm;
    localtime_r(&now, &tm);
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", &tm);
    std::string text = "[Trash Info]\nPath=" + EncodeTrashPath(source) + "\nDeletionDate=" + when + "\n";
    bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    if (written && MoveIntoTrash(source, target, keepSource)) return 0;
    ::unlink(info.c_str());
    return 1;
  }
  return 1;
}

bool IsPeExecutable(const std::string& native) {
  std::ifstream in(native, std::ios::binary);
  char mz[2] = {};
  return in.read(mz, 2) && mz[0] == 'M' && mz[1] == 'Z';
}

bool IsNativeExecutable(const std::string& native) {
  struct stat st;
  return ::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR);
}

class PosixShellImpl : public Shell {
 public:
  int DeleteFile(const std::string& path, bool allowUndo) override {
    if (allowUndo) return MoveToTrash(path, false);
    return ::unlink(ToNativePath(path).c_str()) == 0 ? 0 : 1;
  }

  int CopyToTrash(const std::string& path) override { return MoveToTrash(path, true); }

  int Execute(const std::string& verb, const std::string& file, const std::string& parameters,
              const std::string& directory) override {
    if (!verb.empty() && verb != "open") return 31;  // SE_ERR_NOASSOC
    std::string native = ToNativePath(file);
    std::vector<std::string> args;
    if (IsPeExecutable(native)) {
      args = {"wine", file};
    } else if (IsNativeExecutable(native)) {
      args = {native};
    } else {
      args = {"xdg-open", native};
    }
    if (!parameters.empty()) args.push_back(parameters);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, ToNativePath(directory).c_str());
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return 2;  // ERROR_FILE_NOT_FOUND
    return 42;  // detached: not waited for
  }
};

}  // namespace

Shell& PosixShell() {
  static PosixShellImpl shell;
  return shell;
}

}  // namespace platform
