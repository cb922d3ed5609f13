#include "sfx/Settings.h"

#include <algorithm>
#include <vector>

namespace sfx {

bool ReadSettings(InputFile& file, uint64_t at, Settings& settings, uint64_t& headerSize) {
  if (file.Size() <= at) return false;
  const uint64_t left = file.Size() - at;
  std::vector<uint8_t> bytes(static_cast<size_t>(std::min<uint64_t>(left, zip::kSfxMaxHeaderSize)));
  if (!file.ReadAt(at, bytes.data(), bytes.size())) return false;
  auto header = zip::ReadSfxHeader(bytes);
  if (!header) return false;
  static_cast<zip::SfxSettings&>(settings) = header->settings;
  headerSize = header->size;
  settings.overwrite = settings.flags & zip::kSfxOverwriteNever    ? Overwrite::Never
                       : settings.flags & zip::kSfxOverwriteAlways ? Overwrite::Always
                                                                  : Overwrite::Confirm;
  return true;
}

}  // namespace sfx
