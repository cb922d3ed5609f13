// Test helpers: a temporary directory removed at the end of the test, and an
// environment variable set for the test's duration.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace testsupport {

class TempDir {
 public:
  TempDir() {
#ifdef _WIN32
    // A fresh name below the temporary directory (Windows has no mkdtemp).
    static unsigned counter = 0;
    const auto base = std::filesystem::temp_directory_path();
    for (unsigned attempt = 0; attempt < 1000 && path_.empty(); ++attempt) {
      const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
      const std::string name = "zbtest-" + std::to_string(tick % 1000000007) + "-" + std::to_string(++counter);
      std::error_code ec;
      if (std::filesystem::create_directory(base / name, ec)) path_ = (base / name).string();
    }
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "zbtest-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    if (made) path_ = made;
#endif
  }
  ~TempDir() {
    std::error_code ec;
    // Read-only files and directories are removed too.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Sets (or, with nullopt, unsets) an environment variable until destroyed.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const std::optional<std::string>& value) {
#ifdef _WIN32
    ::_putenv_s(name_.c_str(), value ? value->c_str() : "");  // "" removes it
#else
    if (value)
      ::setenv(name_.c_str(), value->c_str(), 1);
    else
      ::unsetenv(name_.c_str());
#endif
  }

  std::string name_;
  std::optional<std::string> old_;
};

// Whether files keep their POSIX permission bits; Windows keeps only read-only.
#ifdef _WIN32
inline constexpr bool kPosixPermissions = false;
#else
inline constexpr bool kPosixPermissions = true;
#endif

// `path` (UTF-8, as every path inside the system) for the standard library,
// which takes a plain string in the ANSI code page on Windows.
inline std::filesystem::path Utf8Path(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

inline void WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream out(Utf8Path(path), std::ios::binary | std::ios::trunc);
  out << text;
}

inline std::string ReadTextFile(const std::string& path) {
  std::ifstream in(Utf8Path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace testsupport
