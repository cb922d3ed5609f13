// The engines' callback: progress, messages, questions and memory requests
// arrive here during ZipDllExec / UnzDllExec and become the component's events.
#include <algorithm>
#include <cstring>

#include "ui/UiService.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

constexpr size_t kNewNameMax = 512;
constexpr size_t kPasswordMax = 81;
constexpr size_t kCommentMax = 511;

std::string TextAreaAt(const ZCallBackStruct& record, size_t offset) {
  const char* start = record.FileNameOrMsg + offset;
  return std::string(start, strnlen(start, kCallbackTextSize - offset));
}

// Copies `text` (cut to `max` characters) and its terminating zero into the text area.
void PutText(ZCallBackStruct& record, const std::string& text, size_t max) {
  size_t n = std::min(text.size(), max);
  std::memcpy(record.FileNameOrMsg, text.data(), n);
  record.FileNameOrMsg[n] = '\0';
}

// The text the events see: forward slashes turned into backslashes, trailing
// blanks and control characters removed.
std::string EventText(const ZCallBackStruct& record) {
  std::string text = TZipBuilder::ReplaceForwardSlash(TextAreaAt(record, 0));
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
  return text;
}

// ErrCode keeps the low byte of an engine code, read as a signed 8-bit number.
int32_t LowByteSigned(int32_t code) { return static_cast<int8_t>(static_cast<uint8_t>(code & 0xFF)); }

UnZipSkipTypes SkipTypeOf(intptr_t reason) {
  int ordinal = static_cast<int>(reason & 0xFF) - 1;
  // A reason the component does not know is reported as a general error.
  if (ordinal < stOnFreshen || ordinal > stUnsafeName) return stGeneralExtractError;
  return static_cast<UnZipSkipTypes>(ordinal);
}

}  // namespace

int32_t TZipBuilder::ZCallback(ZCallBackStruct* record) {
  if (!record || !record->Caller) return 0;
  auto* zip = static_cast<TZipBuilder*>(record->Caller);
  try {
    ZCallBackStruct& r = *record;
    std::string text = EventText(r);
    if (zip->OnProgress) {
      switch (r.ActionCode) {
        case kActionMemberBegin: zip->OnProgress(zip, ptMemberBegin, text, r.FileSize); break;
        case kActionBytesDone: zip->OnProgress(zip, ptBytesDone, "", r.FileSize); break;
        case kActionBatchEnd: zip->OnProgress(zip, ptBatchEnd, "", 0); break;
        case kActionMemberCount: zip->OnProgress(zip, ptMemberCount, "", r.FileSize); break;
        case kActionTotalBytes: zip->OnProgress(zip, ptTotalBytes, "", r.FileSize); break;
        default: break;
      }
    }
    switch (r.ActionCode) {
      case kActionMessage:
        if (r.ErrorCode != 0) {
          // A warning is about a member processed in full (its name made safe,
          // an earlier member of the same name replaced): no failure of the run.
          // A member left out comes with a skip report, which sets ErrCode.
          if (r.ErrorCode != kEngineWarning) zip->errCode_ = LowByteSigned(r.ErrorCode);
          zip->engineErrCode_ = r.ErrorCode;
        }
        zip->message_ = text;
        if (zip->OnMessage) zip->OnMessage(zip, r.ErrorCode, text);
        break;
      case kActionNewName:
        if (zip->OnSetNewName) {
          std::string name = TextAreaAt(r, 0);
          bool changed = false;
          zip->OnSetNewName(zip, name, changed);
          if (changed) PutText(r, name, kNewNameMax);
          r.ErrorCode = changed ? 1 : 0;
        }
        break;
      case kActionPassword:
        zip->AnswerPasswordRequest(r, text);
        break;
      case kActionCrcError:
        if (zip->OnCRC32Error) {
          bool doExtract = true;
          zip->OnCRC32Error(zip, text, static_cast<uint32_t>(r.ErrorCode), static_cast<uint32_t>(r.FileSize),
                            doExtract);
          r.ErrorCode = doExtract ? kCrcAnswerKeep : kCrcAnswerDiscard;
        } else {
          r.ErrorCode = kCrcAnswerNoHandler;
        }
        break;
      case kActionOverwrite:
        if (zip->OnExtractOverwrite) {
          bool doOverwrite = r.FileSize != 0;
          bool isOlder = (r.ErrorCode >> 16) & 1;
          zip->OnExtractOverwrite(zip, text, isOlder, doOverwrite, r.ErrorCode & 0xFFFF);
          r.FileSize = doOverwrite ? 1 : 0;
        }
        break;
      case kActionSkipped:
        if (r.ErrorCode != 0) {
          zip->errCode_ = LowByteSigned(r.ErrorCode);
          zip->engineErrCode_ = r.ErrorCode;
        }
        if (zip->OnExtractSkipped) zip->OnExtractSkipped(zip, text, SkipTypeOf(r.FileSize), r.ErrorCode);
        break;
      case kActionComment:
        if (zip->OnFileComment) {
          std::string comment = TextAreaAt(r, kCallbackCommentOffset);
          bool changed = false;
          zip->OnFileComment(zip, text, comment, changed);
          PutText(r, changed ? comment : std::string(), kCommentMax);
          r.ErrorCode = changed ? 1 : 0;
          r.FileSize = static_cast<intptr_t>(std::min(comment.size(), kCommentMax));
        }
        break;
      case kActionOutputMemory:
        if (r.FileSize >= 0 && zip->stream_->SetSize(r.FileSize)) {
          r.FileSize = reinterpret_cast<intptr_t>(zip->stream_->Memory());
        } else {
          r.ErrorCode = 1;
          r.FileSize = 0;
        }
        break;
      default:
        break;
    }
    zip->ui_->ProcessMessages();
  } catch (...) {
    // Exceptions must not unwind through the engine: keep the first one for the
    // operation to rethrow after the engine returns, and stop the engine.
    if (!zip->callbackException_) zip->callbackException_ = std::current_exception();
    zip->Cancel = true;
    zip->passwordRequestState_ = true;
  }
  return zip->Cancel ? kCallbackStop : kCallbackContinue;
}

void TZipBuilder::AnswerPasswordRequest(ZCallBackStruct& r, const std::string& forFile) {
  std::string password;
  uint32_t repeats = static_cast<uint32_t>(r.FileSize);
  passwordRequestState_ = false;
  // A dialog result from an earlier request must not act on this one.
  passwordDialogResult_ = 0;
  if (OnPasswordError) {
    TPasswordButton action = pwbOk;
    OnPasswordError(this, r.IsOperationZip != 0, password, forFile, repeats, action);
    if (action != pwbOk) password.clear();
    if (action == pwbCancelAll) passwordDialogResult_ = ui::kIdCancelAll;
    if (action == pwbAbort) passwordDialogResult_ = ui::kIdAbort;
  } else {
    password = (r.ErrorCode & 1) ? GetAddPassword() : GetExtrPassword();
  }
  if (!password.empty()) {
    PutText(r, password, kPasswordMax);
    r.ErrorCode = 1;
  } else {
    r.ErrorCode = 0;
    repeats = 0;
  }
  r.FileSize = std::min<uint32_t>(repeats, 15);
  if (passwordDialogResult_ == ui::kIdCancelAll) r.ActionCode = 0;
  if (passwordDialogResult_ == ui::kIdAbort) Cancel = true;
  passwordRequestState_ = true;
}

void TZipBuilder::RethrowCallbackException() {
  if (!callbackException_) return;
  std::exception_ptr e = callbackException_;
  callbackException_ = nullptr;
  std::rethrow_exception(e);
}
