// The stub's windows: messages, questions, progress and its two dialogs.
#pragma once

// clang-format off
#include <windows.h>  // first: the other Windows headers build on it
// clang-format on

#include <string>
#include <vector>

#include "sfx/Archive.h"
#include "sfx/Settings.h"

namespace sfx {

struct Ui {
  bool silent = false;
  std::wstring caption;
  HWND progress = nullptr;

  // A message box, or a line on the error output when silent.
  void Error(const std::wstring& text) const;
  int Ask(const std::wstring& text, UINT buttons) const;
  // Shows the member being extracted and how far it got, keeping the window alive.
  void Progress(const std::wstring& name, int percent) const;

 private:
  void Pump() const;
};

struct MainDialogState {
  const Settings* settings;
  const std::vector<Member>* members;
  std::wstring caption, directory;
  Overwrite overwrite;
  std::vector<bool> chosen;
};

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

struct PasswordState {
  std::wstring caption, prompt, password;
};

INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace sfx
