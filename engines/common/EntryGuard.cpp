#include "engines/common/EntryGuard.h"

#include <new>
#include <string>

#include "engines/common/EngineError.h"

namespace engine {

int32_t GuardedEntry(EngineCallback& callback, const std::function<int32_t()>& body) noexcept {
  try {
    int32_t code;
    std::string text;
    try {
      return body();
    } catch (const EngineError& e) {
      code = e.Code();
      text = e.what();
    } catch (const std::bad_alloc&) {
      code = kEngineNoMemory;
      text = "Not enough memory";
    } catch (const std::exception& e) {
      code = kEngineUnexpected;
      text = std::string("Unexpected failure: ") + e.what();
    } catch (...) {
      code = kEngineUnexpected;
      text = "Unexpected failure";
    }
    callback.Message(code, text);
    callback.Progress(kActionBatchEnd, 0);
  } catch (...) {  // the component's callback itself threw: never let it cross the boundary
  }
  return 0;
}

}  // namespace engine
