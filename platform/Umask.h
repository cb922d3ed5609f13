// The process's file mode creation mask, which permissions taken from an
// archive pass through like those of any other new file.
#pragma once

#include <cstdint>

namespace platform {

// The permission bits the umask removes (022 when it cannot be read).
uint32_t CurrentUmask();

}  // namespace platform
