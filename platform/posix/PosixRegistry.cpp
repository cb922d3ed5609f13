// The registry as Wine keeps it: the text files system.reg, user.reg and
// userdef.reg of the prefix. Each file is parsed once and parsed again when its
// modification time (or size) changes. The files are never written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/CodePage.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/posix/RegistryFile.h"

namespace platform {
namespace {

using regfile::Hive;
using regfile::Key;
using regfile::kRegExpandSz;
using regfile::kRegLink;
using regfile::kRegSz;
using regfile::ParseHive;
using regfile::SplitKey;

bool ReadAll(int fd, std::string& text) {
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text.append(buffer, static_cast<size_t>(n));
  }
}

class PosixRegistryImpl : public Registry {
 public:
  bool KeyExists(RegistryRoot root, const std::string& key) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return Locate(root, key).has_value();
  }

  std::optional<RegValue> ReadString(RegistryRoot root, const std::string& key,
                                     const std::string& valueName) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto where = Locate(root, key);
    if (!where || !where->key) return std::nullopt;
    auto v = where->key->values.find(RegistryFoldCase(valueName));
    if (v == where->key->values.end()) return std::nullopt;
    RegValue result;
    result.isString = v->second.type == kRegSz || v->second.type == kRegExpandSz;
    if (result.isString) result.text = v->second.text;
    return result;
  }

 private:
  struct Location {
    std::shared_ptr<const Hive> hive;  // keeps `key` alive; null for the root of HKEY_USERS itself
    const Key* key = nullptr;
  };
  struct Cached {
    struct timespec mtime {};
    off_t size = 0;
    ino_t inode = 0;
    std::shared_ptr<const Hive> hive;
  };

  static constexpr const char* kFiles[] = {"system.reg", "user.reg", "userdef.reg"};

  // The parsed file `name` of the current prefix, or null when it cannot be read.
  // Only a regular file (or a link to one) is read; opening never blocks on a FIFO.
  std::shared_ptr<const Hive> Load(const std::string& name) {
    std::string path = WinePrefix() + "/" + name;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      if (fd >= 0) ::close(fd);
      cache_.erase(path);
      return nullptr;
    }
    auto it = cache_.find(path);
    if (it != cache_.end() && it->second.mtime.tv_sec == st.st_mtim.tv_sec &&
        it->second.mtime.tv_nsec == st.st_mtim.tv_nsec && it->second.size == st.st_size &&
        it->second.inode == st.st_ino) {
      ::close(fd);
      return it->second.hive;
    }
    std::string text;
    bool readFailed = !ReadAll(fd, text);
    ::close(fd);
    if (readFailed) return nullptr;
    auto hive = ParseHive(text);
    if (hive->root.empty()) {  // no header line: assume Wine's usual places
      if (name == std::string("system.reg")) hive->root = {"registry", "machine"};
      if (name == std::string("userdef.reg")) hive->root = {"registry", "user", ".default"};
    }
    Cached entry;
    entry.mtime = st.st_mtim;
    entry.size = st.st_size;
    entry.inode = st.st_ino;
    entry.hive = hive;
    cache_[path] = entry;
    return hive;
  }

  std::optional<Location> Locate(RegistryRoot root, const std::string& key) {
    std::vector<std::string> parts = SplitKey(key);
    std::vector<std::string> base;
    const char* file = nullptr;
    switch (root) {
      case HKEY_LOCAL_MACHINE:
        file = "system.reg";
        break;
      case HKEY_CURRENT_USER:
        file = "user.reg";
        break;
      case HKEY_CLASSES_ROOT:
        file = "system.reg";
        base = {"software", "classes"};
        break;
      case HKEY_CURRENT_CONFIG:
        file = "system.reg";
        base = {"system", "currentcontrolset", "hardware profiles", "current"};
        break;
      case HKEY_USERS: {
        if (parts.empty()) return Location{};
        std::vector<std::string> full = {"registry", "user"};
        full.insert(full.end(), parts.begin(), parts.end());
        return FromAbsolute(full, 0);
      }
      default:
        return std::nullopt;
    }
    auto hive = Load(file);
    if (!hive) return std::nullopt;
    base.insert(base.end(), parts.begin(), parts.end());
    return Follow(hive, base, 0);
  }

  // An absolute path {"registry", "machine", ...} in whichever file holds it.
  std::optional<Location> FromAbsolute(const std::vector<std::string>& full, int depth) {
    for (const char* name : kFiles) {
      auto hive = Load(name);
      if (!hive || hive->root.empty() || hive->root.size() > full.size()) continue;
      if (!std::equal(hive->root.begin(), hive->root.end(), full.begin())) continue;
      return Follow(
          hive,
          std::vector<std::string>(full.begin() + static_cast<long>(hive->root.size()), full.end()),
          depth);
    }
    return std::nullopt;
  }

  // Walks `parts` down from the file's root, going through symbolic links.
  std::optional<Location> Follow(std::shared_ptr<const Hive> hive, std::vector<std::string> parts,
                                 int depth) {
    if (depth > 16) return std::nullopt;  // a loop of links
    const Key* key = &hive->top;
    for (size_t n = 0; n < parts.size(); ++n) {
      key = key->Subkey(parts[n]);
      if (!key) return std::nullopt;
      if (!key->isLink) continue;
      auto target = key->values.find("symboliclinkvalue");
      if (target == key->values.end() || target->second.type != kRegLink) continue;
      std::vector<std::string> full = SplitKey(target->second.text);
      full.insert(full.end(), parts.begin() + static_cast<long>(n) + 1, parts.end());
      return FromAbsolute(full, depth + 1);
    }
    return Location{hive, key};
  }

  std::mutex mutex_;
  std::map<std::string, Cached> cache_;
};

}  // namespace

Registry& PosixRegistry() {
  static PosixRegistryImpl registry;
  return registry;
}

}  // namespace platform
