// The one place where an engine entry point turns failures into reports: no
// exception leaves an engine, each becomes one message and the result 0.
#pragma once

#include <cstdint>
#include <functional>

#include "engines/common/EngineCallback.h"

namespace engine {

// Runs `body` and returns its result. A failure escaping it is reported as one
// message (EngineError: its code and text; lack of memory: kEngineNoMemory;
// anything else: kEngineUnexpected) followed by the end of the batch, and the
// result is 0. A callback that throws while a failure is reported ends the call
// silently with 0.
int32_t GuardedEntry(EngineCallback& callback, const std::function<int32_t()>& body) noexcept;

}  // namespace engine
