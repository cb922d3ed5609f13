// Formatting a removable drive of the prefix: the block device it is mapped to
// ("x::") with mkfs.fat when the user may write it and it is not mounted, else
// the directory it is mapped to ("x:"), emptied and labelled. Never "/", the
// home directory, the prefix, a directory holding one of them, or one inside the prefix.
#include "platform/posix/PosixFormatDrive.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/Paths.h"

extern char** environ;

namespace platform {

namespace {

namespace fs = std::filesystem;

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// `path` is `keep` or one of the directories that hold it.
bool Holds(const std::string& path, const std::string& keep) {
  if (keep.empty()) return false;
  return path == keep || path == "/" || keep.compare(0, path.size() + 1, path + "/") == 0;
}

bool Mounted(const std::string& device) {
  std::ifstream mounts("/proc/self/mounts");
  std::string source, rest;
  while (mounts >> source && std::getline(mounts, rest))
    if (RealPath(source) == device) return true;
  return false;
}

std::string DosDevice(char letter, const char* suffix) {
  return WinePrefix() + "/dosdevices/" +
         static_cast<char>(std::tolower(static_cast<unsigned char>(letter))) + suffix;
}

}  // namespace

FormatTarget FindFormatTarget(char letter) {
  FormatTarget target;
  const std::string device = RealPath(DosDevice(letter, "::"));
  struct stat st;
  if (!device.empty() && ::stat(device.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
    if (::access(device.c_str(), W_OK) == 0 && !Mounted(device))
      target = {FormatTarget::Kind::BlockDevice, device};
    return target;
  }
  const std::string directory = RealPath(DosDevice(letter, ":"));
  if (directory.empty() || !fs::is_directory(directory)) return target;
  const char* home = std::getenv("HOME");
  const std::string prefix = RealPath(WinePrefix());
  for (const std::string& keep : {std::string("/"), RealPath(home ? home : ""), prefix})
    if (Holds(directory, keep)) return target;
  // Nor anything inside the prefix: its drives, registry and programs live there.
  if (!prefix.empty() && Holds(prefix, directory)) return target;
  return {FormatTarget::Kind::Directory, directory};
}

int FormatTargetWithLabel(const FormatTarget& target, const std::string& label) {
  if (target.kind == FormatTarget::Kind::BlockDevice) {
    const char* argv[] = {"mkfs.fat", "-n", label.c_str(), target.path.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, "mkfs.fat", &actions, nullptr,
                                       const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -3;  // no mkfs.fat: not available
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
  }
  if (target.kind == FormatTarget::Kind::Directory) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(target.path, ec)) {
      fs::remove_all(entry.path(), ec);
      if (ec) return -1;
    }
    if (ec) return -1;
    std::ofstream out(target.path + "/.windows-label", std::ios::binary | std::ios::trunc);
    out << label << '\n';
    return out ? 0 : -1;
  }
  return -3;
}

}  // namespace platform
