// The component's user interface when its program installs none: nothing is
// shown or asked, and every box and dialog gets the service's own answer, that
// of a user who is not there (UiService.h). Programs that want boxes on the
// console install ConsoleUi.
#pragma once

#include "ui/UiService.h"

namespace ui {

class QuietUi final : public UiService {};

}  // namespace ui
