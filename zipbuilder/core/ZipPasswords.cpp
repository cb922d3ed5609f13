// Asking for passwords: the password dialog through the UI service, and the
// extract and add variants the callback uses when no OnPasswordError handler is set.
#include "ui/UiService.h"
#include "zipbuilder/ZipBuilder.h"

TPasswordButton TZipBuilder::GetPassword(const std::string& caption, const std::string& prompt,
                                         std::string& password, TPasswordButtons buttons) {
  std::vector<ui::DialogButton> shown;
  shown.push_back({LoadZipStr(kMsgButtonOk, "&Ok"), ui::kIdOk, true, false});
  if (buttons.Contains(pwbCancel))
    shown.push_back({LoadZipStr(kMsgButtonCancel, "&Cancel"), ui::kIdCancel, false, true});
  if (buttons.Contains(pwbCancelAll))
    shown.push_back({LoadZipStr(kMsgButtonCancelAll, "Cancel all"), ui::kIdCancelAll, false, true});
  if (buttons.Contains(pwbAbort))
    shown.push_back({LoadZipStr(kMsgButtonAbort, "Abort"), ui::kIdAbort, false, false});

  ui::PasswordAnswer answer = ui_->PasswordDialog(caption, prompt, shown);
  password = answer.modalResult == ui::kIdOk ? answer.text : std::string();
  passwordDialogResult_ = answer.modalResult;
  switch (answer.modalResult) {
    case ui::kIdOk: return pwbOk;
    case ui::kIdCancel: return pwbCancel;
    case ui::kIdCancelAll:
      return pwbCancelAll;
    default: return pwbAbort;
  }
}

std::string TZipBuilder::GetExtrPassword() {
  if (Unattended) {
    ShowZipMessage(kMsgNoExtractPassword, "");
    return "";
  }
  std::string text;
  TPasswordButton pressed = GetPassword(LoadZipStr(kMsgPasswordCaption, "Password"),
                                        LoadZipStr(kMsgEnterPassword, "Enter Password "), text,
                                        TPasswordButtons{pwbCancel, pwbCancelAll});
  if (pressed == pwbOk && !text.empty() && passwordRequestState_) Password = text;
  return text;
}

std::string TZipBuilder::GetAddPassword() {
  if (Unattended) {
    ShowZipMessage(kMsgNoAddPassword, "");
    return "";
  }
  std::string caption = LoadZipStr(kMsgPasswordCaption, "Password");
  std::string first, second;
  if (GetPassword(caption, LoadZipStr(kMsgEnterPassword, "Enter Password "), first,
                  TPasswordButtons{pwbCancel}) != pwbOk ||
      first.empty())
    return "";
  if (GetPassword(caption, LoadZipStr(kMsgConfirmPassword, "Confirm Password "), second,
                  TPasswordButtons{pwbCancel}) != pwbOk ||
      second.empty())
    return "";
  if (first != second) {
    ShowZipMessage(kMsgPasswordsDiffer, "");
    return "";
  }
  if (passwordRequestState_) Password = first;
  return first;
}
