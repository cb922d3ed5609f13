// The engine's operations: adding files (or one stream) to an archive, deleting
// members, and compressing a stream into memory.
#pragma once

#include "engines/zipdll/AddRequest.h"
#include "engines/zipdll/EngineSession.h"
#include "platform/FileSystem.h"
#include "platform/Shell.h"

namespace zipdll {

// Each returns the number of members added or deleted (stream to stream: 1)
// and throws EngineError on failure, leaving an existing archive untouched.
int RunAdd(platform::FileSystem& fs, platform::Shell& shell, const AddRequest& request,
           EngineSession& session);
int RunDelete(platform::FileSystem& fs, const AddRequest& request, EngineSession& session);
int RunStreamToStream(const AddRequest& request, EngineSession& session);

}  // namespace zipdll
