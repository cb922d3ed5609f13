// Parsing the registry files of a prefix into keys and values.
//
// The registry file format, as Wine's server writes it:
//   WINE REGISTRY Version 2
//   ;; All keys relative to \\Machine
//   [Software\\Wine\\Drives] 1700000000
//   #time=1d9...
//   @="default value"
//   "Name"="text with \" \\ \n \x00e9 escapes"
//   "Expand"=str(2):"%SystemRoot%"
//   "Number"=dword:00000001
//   "Bytes"=hex:01,02,03    (a long hex list goes on after a "\" at line end)
// and a symbolic link key carries "#link" and a hex(6) "SymbolicLinkValue" with
// the target's full path (\Registry\Machine\...), as System\CurrentControlSet does.
#include "platform/posix/RegistryFile.h"

#include <sstream>

#include "platform/CodePage.h"
#include "platform/Registry.h"

namespace platform::regfile {
namespace {

// ---- text helpers ---------------------------------------------------------

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads an escaped text as Wine's parse_strW does, from `pos` up to the first
// unescaped `end` character, into UTF-16 code units. On success `pos` is just
// past `end`. Escapes: \a \b \e \f \n \r \t \v, \xH to \xHHHH (one UTF-16 code
// unit), \0 to \377 (octal), and \c for any other c (so \\ \" \[ \]). Bytes of
// 0x80 and above outside escapes are taken as UTF-8 (Latin-1 where invalid).
bool ParseEscaped(const std::string& line, size_t& pos, char end, std::u16string& out) {
  while (pos < line.size()) {
    char c = line[pos];
    if (c == end) {
      ++pos;
      return true;
    }
    if (c != '\\') {
      uint32_t cp = 0;
      size_t len = DecodeUtf8(line, pos, cp);
      if (len == 0) {
        cp = static_cast<unsigned char>(c);
        len = 1;
      }
      AppendUtf16(out, cp);
      pos += len;
      continue;
    }
    if (++pos >= line.size()) return false;
    c = line[pos++];
    switch (c) {
      case 'a':
        out += u'\a';
        break;
      case 'b':
        out += u'\b';
        break;
      case 'e':
        out += char16_t{0x1B};
        break;
      case 'f':
        out += u'\f';
        break;
      case 'n':
        out += u'\n';
        break;
      case 'r':
        out += u'\r';
        break;
      case 't':
        out += u'\t';
        break;
      case 'v':
        out += u'\v';
        break;
      case 'x': {
        uint32_t unit = 0;
        int digits = 0;
        while (digits < 4 && pos < line.size() && HexDigit(line[pos]) >= 0) {
          unit = unit * 16 + static_cast<uint32_t>(HexDigit(line[pos++]));
          ++digits;
        }
        if (digits == 0)
          out += u'x';
        else
          out += static_cast<char16_t>(unit);
        break;
      }
      default:
        if (c >= '0' && c <= '7') {
          uint32_t unit = static_cast<uint32_t>(c - '0');
          for (int k = 1; k < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7'; ++k)
            unit = unit * 8 + static_cast<uint32_t>(line[pos++] - '0');
          out += static_cast<char16_t>(unit);
        } else {
          out += static_cast<char16_t>(static_cast<unsigned char>(c));
        }
    }
  }
  return false;
}

uint32_t FoldCodePoint(uint32_t cp) {
  if (cp >= 'A' && cp <= 'Z') return cp + 32;
  if (cp < 0x80) return cp;
  if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 32;
  if (cp >= 0x100 && cp <= 0x137) return cp | 1;
  if (cp >= 0x139 && cp <= 0x148) return (cp & 1) ? cp + 1 : cp;
  if (cp >= 0x14A && cp <= 0x177) return cp | 1;
  if (cp == 0x178) return 0xFF;
  if (cp >= 0x179 && cp <= 0x17E) return (cp & 1) ? cp + 1 : cp;
  if (cp >= 0x391 && cp <= 0x3A9 && cp != 0x3A2) return cp + 32;
  if (cp >= 0x400 && cp <= 0x40F) return cp + 80;
  if (cp >= 0x410 && cp <= 0x42F) return cp + 32;
  return cp;
}

// Windows refuses to nest keys deeper than this; a deeper key line of a file is
// skipped with its values, which bounds what one line may cost.
constexpr size_t kMaxKeyDepth = 512;

std::string StringFromUnits(std::u16string units) {
  size_t nul = units.find(u'\0');
  if (nul != std::u16string::npos) units.resize(nul);
  return Utf16ToUtf8(units);
}

// Reads a hex value's bytes "01,02,\" plus continuation lines.
std::vector<uint8_t> ParseHexBytes(const std::vector<std::string>& lines, size_t& index,
                                   size_t pos) {
  std::vector<uint8_t> bytes;
  std::string line = lines[index];
  for (;;) {
    int high = -1;
    bool continued = false;
    for (; pos < line.size(); ++pos) {
      char c = line[pos];
      int d = HexDigit(c);
      if (d >= 0) {
        if (high < 0) {
          high = d;
        } else {
          bytes.push_back(static_cast<uint8_t>(high * 16 + d));
          high = -1;
        }
      } else if (c == '\\') {
        continued = true;
        break;
      } else if (c == ',' || c == ' ' || c == '\t') {
        if (high >= 0) bytes.push_back(static_cast<uint8_t>(high));
        high = -1;
      } else {
        break;  // anything else ends the value
      }
    }
    if (high >= 0) bytes.push_back(static_cast<uint8_t>(high));
    if (!continued || index + 1 >= lines.size()) break;
    line = lines[++index];
    pos = 0;
  }
  return bytes;
}

std::u16string UnitsFromBytes(const std::vector<uint8_t>& bytes) {
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    units += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
  return units;
}

// Parses the data after "=" on lines[index] (advancing index over continuation lines).
Value ParseData(const std::vector<std::string>& lines, size_t& index, size_t pos) {
  const std::string& line = lines[index];
  Value value;
  auto startsWith = [&](const char* word) {
    return line.compare(pos, std::string(word).size(), word) == 0;
  };
  auto parseTypeNumber = [&](uint32_t& type) {  // at "(" of "str(2)" or "hex(7)"
    if (pos >= line.size() || line[pos] != '(') return false;
    ++pos;
    uint32_t n = 0;
    int digits = 0;
    while (pos < line.size() && HexDigit(line[pos]) >= 0) {
      n = n * 16 + static_cast<uint32_t>(HexDigit(line[pos++]));
      ++digits;
    }
    if (!digits || pos + 1 >= line.size() || line[pos] != ')' || line[pos + 1] != ':') return false;
    pos += 2;
    type = n;
    return true;
  };
  if (pos < line.size() && line[pos] == '"') {
    ++pos;
    std::u16string units;
    ParseEscaped(line, pos, '"', units);
    value.type = kRegSz;
    value.text = StringFromUnits(units);
  } else if (startsWith("str(")) {
    pos += 3;
    uint32_t type = kRegUnknown;
    if (parseTypeNumber(type) && pos < line.size() && line[pos] == '"') {
      ++pos;
      std::u16string units;
      ParseEscaped(line, pos, '"', units);
      value.type = type;
      if (type == kRegSz || type == kRegExpandSz) value.text = StringFromUnits(units);
    }
  } else if (startsWith("dword:")) {
    value.type = kRegDword;
  } else if (startsWith("hex:") || startsWith("hex(")) {
    uint32_t type = kRegBinary;
    pos += 3;
    if (line[pos] == ':')
      ++pos;
    else if (!parseTypeNumber(type))
      return value;
    std::vector<uint8_t> bytes = ParseHexBytes(lines, index, pos);
    value.type = type;
    // A string that Wine could not write as text (odd length, no terminating
    // NUL) is written as hex(1) or hex(2): it is still a string.
    if (type == kRegSz || type == kRegExpandSz) value.text = StringFromUnits(UnitsFromBytes(bytes));
    if (type == kRegLink) value.text = Utf16ToUtf8(UnitsFromBytes(bytes));
  }
  return value;
}

// The key at `parts` below `top`, made with its ancestors where missing.
Key& AddWithAncestors(Key& top, const std::vector<std::string>& parts) {
  Key* key = &top;
  for (const std::string& part : parts) {
    std::unique_ptr<Key>& child = key->subkeys[part];
    if (!child) child = std::make_unique<Key>();
    key = child.get();
  }
  return *key;
}

}  // namespace

std::vector<std::string> SplitKey(const std::string& key) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : key) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(RegistryFoldCase(part));
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(RegistryFoldCase(part));
  return parts;
}

