#include "ui/win32/Win32FormatDlg.h"

#include <memory>
#include <vector>

#include "platform/win32/WideText.h"
#include "ui/win32/Win32Window.h"

namespace ui::win32 {
namespace {

constexpr int kStatusId = 100;

class FormatWindow {
 public:
  explicit FormatWindow(std::shared_ptr<FormatDialog> model)
      : model_(std::move(model)), window_("Format " + model_->DriveName(), 300, 178) {
    window_.Add(L"STATIC", "Capacity:", SS_LEFT, 12, 14, 80, 16, -1, nullptr);
    HWND capacity = window_.Add(L"COMBOBOX", "", CBS_DROPDOWNLIST | WS_TABSTOP, 100, 10, 188, 100, kFormatCapacity,
                                nullptr);
    SendMessageW(capacity, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(platform::win32::Widen(model_->Text(kFormatCapacity)).c_str()));
    SendMessageW(capacity, CB_SETCURSEL, 0, 0);
    window_.Add(L"STATIC", "Label:", SS_LEFT, 12, 42, 80, 16, -1, nullptr);
    HWND label = window_.Add(L"EDIT", "", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 100, 40, 188, 20, kFormatLabel,
                             nullptr);
    SendMessageW(label, EM_SETLIMITTEXT, 11, 0);
    window_.Add(L"BUTTON", model_->Text(kFormatQuick), BS_CHECKBOX | WS_TABSTOP, 100, 68, 188, 18, kFormatQuick,
                nullptr);
    window_.Add(L"BUTTON", model_->Text(kFormatSystemFiles), BS_CHECKBOX | WS_TABSTOP, 100, 90, 188, 18,
                kFormatSystemFiles, nullptr);
    window_.Add(L"STATIC", "", SS_LEFT, 12, 114, 276, 18, kStatusId, nullptr);
    window_.Add(L"BUTTON", "", BS_DEFPUSHBUTTON | WS_TABSTOP, 12, 140, 130, 28, kFormatStart, nullptr);
    window_.Add(L"BUTTON", "", BS_PUSHBUTTON | WS_TABSTOP, 158, 140, 130, 28, kFormatClose, nullptr);
    window_.onMessage = [this](UINT message, WPARAM wParam, LPARAM, LRESULT&) { return Command(message, wParam); };
    for (HWND other : owners_) EnableWindow(other, FALSE);
    model_->onChange = [this] { Refresh(); };
    Refresh();
    window_.CenterOnScreen();
    ShowWindow(window_.Handle(), SW_SHOW);
  }

 private:
  bool Command(UINT message, WPARAM wParam) {
    if (message != WM_COMMAND) return false;
    const int id = LOWORD(wParam), code = HIWORD(wParam);
    if (id == kFormatLabel && code == EN_CHANGE) {
      if (!refreshing_) model_->TypeText(kFormatLabel, WindowText(GetDlgItem(window_.Handle(), kFormatLabel)));
      return true;
    }
    if (code != BN_CLICKED) return false;
    // Escape and the close box send IDCANCEL, which is the Close control's own id.
    if (id == kFormatStart || id == kFormatClose || id == kFormatQuick || id == kFormatSystemFiles) {
      model_->Click(id);
      return true;
    }
    return false;
  }

  void Refresh() {
    refreshing_ = true;
    HWND window = window_.Handle();
    for (int id : {kFormatCapacity, kFormatLabel, kFormatQuick, kFormatSystemFiles, kFormatStart, kFormatClose}) {
      HWND control = GetDlgItem(window, id);
      EnableWindow(control, model_->Enabled(id));
      if (id == kFormatQuick || id == kFormatSystemFiles) {
        CheckDlgButton(window, id, model_->Checked(id) ? BST_CHECKED : BST_UNCHECKED);
      } else if (id != kFormatCapacity && WindowText(control) != model_->Text(id)) {
        SetWindowTextW(control, platform::win32::Widen(model_->Text(id)).c_str());
      }
    }
    SetDlgItemTextW(window, kStatusId, platform::win32::Widen(model_->Status()).c_str());
    refreshing_ = false;
    if (model_->Finished()) Close();
  }

  // Hides the window; it is destroyed when the next one opens, as the model may
  // still be inside its own call now.
  void Close() {
    model_->onChange = nullptr;
    for (HWND other : owners_)
      if (IsWindow(other)) EnableWindow(other, TRUE);
    ShowWindow(window_.Handle(), SW_HIDE);
    closed_ = true;
  }

 public:
  bool Closed() const { return closed_; }

 private:

  std::shared_ptr<FormatDialog> model_;
  std::vector<HWND> owners_ = EnabledThreadWindows();
  Win32Window window_;
  bool refreshing_ = false;
  bool closed_ = false;
};

}  // namespace

void OpenFormatWindow(const std::shared_ptr<FormatDialog>& model) {
  static std::vector<std::unique_ptr<FormatWindow>> windows;
  std::erase_if(windows, [](const auto& w) { return w->Closed(); });
  windows.push_back(std::make_unique<FormatWindow>(model));
}

}  // namespace ui::win32
