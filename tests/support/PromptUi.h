// A scripted user interface that records its boxes like ScriptedUi and lets the
// test act when one is shown (swap disks, answer a prompt).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "ui/ScriptedUi.h"

namespace testsupport {

struct PromptUi : ui::ScriptedUi {
  std::function<void(size_t boxNumber)> onBox;
  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override {
    int answer = ScriptedUi::MessageBox(text, caption, style);
    if (onBox) onBox(boxes.size());
    return answer;
  }
};

}  // namespace testsupport
