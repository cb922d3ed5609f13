// An in-memory registry for tests: keys and values are set by the test, names
// compare case-insensitively as in the real one.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/Registry.h"

namespace platform {

class FakeRegistry : public Registry {
 public:
  // Creates `key` (and its ancestors) under `root`.
  void AddKey(RegistryRoot root, const std::string& key) {
    std::vector<std::string> parts = Split(key);
    for (size_t n = 0; n <= parts.size(); ++n) keys_[{root, Join(parts, n)}];
  }
  // A string value (REG_SZ); valueName "" is the default value.
  void SetString(RegistryRoot root, const std::string& key, const std::string& valueName,
                 const std::string& text) {
    Set(root, key, valueName, RegValue{true, text});
  }
  // A value of another type (REG_DWORD, REG_BINARY ...).
  void SetOther(RegistryRoot root, const std::string& key, const std::string& valueName) {
    Set(root, key, valueName, RegValue{false, {}});
  }
  void Clear() { keys_.clear(); }

  // The root itself (the empty key) always exists.
  bool KeyExists(RegistryRoot root, const std::string& key) override {
    std::vector<std::string> parts = Split(key);
    return parts.empty() || keys_.count({root, Join(parts, parts.size())}) != 0;
  }

  std::optional<RegValue> ReadString(RegistryRoot root, const std::string& key,
                                     const std::string& valueName) override {
    std::vector<std::string> parts = Split(key);
    auto k = keys_.find({root, Join(parts, parts.size())});
    if (k == keys_.end()) return std::nullopt;
    auto v = k->second.find(RegistryFoldCase(valueName));
    if (v == k->second.end()) return std::nullopt;
    return v->second;
  }

 private:
  void Set(RegistryRoot root, const std::string& key, const std::string& valueName,
           RegValue value) {
    AddKey(root, key);
    std::vector<std::string> parts = Split(key);
    keys_[{root, Join(parts, parts.size())}][RegistryFoldCase(valueName)] = std::move(value);
  }
  static std::vector<std::string> Split(const std::string& key) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : key + "\\") {
      if (c != '\\') {
        part += c;
      } else if (!part.empty()) {
        parts.push_back(RegistryFoldCase(part));
        part.clear();
      }
    }
    return parts;
  }
  static std::string Join(const std::vector<std::string>& parts, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) out += (i ? "\\" : "") + parts[i];
    return out;
  }

  std::map<std::pair<RegistryRoot, std::string>, std::map<std::string, RegValue>> keys_;
};

}  // namespace platform
