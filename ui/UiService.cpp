#include "UiService.h"

namespace ui {

std::string& ApplicationTitle() {
  static std::string title = "zipbuilder";
  return title;
}

}  // namespace ui
