// Asking for passwords: the password dialog through the UI service, and the
// extract and add variants the callback uses when no OnPasswordError handler is set.
#include "ui/UiService.h"
#include "ZipBuilder.h"

TPasswordButton TZipBuilder::GetPassword(const std::string& caption, const std::string& prompt,
                                         std::string& password, TPasswordButtons buttons) {
  std::vector<ui::DialogButton> shown;
  shown.push_back({LoadZipStr(10152, "&Ok"), ui::kIdOk, true, false});
  if (buttons.Contains(pwbCancel)) shown.push_back({LoadZipStr(10153, "&Cancel"), ui::kIdCancel, false, true});
  if (buttons.Contains(pwbCancelAll)) shown.push_back({LoadZipStr(10157, "Cancel all"), 9, false, true});
  if (buttons.Contains(pwbAbort)) shown.push_back({LoadZipStr(10158, "Abort"), ui::kIdAbort, false, false});

  ui::PasswordAnswer answer = ui_->PasswordDialog(caption, prompt, shown);
  password = answer.modalResult == ui::kIdOk ? answer.text : std::string();
  passwordDialogResult_ = answer.modalResult;
  switch (answer.modalResult) {
    case ui::kIdOk: return pwbOk;
    case ui::kIdCancel: return pwbCancel;
    case 9: return pwbCancelAll;
    default: return pwbAbort;
  }
}

std::string TZipBuilder::GetExtrPassword() {
  if (Unattended) {
    ShowZipMessage(10151, "");
    return "";
  }
  std::string text;
  TPasswordButton pressed = GetPassword(LoadZipStr(10154, "Password"), LoadZipStr(10155, "Enter Password "), text,
                                        TPasswordButtons{pwbCancel, pwbCancelAll});
  if (pressed == pwbOk && !text.empty() && passwordRequestState_) Password = text;
  return text;
}

std::string TZipBuilder::GetAddPassword() {
  if (Unattended) {
    ShowZipMessage(10150, "");
    return "";
  }
  std::string caption = LoadZipStr(10154, "Password");
  std::string first, second;
  if (GetPassword(caption, LoadZipStr(10155, "Enter Password "), first, TPasswordButtons{pwbCancel}) != pwbOk ||
      first.empty())
    return "";
  if (GetPassword(caption, LoadZipStr(10156, "Confirm Password "), second, TPasswordButtons{pwbCancel}) != pwbOk ||
      second.empty())
    return "";
  if (first != second) {
    ShowZipMessage(10104, "");
    return "";
  }
  if (passwordRequestState_) Password = first;
  return first;
}