std::shared_ptr<Hive> ParseHive(const std::string& text) {
  auto hive = std::make_shared<Hive>();
  std::vector<std::string> lines;
  {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
  }
  const std::string kRootLine = ";; All keys relative to ";
  Key* current = nullptr;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty()) continue;
    if (line.compare(0, kRootLine.size(), kRootLine) == 0) {
      size_t pos = kRootLine.size();
      std::u16string units;
      ParseEscaped(line + '\n', pos, '\n', units);
      hive->root = SplitKey("Registry\\" + Utf16ToUtf8(units));
      continue;
    }
    if (line[0] == '[') {
      size_t pos = 1;
      std::u16string units;
      if (!ParseEscaped(line, pos, ']', units)) {
        current = nullptr;
        continue;
      }
      std::vector<std::string> parts = SplitKey(Utf16ToUtf8(units));
      current = parts.size() <= kMaxKeyDepth ? &AddWithAncestors(hive->top, parts) : nullptr;
      continue;
    }
    if (line[0] == '#') {
      if (current && line.compare(0, 5, "#link") == 0) current->isLink = true;
      continue;
    }
    if (!current || (line[0] != '"' && line[0] != '@')) continue;
    std::string name;
    size_t pos = 1;
    if (line[0] == '"') {
      std::u16string units;
      if (!ParseEscaped(line, pos, '"', units)) continue;
      name = RegistryFoldCase(Utf16ToUtf8(units));
    }
    if (pos >= line.size() || line[pos] != '=') continue;
    current->values[name] = ParseData(lines, i, pos + 1);
  }
  return hive;
}

}  // namespace platform::regfile

namespace platform {

std::string RegistryFoldCase(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size();) {
    uint32_t cp = 0;
    size_t len = DecodeUtf8(name, i, cp);
    if (len == 0) {
      out += name[i++];
      continue;
    }
    AppendUtf8(out, regfile::FoldCodePoint(cp));
    i += len;
  }
  return out;
}

}  // namespace platform
