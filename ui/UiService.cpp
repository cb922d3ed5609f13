#include "ui/UiService.h"

#include "ui/FormatDialog.h"

namespace ui {

void UiService::OpenFormatDialog(const std::shared_ptr<FormatDialog>&) {}

void UiService::FormatDialogIdle(FormatDialog& dialog) { dialog.Click(kFormatClose); }

std::string& ApplicationTitle() {
  static std::string title = "zipbuilder";
  return title;
}

}  // namespace ui
