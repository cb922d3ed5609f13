// Text helpers of the installer: reading descriptor and version-file lines, and
// turning dotted version texts into numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace platform {
class FileSystem;
}

namespace installer {

// An open text file, read line by line as the installer reads its descriptor and
// version file.
class TextFile {
 public:
  TextFile(platform::FileSystem& files, const std::string& path);
  ~TextFile();
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  bool IsOpen() const;
  void Close();

 private:
  friend std::string ReadLine(TextFile& file);
  int NextChar();  // the next byte, or -1 at the end or on a read error
  int PeekChar(size_t ahead = 0);  // looks `ahead` bytes past the next one

  platform::FileSystem& files_;
  int handle_;
  std::string buffer_;
  size_t position_ = 0;
  bool atEnd_ = false;
  bool readFailed_ = false;  // a read call failed: the line being read is lost
};

// One line of at most 254 characters: a longer line is returned in pieces by
// successive calls. A carriage return before the line feed is dropped, one line feed
// removed. The empty text at the end of the file or after a read error.
std::string ReadLine(TextFile& file);

// "0" becomes ""; any other text loses every "." and ",".
std::string StripVersion(const std::string& text);

// The class library's strict text-to-integer conversion failed.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Strict conversion: leading blanks, one sign, then decimal digits, or hexadecimal
// digits after "$", "x", "X", "0x" or "0X"; nothing may follow. Signed 32-bit.
// Throws EConvertError for anything else, the empty text included.
int32_t StrToInt(const std::string& text);

// The "%i" scanning conversion: skips white space, takes a sign, reads "0x" as
// hexadecimal and a leading "0" as octal, stops at the first character that does
// not fit. Nullopt when no digit could be read.
std::optional<int32_t> ScanInteger(const std::string& text);

}  // namespace installer
