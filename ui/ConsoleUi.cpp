#include "ui/ConsoleUi.h"

#include <cctype>
#include <iostream>

#include "ui/FormatDialog.h"
#include "platform/Terminal.h"

namespace ui {

int ConsoleUi::MessageBox(const std::string& text, const std::string& caption, uint32_t style) {
  uint32_t kind = style & 0xF;
  if (kind == kMbOk && !ShowNotices) return kIdOk;
  // Captions, prompts and labels may carry names from an archive or a disk:
  // everything printed is made safe for the terminal.
  std::cerr << (caption.empty() ? "" : platform::EscapedText(caption) + ": ") << platform::EscapedText(text, true)
            << '\n';
  if (kind == kMbOk) return kIdOk;
  bool yesNo = kind == kMbYesNo || kind == kMbYesNoCancel;
  // Nobody to ask: cancel where the box offers it (a "No" would only bring the
  // same question back), else "No".
  const int unanswered = kind == kMbYesNo ? kIdNo : kIdCancel;
  if (!platform::StdinIsTerminal()) return unanswered;
  const char* choices = kind == kMbYesNoCancel   ? "[y(es)/n(o)/c(ancel)] "
                        : kind == kMbYesNo       ? "[y/n] "
                        : kind == kMbRetryCancel ? "[r(etry)/c(ancel)] "
                                                 : "[o(k)/c(ancel)] ";
  std::cerr << choices << std::flush;
  std::string line;
  if (!std::getline(std::cin, line) || line.empty()) return unanswered;
  char c = static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
  if (yesNo) return c == 'y' ? kIdYes : c == 'n' ? kIdNo : unanswered;
  if (kind == kMbRetryCancel) return c == 'r' ? kIdRetry : kIdCancel;
  return c == 'o' ? kIdOk : kIdCancel;
}

PasswordAnswer ConsoleUi::PasswordDialog(const std::string& caption, const std::string& prompt,
                                         const std::vector<DialogButton>&) {
  PasswordAnswer answer;
  if (!platform::StdinIsTerminal()) return answer;  // nobody to ask: cancelled
  // The prompt alone says what is asked ("Enter Password: "); the caption,
  // a window's title, would repeat it.
  std::string shown = prompt.empty() ? caption : prompt;
  while (!shown.empty() && (shown.back() == ' ' || shown.back() == ':')) shown.pop_back();
  std::cerr << platform::EscapedText(shown, true) << ": " << std::flush;
  std::string line;
  if (!platform::ReadHiddenLine(line)) return answer;
  if (line.size() > 80) line.resize(80);
  answer.modalResult = kIdOk;
  answer.text = line;
  return answer;
}

void ConsoleUi::OpenFormatDialog(const std::shared_ptr<FormatDialog>& dialog) {
  std::cerr << "Format drive " << platform::EscapedText(dialog->DriveName())
            << ": every file on the disk will be erased.\n";
}

void ConsoleUi::FormatDialogIdle(FormatDialog& dialog) {
  if (dialog.FormatRan() || !platform::StdinIsTerminal()) {
    if (dialog.FormatRan()) std::cerr << platform::EscapedText(dialog.Status()) << '\n';
    dialog.Click(kFormatClose);
    return;
  }
  std::cerr << "Format drive " << platform::EscapedText(dialog.DriveName()) << " with the label \""
            << platform::EscapedText(dialog.Text(kFormatLabel)) << "\"? [s(tart)/c(ancel)] " << std::flush;
  std::string line;
  const bool start = std::getline(std::cin, line) && !line.empty() && std::tolower(line[0]) == 's';
  dialog.Click(start ? kFormatStart : kFormatClose);
}

}  // namespace ui
