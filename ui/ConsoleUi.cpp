#include "ConsoleUi.h"

#include <cctype>
#include <iostream>

#include "platform/Terminal.h"

namespace ui {

int ConsoleUi::MessageBox(const std::string& text, const std::string& caption, uint32_t style) {
  std::cerr << (caption.empty() ? "" : caption + ": ") << text << '\n';
  uint32_t kind = style & 0xF;
  if (kind == kMbOk) return kIdOk;
  bool yesNo = kind == kMbYesNo || kind == kMbYesNoCancel;
  if (!platform::StdinIsTerminal()) return yesNo ? kIdNo : kIdCancel;
  std::cerr << (yesNo ? "[y/n] " : "[o(k)/c(ancel)] ") << std::flush;
  std::string line;
  if (!std::getline(std::cin, line) || line.empty()) return yesNo ? kIdNo : kIdCancel;
  char c = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
  if (yesNo) return c == 'y' ? kIdYes : kIdNo;
  return c == 'o' ? kIdOk : kIdCancel;
}

PasswordAnswer ConsoleUi::PasswordDialog(const std::string& caption, const std::string& prompt,
                                         const std::vector<DialogButton>&) {
  PasswordAnswer answer;
  if (!platform::StdinIsTerminal()) return answer;  // nobody to ask: cancelled
  std::cerr << caption << ": " << prompt << std::flush;
  std::string line;
  if (!platform::ReadHiddenLine(line)) return answer;
  if (line.size() > 80) line.resize(80);
  answer.modalResult = kIdOk;
  answer.text = line;
  return answer;
}

}  // namespace ui
