// How the volumes of a spanned set are named, and the inverse: which volume a
// name or label is. A set on a fixed or network drive is numbered files
// (backup.zip gives backup001.zip, backup002.zip ...); on removable disks every
// volume keeps the set's name and the disk's label carries the number.
// Names are split at '/', '\' and ':' and at the last dot of their file part.
#pragma once

#include <cstdint>
#include <string>

namespace zip {

// "001" for disk number 0, "002" for 1 ... "000" for 999.
std::string VolumeNumber(int32_t diskNumber);
// "PKBACK# 001" for disk number 0: the label of every volume on a removable disk.
std::string VolumeLabel(int32_t diskNumber);
// The number in characters 9 to 11 of a label of the form "PKBACK# nnn"
// ("PKBACK# 7" reads 7), or `fallback` for any other label.
int LabelNumber(const std::string& label, int fallback);

// backup.zip becomes backup001.zip for disk number 0.
std::string NumberedName(const std::string& setName, int32_t diskNumber);
// The number in the three characters before the extension (backup003.zip reads 3), or 0.
int NumberBeforeExtension(const std::string& name);
// backup003.zip becomes backup.zip: NumberedName undone, for a name with a number.
std::string SetNameOf(const std::string& volumeName);
// backup003.zip becomes backup005.zip for disk number 4: the three characters
// before the extension (as many as the file part has) replaced by the number.
std::string OtherVolumeName(const std::string& volumeName, int32_t diskNumber);

}  // namespace zip
