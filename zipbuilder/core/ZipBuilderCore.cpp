// Construction, property setters, the wait cursor, existence tests and the
// OEM / system code page conversion of names and comments.
#include "zipbuilder/ZipBuilder.h"
#include "platform/CodePage.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "ui/QuietUi.h"
#include "zipbuilder/core/ZipMessageTable.h"
#include "zipformat/NameCodePage.h"

const char* const kZipBuilderVersion = "1.60 ";

TZipBuilder::TZipBuilder(platform::Env* env, ui::UiService* ui)
    : env_(&platform::RequireComplete(env ? *env : platform::DefaultEnv())),
      ui_(ui),
      stream_(std::make_unique<TZipStream>()) {
  if (!ui_) {
    ownedUi_ = std::make_unique<ui::QuietUi>();
    ui_ = ownedUi_.get();
  }
  versionInfo_ = kZipBuilderVersion;
}

TZipBuilder::~TZipBuilder() {
  FreeZipDirEntryRecords();
  if (inFileHandle_ != platform::kInvalidHandle) env_->files->Close(inFileHandle_);
  if (outFileHandle_ != platform::kInvalidHandle) env_->files->Close(outFileHandle_);
}

void TZipBuilder::SetUi(ui::UiService* ui) {
  if (ui) {
    ui_ = ui;
    ownedUi_.reset();
  }
}

AddStoreExts ZipBuilderProperties::DefaultStoreSuffixes() {
  AddStoreExts all;
  for (int v = assGIF; v <= assJAR; ++v) all.Include(static_cast<AddStoreSuffix>(v));
  return all;  // every suffix but assEXE
}

void TZipBuilder::SetFileName(const std::string& name) {
  zipFileName_ = name;
  if (Designing) return;
  errCode_ = 0;
  message_.clear();
  List();
  // A missing archive is listed as empty without a report (adding to it makes
  // it), but a caller that meant to read it finds why nothing is listed here.
  if (!name.empty() && !FileExists(name)) {
    errCode_ = kMsgInputMissing;
    message_ = LoadZipStr(kMsgInputMissing, "Input file does not exist");
  }
}

void TZipBuilder::SetDLLDirectory(const std::string& dir) {
  if (dir == dllDirectory_) return;
  std::string value = dir;
  if (!value.empty() && value.back() == '\\') value.pop_back();
  dllDirectory_ = value;
}

void TZipBuilder::SetFreeOnDisk1(int32_t value) {
  if (value >= 0) freeOnDisk1_ = value;
}

void TZipBuilder::SetMaxVolumeSize(int32_t value) {
  if (value >= 0) maxVolumeSize_ = value;
}

void TZipBuilder::SetMinFreeVolSize(int32_t value) {
  if (value > 0) minFreeVolumeSize_ = value;
}

void TZipBuilder::SetPasswordReqCount(uint32_t value) {
  if (value != passwordReqCount_) passwordReqCount_ = value < 15 ? value : 15;
}

void TZipBuilder::SetRootDir(const std::string& dir) {
  if (dir != rootDir_) rootDir_ = AppendSlash(dir);
}

int TZipBuilder::GetCount() const {
  return zipFileName_.empty() ? 0 : static_cast<int>(zipDirEntryRecords_.size());
}

void TZipBuilder::StartWaitCursor() {
  if (waitCursorDepth_ == 0) {
    savedCursor_ = static_cast<int16_t>(ui_->GetCursor());
    ui_->SetCursor(ui::kCursorHourglass);
  }
  ++waitCursorDepth_;
}

void TZipBuilder::StopWaitCursor() {
  --waitCursorDepth_;
  if (waitCursorDepth_ == 0) ui_->SetCursor(savedCursor_);
}

bool TZipBuilder::FileExists(const std::string& name) {
  if (name.empty()) return false;
  auto attributes = env_->files->GetAttributes(name);
  return attributes && !(*attributes & platform::kAttrDirectory);
}

bool DirExists(const std::string& name, platform::FileSystem& files) {
  if (name.empty()) return false;
  auto attributes = files.GetAttributes(name);
  return attributes && (*attributes & platform::kAttrDirectory);
}

void TZipBuilder::ConvertOem2Iso(std::string& buffer, CodePageDirection direction) {
  const zip::NameCodePage wanted = CodePage == cpOEM    ? zip::NameCodePage::kOem
                                   : CodePage == cpAUTO ? zip::NameCodePage::kAutomatic
                                                        : zip::NameCodePage::kNone;
  if (!zip::TextIsOem(HostSystem, HostVersion, HostFlags, wanted)) return;
  size_t end = buffer.find('\0');
  std::string text = buffer.substr(0, end);
  std::string rest = end == std::string::npos ? std::string() : buffer.substr(end);
  buffer = (direction == cpdOEM2ISO ? platform::OemToChar(text) : platform::CharToOem(text)) + rest;
}
