// The component's view of the drive its archive lies on: space, label and serial,
// whether a usable disk is in the drive, prompts for the next disk of a spanned
// set, and reopening the input archive on the wanted volume.
#include <cctype>

#include "platform/Drives.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "ui/UiService.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipformat/VolumeNames.h"

namespace {

using span::HoldsSeparateFiles;

}  // namespace

void TZipBuilder::DiskFreeAndSize(int which) {
  int64_t freeBytes = -1, size = -1;
  if (auto space = env_->drives->GetDiskFreeSpace(drive_)) {
    freeBytes = space->freeBytes;
    size = space->totalBytes;
  }
  if (which & 1) freeOnDisk_ = freeBytes;
  if (which & 2) sizeOfDisk_ = size;
}

bool TZipBuilder::IsDiskPresent() {
  auto& drives = *env_->drives;
  const char first = drive_.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(drive_[0])));
  const bool networkPath = first == '\\';
  if (!networkPath) {
    if (first < 'A' || first > 'Z') throw EZipBuilder(kMsgInvalidDrive, drive_);
    if (!(drives.GetLogicalDrives() & (1u << (first - 'A'))))
      throw EZipBuilder(kMsgDriveUndefined, drive_);
  }
  DiskFreeAndSize(3);
  platform::VolumeInfo volume = drives.GetVolumeInformation(drive_);
  if (volume.ok) {
    volumeName_ = volume.label;
    volumeSerial_ = volume.serial;
    return networkPath || sizeOfDisk_ != -1;
  }
  return volume.error == platform::kErrorNotFormatted && AddOptions.Contains(AddDiskSpanErase);
}

int TZipBuilder::CheckForDisk() {
  const int driveType = env_->drives->GetDriveType(drive_);
  int answer = ui::kIdOk;
  uint32_t style = ui::kMbOkCancel;
  std::string message;
  const std::string driveLetter = drive_.substr(0, 1);
  ui_->ProcessMessages();

  while ((answer == ui::kIdOk && !IsDiskPresent()) || newDisk_) {
    if (HoldsSeparateFiles(driveType)) {
      newDisk_ = false;
      break;
    }
    if (Unattended) throw EZipBuilder(kMsgUnattendedSpanning);
    const std::string pattern = LoadZipStr(kMsgInsertVolumeOf, "");
    if (diskNr_ < 0) {
      message = LoadZipStr(kMsgInsertLastDisk, "");
      style |= ui::kMbIconError;
    } else if (zipRunning_) {
      int64_t capacity = sizeOfDisk_;
      if (maxVolumeSize_ != 0) capacity = std::min(capacity, maxVolumeSize_);
      if (capacity > 0) {
        int64_t needed = (int64_t{archiveFileSize_} + 4 + freeOnDisk1_) / capacity;
        lastDiskNumber_ = static_cast<uint16_t>(std::max<int64_t>(diskNr_, needed));
        int numbers[2] = {diskNr_ + 1, lastDiskNumber_ + 1};
        message = FormatZipMessage(pattern, nullptr, 0, numbers, 2);
      } else {
        lastDiskNumber_ = 65535;
        int number = diskNr_ + 1;
        message = FormatZipMessage(LoadZipStr(kMsgInsertVolume, ""), nullptr, 0, &number, 1);
      }
    } else {
      int numbers[2] = {diskNr_ + 1, lastDiskNumber_ + 1};
      message = FormatZipMessage(pattern, nullptr, 0, numbers, 2);
    }
    message += FormatZipMessage(LoadZipStr(kMsgInDrive, ""), &driveLetter, 1, nullptr, 0);

    if (OnGetNextDisk) {
      bool cancel = false;
      OnGetNextDisk(this, diskNr_ + 1, lastDiskNumber_ + 1, driveLetter, cancel);
      answer = cancel ? ui::kIdAbort : ui::kIdOk;
    } else {
      answer = ui_->MessageBox(message, ui::ApplicationTitle(), style);
    }
    newDisk_ = false;
  }

  if (answer == ui::kIdOk) return driveType;
  if (answer == 0) throw EZipBuilder(kMsgNoMemoryForBox);
  throw EZipBuilder(kMsgUserCanceled, false);
}

bool TZipBuilder::IsRightDisk(int driveType) {
  if (HoldsSeparateFiles(driveType)) {
    // backup003.zip becomes backup004.zip for disk number 3.
    inFileName_ = zip::OtherVolumeName(inFileName_, diskNr_);
    return true;
  }
  return volumeName_ == zip::VolumeLabel(diskNr_);
}

void TZipBuilder::GetNewDisk(int diskNumber) {
  auto& files = *env_->files;
  int driveType = platform::kDriveRemovable;
  if (inFileHandle_ != platform::kInvalidHandle) files.Close(inFileHandle_);
  inFileHandle_ = platform::kInvalidHandle;
  diskNr_ = diskNumber;
  bool openFailed = false;
  do {
    if (openFailed) {
      if (HoldsSeparateFiles(driveType)) throw EZipBuilder::WithDetail(kMsgInputMissing, inFileName_);
      ShowZipMessage(kMsgInputMissing, "");
    }
    do {
      newDisk_ = true;
      driveType = CheckForDisk();
    } while (!IsRightDisk(driveType));
    inFileHandle_ = files.Open(inFileName_, platform::Access::Read, platform::Share::Read,
                               platform::Disposition::OpenExisting);
    openFailed = inFileHandle_ == platform::kInvalidHandle;
  } while (openFailed);
}
