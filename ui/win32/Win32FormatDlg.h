// The drive format dialog on Win32: a window over a FormatDialog whose controls
// carry the model's identifiers and whose clicks and typing go to the model.
// It closes itself when the model ends.
#pragma once

#include <memory>

#include "ui/FormatDialog.h"

namespace ui::win32 {

// Opens the window, modal to the thread's other windows, and returns at once.
void OpenFormatWindow(const std::shared_ptr<FormatDialog>& model);

}  // namespace ui::win32
