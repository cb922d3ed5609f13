// One registry file of the prefix (system.reg, user.reg, userdef.reg) parsed
// into a tree of keys with their values. Names are kept folded
// (RegistryFoldCase) so that lookups ignore letter case.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform::regfile {

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegLink = 6;
constexpr uint32_t kRegUnknown = 0xFFFFFFFFu;

struct Value {
  uint32_t type = kRegUnknown;
  std::string text;  // strings and link targets, UTF-8
};

struct Key {
  bool isLink = false;
  std::unordered_map<std::string, Value> values;  // by folded name; "" is the default value
  std::unordered_map<std::string, std::unique_ptr<Key>> subkeys;  // by folded name

  const Key* Subkey(const std::string& folded) const {
    auto it = subkeys.find(folded);
    return it == subkeys.end() ? nullptr : it->second.get();
  }
};

struct Hive {
  // Components of the file's place in the registry namespace, folded:
  // {"registry", "machine"} for system.reg, from its ";; All keys relative to" line.
  std::vector<std::string> root;
  // The keys as a tree, so that a key line costs its own length, however deep it
  // lies. Ancestors the file does not list (Wine omits keys with only subkeys)
  // exist as well.
  Key top;
};

// Parses the text of one file; lines it does not understand are skipped.
std::shared_ptr<Hive> ParseHive(const std::string& text);

// Splits a key path at "\" ("/" is an ordinary character of key names),
// skipping empty components as Wine does, and folds the case.
std::vector<std::string> SplitKey(const std::string& key);

}  // namespace platform::regfile
