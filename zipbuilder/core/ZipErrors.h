// EZipBuilder: the exception every archive operation raises for a failure it
// detects; the operation's boundary turns it into a report.
#pragma once

#include <stdexcept>
#include <string>

#include "zipbuilder/core/ZipMessageTable.h"

// "ZipMsgxx.res is probably not linked to the executable\nMissing String ID is: "
extern const char* const kMissingMessageText;

// The text of message `id`, or the fallback text followed by `id` when missing.
std::string ZipMessageText(int id);
// Fills "%s", "%d" and "%.1d" placeholders of `pattern` in order.
std::string FormatZipMessage(const std::string& pattern, const std::string* texts, int textCount,
                             const int* numbers, int numberCount);

class EZipBuilder : public std::runtime_error {
 public:
  explicit EZipBuilder(int id, bool display = true);
  EZipBuilder(int id, int value);
  EZipBuilder(int id, const std::string& text);
  EZipBuilder(int id, const std::string& text1, const std::string& text2);
  // Message `id` followed by ": " and `detail`, where the table's text names the
  // fault only in general.
  static EZipBuilder WithDetail(int id, const std::string& detail);

  int Ident() const { return ident_; }
  bool DisplayMsg() const { return displayMsg_; }
  int HelpContext() const { return 0; }

 private:
  EZipBuilder(int id, std::string text, bool display);
  bool displayMsg_;
  int ident_;
};
