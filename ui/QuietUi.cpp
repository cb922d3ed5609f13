#include "ui/QuietUi.h"

namespace ui {

int QuietUi::MessageBox(const std::string&, const std::string&, uint32_t style) {
  switch (style & 0xF) {
    case kMbOk: return kIdOk;
    case kMbYesNo: return kIdNo;
    case kMbAbortRetryIgnore: return kIdAbort;
    default: return kIdCancel;  // OK/Cancel, Yes/No/Cancel, Retry/Cancel
  }
}

PasswordAnswer QuietUi::PasswordDialog(const std::string&, const std::string&, const std::vector<DialogButton>&) {
  return PasswordAnswer{};  // cancelled, no text
}

}  // namespace ui
