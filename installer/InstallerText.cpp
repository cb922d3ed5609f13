// Line reading and version numbers of the installer.
#include "installer/InstallerText.h"

#include <cctype>
#include <limits>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace installer {

namespace {
constexpr size_t kLineBufferSize = 255;  // one byte stays for the terminator
constexpr size_t kReadChunk = 4096;
}  // namespace

TextFile::TextFile(platform::FileSystem& files, const std::string& path)
    : files_(files),
      handle_(files.Open(path, platform::Access::Read, platform::Share::Read,
                         platform::Disposition::OpenExisting)) {}

TextFile::~TextFile() { Close(); }

bool TextFile::IsOpen() const { return handle_ != platform::kInvalidHandle; }

void TextFile::Close() {
  if (IsOpen()) files_.Close(handle_);
  handle_ = platform::kInvalidHandle;
}

int TextFile::PeekChar(size_t ahead) {
  while (position_ + ahead >= buffer_.size()) {
    if (atEnd_ || !IsOpen()) return -1;
    buffer_.erase(0, position_);
    position_ = 0;
    size_t kept = buffer_.size();
    buffer_.resize(kept + kReadChunk);
    int64_t got = files_.Read(handle_, buffer_.data() + kept, kReadChunk);
    buffer_.resize(kept + (got > 0 ? static_cast<size_t>(got) : 0));
    if (got <= 0) atEnd_ = true;
    if (got < 0) readFailed_ = true;
  }
  return static_cast<unsigned char>(buffer_[position_ + ahead]);
}

int TextFile::NextChar() {
  int c = PeekChar();
  if (c >= 0) ++position_;
  return c;
}

std::string ReadLine(TextFile& file) {
  std::string line;
  while (line.size() < kLineBufferSize - 1) {
    int c = file.NextChar();
    // As with a failed line read of the C library, a read error loses the
    // whole piece rather than handing back the part read before it.
    if (c < 0) return file.readFailed_ ? std::string() : line;
    if (c == '\r' && file.PeekChar() == '\n') continue;  // text mode: CR LF reads as LF
    if (c == '\n') return line;
    line += static_cast<char>(c);
  }
  // The buffer is full: a line end right here still belongs to this line, so a
  // line of exactly 254 characters is not followed by an empty piece.
  if (file.PeekChar() == '\n') {
    file.NextChar();
  } else if (file.PeekChar() == '\r' && file.PeekChar(1) == '\n') {
    file.NextChar();
    file.NextChar();
  }
  return line;
}

std::string StripVersion(const std::string& text) {
  if (text == "0") return "";
  std::string out;
  for (char c : text)
    if (c != '.' && c != ',') out += c;
  return out;
}

using platform::HexDigit;

int32_t StrToInt(const std::string& text) {
  auto fail = [&]() -> int32_t { throw EConvertError("'" + text + "' is not a valid integer value"); };
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  bool hex = false;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == text.size()) return fail();
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    int digit = hex ? HexDigit(text[i]) : (std::isdigit(static_cast<unsigned char>(text[i])) ? text[i] - '0' : -1);
    if (digit < 0) return fail();
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (value > 0xFFFFFFFFull) return fail();
  }
  if (hex) {
    // Hexadecimal covers the whole 32-bit pattern, as the class library reads it.
    int32_t bits = static_cast<int32_t>(static_cast<uint32_t>(value));
    return negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(bits)) : bits;
  }
  if (negative) {
    if (value > 2147483648ull) return fail();
    return static_cast<int32_t>(-static_cast<int64_t>(value));
  }
  if (value > 2147483647ull) return fail();
  return static_cast<int32_t>(value);
}

std::optional<int32_t> ScanInteger(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '0') {
    if (i + 2 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') && HexDigit(text[i + 2]) >= 0) {
      base = 16;
      i += 2;
    } else {
      base = 8;
    }
  }
  int64_t value = 0;
  bool any = false;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size(); ++i) {
    int digit = HexDigit(text[i]);
    if (digit < 0 || digit >= base) break;
    any = true;
    value = value * base + digit;
    if (value > kLimit) value = kLimit;  // saturate, as strtol does
  }
  if (!any) return std::nullopt;
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(value > kLimit - 1 ? kLimit - 1 : value);
}

}  // namespace installer
