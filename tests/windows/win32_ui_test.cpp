// The Win32 user interface under Wine: message boxes with the buttons their
// style asks for, the password dialog's answers for each way it can end, and
// the format window as a view of its model. The dialogs are modal, so a thread
// timer (it fires inside any message loop of the thread) works them as a user
// would, once they are on the screen.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/win32/WideText.h"
#include "platform/win32/WindowsApi.h"
#include "ui/FormatDialog.h"
#include "ui/win32/Win32Ui.h"
#include "ui/win32/Win32Window.h"

namespace {

using platform::win32::Widen;
using ui::win32::WindowText;

// Does `act` on the visible window captioned `caption` as soon as it is shown.
std::function<void(HWND)> pendingAction;
std::wstring pendingCaption;

void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND window = FindWindowW(nullptr, pendingCaption.c_str());
  if (!window || !IsWindowVisible(window) || !pendingAction) return;
  KillTimer(nullptr, timer);
  auto act = std::move(pendingAction);
  pendingAction = nullptr;
  act(window);
}

void WhenShown(const std::string& caption, std::function<void(HWND)> act) {
  pendingCaption = Widen(caption);
  pendingAction = std::move(act);
  SetTimer(nullptr, 0, 20, &Tick);
}

struct ControlSearch {
  const wchar_t* className;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectControl(HWND child, LPARAM search) {
  auto* s = reinterpret_cast<ControlSearch*>(search);
  wchar_t name[64];
  GetClassNameW(child, name, 64);
  if (lstrcmpiW(name, s->className) == 0) s->found.push_back(child);
  return TRUE;
}

// A window's controls of class `className` ("Button", "Edit"), in order.
std::vector<HWND> Controls(HWND window, const wchar_t* className) {
  ControlSearch search{className, {}};
  EnumChildWindows(window, &CollectControl, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND ButtonCaptioned(HWND window, const std::string& caption) {
  for (HWND button : Controls(window, L"Button"))
    if (WindowText(button) == caption) return button;
  return nullptr;
}

void Press(HWND window, HWND button) {
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

TEST(Win32Ui, MessageBoxesShowTheButtonsOfTheirStyle) {
  ui::Win32Ui windows;
  struct Case {
    uint32_t style;
    std::vector<std::string> buttons;
    std::string press;
    int answer;
  } cases[] = {
      {ui::kMbOk | ui::kMbIconError, {"OK"}, "OK", ui::kIdOk},
      {ui::kMbYesNo | ui::kMbIconQuestion, {"&Yes", "&No"}, "&No", ui::kIdNo},
      {ui::kMbYesNoCancel | ui::kMbDefButton2, {"&Yes", "&No", "Cancel"}, "Cancel", ui::kIdCancel},
      {ui::kMbRetryCancel | ui::kMbIconWarning, {"&Retry", "Cancel"}, "&Retry", ui::kIdRetry},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.press);
    std::vector<std::string> shown;
    WhenShown("Box test", [&](HWND box) {
      for (HWND button : Controls(box, L"Button")) shown.push_back(WindowText(button));
      Press(box, ButtonCaptioned(box, c.press));
    });
    EXPECT_EQ(windows.MessageBox("Text of the box", "Box test", c.style), c.answer);
    EXPECT_EQ(shown, c.buttons);
  }
}

TEST(Win32Ui, PasswordDialogKeepsTheTextOnlyForOk) {
  ui::Win32Ui windows;
  const std::vector<ui::DialogButton> buttons = {
      {"OK", ui::kIdOk, true, false}, {"Cancel", ui::kIdCancel, false, true}, {"Cancel all", ui::kIdCancelAll}};
  struct Case {
    const char* name;
    std::function<void(HWND)> end;
    ui::PasswordAnswer answer;
  } cases[] = {
      {"OK", [](HWND w) { Press(w, ButtonCaptioned(w, "OK")); }, {ui::kIdOk, "S3cret \xc3\xa4"}},
      {"Enter: the default button", [](HWND w) { PostMessageW(w, WM_COMMAND, IDOK, 0); }, {ui::kIdOk, "S3cret \xc3\xa4"}},
      {"Cancel all", [](HWND w) { Press(w, ButtonCaptioned(w, "Cancel all")); }, {ui::kIdCancelAll, ""}},
      {"close box", [](HWND w) { PostMessageW(w, WM_CLOSE, 0, 0); }, {ui::kIdCancel, ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string prompt;
    LRESULT limit = 0;
    bool masked = false;
    WhenShown("Password test", [&](HWND dialog) {
      for (HWND text : Controls(dialog, L"Static")) prompt += WindowText(text);
      std::vector<HWND> edits = Controls(dialog, L"Edit");
      ASSERT_EQ(edits.size(), 1u);
      limit = SendMessageW(edits[0], EM_GETLIMITTEXT, 0, 0);
      masked = GetWindowLongW(edits[0], GWL_STYLE) & ES_PASSWORD;
      SetWindowTextW(edits[0], Widen("S3cret \xc3\xa4").c_str());
      c.end(dialog);
    });
    ui::PasswordAnswer answer = windows.PasswordDialog("Password test", "Enter the password", buttons);
    EXPECT_EQ(answer.modalResult, c.answer.modalResult);
    EXPECT_EQ(answer.text, c.answer.text);
    EXPECT_EQ(prompt, "Enter the password");
    EXPECT_EQ(limit, 80);
    EXPECT_TRUE(masked);
  }
}

TEST(Win32Ui, FormatWindowShowsAndWorksItsModel) {
  ui::Win32Ui windows;
  std::string formattedLabel;
  bool formattedQuick = false;
  auto model = std::make_shared<ui::FormatDialog>(0, "A:", "OLD", [&](const std::string& label, bool quick) {
    formattedLabel = label;
    formattedQuick = quick;
    return 0;
  });
  windows.OpenFormatDialog(model);
  model->Open();
  HWND window = FindWindowW(nullptr, L"Format A:");
  ASSERT_TRUE(window && IsWindowVisible(window));
  auto control = [window](int id) { return GetDlgItem(window, id); };
  auto send = [window](int id) { SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); };
  EXPECT_EQ(WindowText(control(ui::kFormatLabel)), "OLD");
  EXPECT_EQ(WindowText(control(ui::kFormatStart)), "Start");
  EXPECT_EQ(IsDlgButtonChecked(window, ui::kFormatSystemFiles), BST_CHECKED);

  // Typing and clicking reach the model; the model's state comes back.
  SetWindowTextW(control(ui::kFormatLabel), L"BACKUP");
  EXPECT_EQ(model->Text(ui::kFormatLabel), "BACKUP");
  send(ui::kFormatQuick);
  EXPECT_TRUE(model->Checked(ui::kFormatQuick));
  EXPECT_EQ(IsDlgButtonChecked(window, ui::kFormatQuick), BST_CHECKED);
  send(ui::kFormatStart);
  EXPECT_EQ(formattedLabel, "BACKUP");
  EXPECT_TRUE(formattedQuick);
  EXPECT_EQ(WindowText(control(ui::kFormatClose)), "Close");
  EXPECT_TRUE(IsWindowVisible(window));
  // Close ends the model with the format's result, and the window goes.
  send(ui::kFormatClose);
  EXPECT_TRUE(model->Finished());
  EXPECT_EQ(model->Result(), 0);
  EXPECT_FALSE(IsWindowVisible(window));
}

}  // namespace
