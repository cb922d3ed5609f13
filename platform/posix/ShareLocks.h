// Share modes as Windows checks them, between every two openers of a file in any
// process that goes through this layer: a new opener fails when it wants an
// access that an earlier opener denies, or denies an access an earlier opener
// holds.
#pragma once

#include "platform/FileSystem.h"

namespace platform {

// Marks the open descriptor with what it holds and denies, then checks the other
// handles' marks. False: sharing violation. True also where the file system
// keeps no such locks (no sharing checks there).
bool ClaimShare(int fd, Access access, Share share);

}  // namespace platform
