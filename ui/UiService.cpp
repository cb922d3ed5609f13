#include "ui/UiService.h"

#include "ui/FormatDialog.h"

namespace ui {

int UiService::MessageBox(const std::string&, const std::string&, uint32_t style) {
  switch (style & 0xF) {
    case kMbOk: return kIdOk;
    case kMbYesNo: return kIdNo;
    case kMbAbortRetryIgnore: return kIdAbort;
    default: return kIdCancel;  // OK/Cancel, Yes/No/Cancel, Retry/Cancel
  }
}

PasswordAnswer UiService::PasswordDialog(const std::string&, const std::string&, const std::vector<DialogButton>&) {
  return PasswordAnswer{};  // cancelled, no text
}

void UiService::OpenFormatDialog(const std::shared_ptr<FormatDialog>&) {}

void UiService::FormatDialogIdle(FormatDialog& dialog) { dialog.Click(kFormatClose); }

std::string& ApplicationTitle() {
  static std::string title = "zipbuilder";
  return title;
}

}  // namespace ui
