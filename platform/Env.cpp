#include <stdexcept>

#include "platform/Env.h"

namespace platform {

Env& RequireComplete(Env& env) {
  if (!env.Complete()) throw std::invalid_argument("platform environment with a missing member");
  return env;
}

}  // namespace platform
