// The fields both engines' command records start with: the window and the
// component that call, the record layout's version and the callback.
#pragma once

#include <cstdint>

#include "zipbuilder/ZipBuilder.h"

template <typename Params>
void SetCommandHead(Params& head, TZipBuilder& caller) {
  head.fHandle = static_cast<uint32_t>(caller.OwnerWindow);
  head.fCaller = &caller;
  head.fVersion = 160;
  head.ZCallbackFunc = &TZipBuilder::ZCallback;
  head.fTraceEnabled = caller.Trace ? 1 : 0;
}
