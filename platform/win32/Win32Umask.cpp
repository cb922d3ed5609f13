#include "platform/Umask.h"

namespace platform {

// Windows has no file mode creation mask: new files get what they ask for.
uint32_t CurrentUmask() { return 0; }

}  // namespace platform
