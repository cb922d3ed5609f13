// What the volume logic knows about the disk and volume it works on: the drive,
// the disk number and label, the room on the disk, and the set being written.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "zipbuilder/ZipTypes.h"
#include "zipbuilder/core/ResultCodes.h"

namespace ui {
class FormatDialog;
}

namespace span {

struct VolumeState {
  std::string drive;  // drive root, e.g. "C:\"
  int32_t diskNr = 0;
  bool newDisk = false;
  std::string volumeName;
  uint32_t volumeSerial = 0;
  int64_t sizeOfDisk = 0;
  int64_t freeOnDisk = 0;
  std::string outFileName;      // the set being written
  int64_t bytesWritten = 0;     // on the current volume
  int32_t dateOfInputFile = 0;  // every volume gets the input's date
  TZipDiskStatus diskStatus;
  TZipDiskAction diskAction = zdaOk;
};

// The handshake between a running disk format, its dialog and its worker thread.
struct FormatState {
  int32_t driveNumber = 0;              // 0 for A
  ui::FormatDialog* dialog = nullptr;   // once the format has found it
  std::atomic<int> state{0};            // 0 waiting, 1 dialog found, 2 worker done
  std::atomic<bool> autoStart{false};   // the hook presses Start once
  std::atomic<int> result{kFormatNotRun};
};

}  // namespace span
