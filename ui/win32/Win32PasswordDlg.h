// The password dialog on Win32: a prompt, a masked entry of at most 80
// characters and one button per DialogButton, laid out as the Qt dialog.
#pragma once

#include <string>
#include <vector>

#include "ui/UiService.h"

namespace ui::win32 {

// Modal to the thread's windows. The text is kept only when OK ended it; the
// close box and Escape answer Cancel.
PasswordAnswer ShowPasswordDialog(const std::string& caption, const std::string& prompt,
                                  const std::vector<DialogButton>& buttons);

}  // namespace ui::win32
