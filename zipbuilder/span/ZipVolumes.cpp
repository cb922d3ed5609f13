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
  if (auto space = env_->drives->GetDiskFreeSpace(volume_.drive)) {
    freeBytes = space->freeBytes;
    size = space->totalBytes;
  }
  if (which & 1) volume_.freeOnDisk = freeBytes;
  if (which & 2) volume_.sizeOfDisk = size;
}

bool TZipBuilder::IsDiskPresent() {
  auto& drives = *env_->drives;
  const char first = volume_.drive.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(volume_.drive[0])));
  const bool networkPath = first == '\\';
  if (!networkPath) {
    if (first < 'A' || first > 'Z') throw EZipBuilder(kMsgInvalidDrive, volume_.drive);
    if (!(drives.GetLogicalDrives() & (1u << (first - 'A'))))
      throw EZipBuilder(kMsgDriveUndefined, volume_.drive);
  }
  DiskFreeAndSize(3);
  platform::VolumeInfo volume = drives.GetVolumeInformation(volume_.drive);
  if (volume.ok) {
    volume_.volumeName = volume.label;
    volume_.volumeSerial = volume.serial;
    return networkPath || volume_.sizeOfDisk != -1;
  }
  return volume.error == platform::kErrorNotFormatted && AddOptions.Contains(AddDiskSpanErase);
}

int TZipBuilder::CheckForDisk() {
  const int driveType = env_->drives->GetDriveType(volume_.drive);
  int answer = ui::kIdOk;
  uint32_t style = ui::kMbOkCancel;
  std::string message;
  const std::string driveLetter = volume_.drive.substr(0, 1);
  ui_->ProcessMessages();

  while ((answer == ui::kIdOk && !IsDiskPresent()) || volume_.newDisk) {
    if (HoldsSeparateFiles(driveType)) {
      volume_.newDisk = false;
      break;
    }
    if (Unattended) throw EZipBuilder(kMsgUnattendedSpanning);
    const std::string pattern = LoadZipStr(kMsgInsertVolumeOf, "");
    if (volume_.diskNr < 0) {
      message = LoadZipStr(kMsgInsertLastDisk, "");
      style |= ui::kMbIconError;
    } else if (zipRunning_) {
      int64_t capacity = volume_.sizeOfDisk;
      if (maxVolumeSize_ != 0) capacity = std::min(capacity, maxVolumeSize_);
      if (capacity > 0) {
        int64_t needed = (int64_t{listed_.archiveFileSize} + 4 + freeOnDisk1_) / capacity;
        listed_.lastDiskNumber = static_cast<uint16_t>(std::max<int64_t>(volume_.diskNr, needed));
        int numbers[2] = {volume_.diskNr + 1, listed_.lastDiskNumber + 1};
        message = FormatZipMessage(pattern, nullptr, 0, numbers, 2);
      } else {
        listed_.lastDiskNumber = 65535;
        int number = volume_.diskNr + 1;
        message = FormatZipMessage(LoadZipStr(kMsgInsertVolume, ""), nullptr, 0, &number, 1);
      }
    } else {
      int numbers[2] = {volume_.diskNr + 1, listed_.lastDiskNumber + 1};
      message = FormatZipMessage(pattern, nullptr, 0, numbers, 2);
    }
    message += FormatZipMessage(LoadZipStr(kMsgInDrive, ""), &driveLetter, 1, nullptr, 0);

    if (OnGetNextDisk) {
      bool cancel = false;
      OnGetNextDisk(this, volume_.diskNr + 1, listed_.lastDiskNumber + 1, driveLetter, cancel);
      answer = cancel ? ui::kIdAbort : ui::kIdOk;
    } else {
      answer = ui_->MessageBox(message, ui::ApplicationTitle(), style);
    }
    volume_.newDisk = false;
  }

  if (answer == ui::kIdOk) return driveType;
  if (answer == 0) throw EZipBuilder(kMsgNoMemoryForBox);
  throw EZipBuilder(kMsgUserCanceled, false);
}

bool TZipBuilder::IsRightDisk(int driveType) {
  if (HoldsSeparateFiles(driveType)) {
    // backup003.zip becomes backup004.zip for disk number 3.
    inFileName_ = zip::OtherVolumeName(inFileName_, volume_.diskNr);
    return true;
  }
  return volume_.volumeName == zip::VolumeLabel(volume_.diskNr);
}

void TZipBuilder::GetNewDisk(int diskNumber) {
  auto& files = *env_->files;
  int driveType = platform::kDriveRemovable;
  if (inFileHandle_ != platform::kInvalidHandle) files.Close(inFileHandle_);
  inFileHandle_ = platform::kInvalidHandle;
  volume_.diskNr = diskNumber;
  bool openFailed = false;
  do {
    if (openFailed) {
      if (HoldsSeparateFiles(driveType)) throw EZipBuilder::WithDetail(kMsgInputMissing, inFileName_);
      ShowZipMessage(kMsgInputMissing, "");
    }
    do {
      volume_.newDisk = true;
      driveType = CheckForDisk();
    } while (!IsRightDisk(driveType));
    inFileHandle_ = files.Open(inFileName_, platform::Access::Read, platform::Share::Read,
                               platform::Disposition::OpenExisting);
    openFailed = inFileHandle_ == platform::kInvalidHandle;
  } while (openFailed);
}
