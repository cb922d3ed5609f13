// The stub's reading of its settings header: the header itself is zipformat's;
// here the overwrite rule it implies and the exit statuses of a run.
#pragma once

#include <cstdint>

#include "sfx/InputFile.h"
#include "zipformat/SfxHeader.h"

namespace sfx {

enum class Overwrite { Confirm, Always, Never };

struct Settings : zip::SfxSettings {
  Overwrite overwrite = Overwrite::Confirm;
};

enum Exit {
  kExitOk = 0,
  kExitMemberErrors = 1,
  kExitNoArchive = 2,
  kExitCancelled = 3,
  kExitTarget = 4
};

// Reads the settings header at `at`; its length goes to `headerSize`.
bool ReadSettings(InputFile& file, uint64_t at, Settings& settings, uint64_t& headerSize);

}  // namespace sfx
