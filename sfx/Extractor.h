// Extracting members one by one: safe targets, the overwrite rule, passwords,
// decryption and inflation into a temporary file that replaces the target.
#pragma once

#include <optional>
#include <string>

#include "sfx/Archive.h"
#include "sfx/InputFile.h"
#include "sfx/Settings.h"
#include "sfx/Ui.h"
#include "zipformat/TraditionalCrypto.h"

namespace sfx {

struct Options {
  bool silent = false, runCommand = false, haveOverwrite = false, havePassword = false;
  Overwrite overwrite = Overwrite::Confirm;
  std::wstring directory;
  std::string password;
};

enum class Outcome { Extracted, Skipped, Failed, Cancelled };

class Extractor {
 public:
  Extractor(InputFile& file, const Ui& ui, Overwrite overwrite, std::wstring base,
            const Options& options);

  Outcome Extract(const Member& m);

  std::wstring Errors() const { return errors_; }
  int ErrorCount() const { return errorCount_; }

 private:
  Outcome Fail(const Member& m, const std::wstring& why);

  // Asks for a password until the check byte matches; false when none fits.
  bool StartDecrypting(const Member& m, const uint8_t* header,
                       std::optional<zip::TraditionalCrypto>& keys);

  Outcome WriteMember(const Member& m, uint64_t dataAt, const wchar_t* temp);

  Outcome Copy(const Member& m, uint64_t dataAt, HANDLE out);

  void ApplyAttributes(const Member& m, const std::wstring& target);

  InputFile& file_;
  const Ui& ui_;
  Overwrite overwrite_;
  std::wstring base_;
  std::string password_;
  bool havePassword_ = false, silentPassword_ = false, declined_ = false;
  std::wstring errors_;
  int errorCount_ = 0;
};

}  // namespace sfx
