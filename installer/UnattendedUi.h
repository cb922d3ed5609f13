// The user interface of an unattended run: every message box becomes one line
// "caption: text" on the output stream (line feeds written as \n) and is answered
// with its default button; password dialogs are cancelled.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "ui/UiService.h"

namespace platform {
struct Env;
}

namespace installer {

class UnattendedUi : public ui::UiService {
 public:
  explicit UnattendedUi(std::ostream& out) : out_(out) {}

  // Password dialogs keep the service's answer: cancelled.
  int MessageBox(const std::string& text, const std::string& caption, uint32_t style) override;

 private:
  std::ostream& out_;
};

// Runs start-up and, when it leaves OK enabled, the installation, without a window.
// Returns the exit status: 0 installed; 1 start-up ended with a fatal message, found
// no descriptor or no existing installation directory (each said in a line);
// 2 start-up left OK disabled (the reason said in a line); 4 the installation failed.
// `env` null means the real platform.
// `log`, when set, is told each step.
// `packagePublicKey`, when set, is the key whose signature the package must carry.
int RunUnattended(platform::Env* env, ui::UiService& ui, const std::string& programPath,
                  std::function<void(const std::string&)> log = {}, const std::string& packagePublicKey = "");

}  // namespace installer
