// Reports: every message goes to ErrCode and Message, to a box unless
// unattended, and to OnMessage.
#include <new>

#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/core/ZipMessageTable.h"
#include "zipbuilder/core/ResultCodes.h"
#include "ui/UiService.h"

std::string TZipBuilder::LoadZipStr(int id, const std::string& defaultText) {
  const char* text = FindZipMessage(id);
  return text && *text ? std::string(text) : defaultText;
}

void TZipBuilder::ShowZipMessage(int id, const std::string& extra) {
  std::string text = LoadZipStr(id, kMissingMessageText + std::to_string(id)) + extra;
  errCode_ = id;
  message_ = text;
  if (!Unattended) ui_->MessageBox(text, ui::ApplicationTitle(), ui::kMbOk);
  if (OnMessage) OnMessage(this, 0, text);
}

void TZipBuilder::ShowExceptionError(const EZipBuilder& e) {
  if (e.DisplayMsg() && !Unattended) ui_->MessageBox(e.what(), ui::ApplicationTitle(), ui::kMbOk);
  errCode_ = e.Ident();
  message_ = e.what();
  if (OnMessage) OnMessage(this, 0, message_);
}

bool TZipBuilder::RunReported(int unexpectedId, const std::function<void()>& body,
                              const std::function<void()>& cleanup) {
  try {
    body();
    return true;
  } catch (const EZipBuilder& e) {
    ShowExceptionError(e);
  } catch (const std::bad_alloc&) {
    ShowZipMessage(kMsgNoMemory, "");
  } catch (const std::exception& e) {
    ShowZipMessage(unexpectedId, std::string("\n") + e.what());
  } catch (...) {
    ShowZipMessage(unexpectedId, "");
  }
  if (cleanup) cleanup();
  return false;
}

int TZipBuilder::RunCoded(const std::function<void()>& body) {
  try {
    body();
    return kResultOk;
  } catch (const EZipBuilder& e) {
    ShowExceptionError(e);
    return kResultReported;
  } catch (const std::bad_alloc&) {
    ShowZipMessage(kMsgNoMemory, "");
    return kResultNoMemory;
  } catch (const std::exception& e) {
    ShowZipMessage(kMsgSpanRenameCopyUnknownError, std::string("\n") + e.what());
  } catch (...) {
    ShowZipMessage(kMsgSpanRenameCopyUnknownError, "");
  }
  return kResultUnexpected;
}
