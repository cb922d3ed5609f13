// A one-line progress bar on stderr, drawn only when stderr is a terminal and
// the run is not quiet: the share of the bytes done, the rate and the time
// left. A verbose run also names each member on stderr as it begins.
#pragma once

#include <chrono>
#include <cstdint>

#include "zipbuilder/ZipBuilder.h"

class ProgressBar {
 public:
  // Hooks the bar into the component's OnProgress; `verb` starts the member
  // lines of a verbose run ("adding: NAME").
  void Attach(TZipBuilder& zip, const char* verb = "member");
  void Finish();
  // Clears the bar's line before a report; the bar is drawn again at its next step.
  void ClearLine();

 private:
  void Draw();
  bool enabled_ = false;
  int64_t total_ = 0;
  int64_t done_ = 0;
  int lastPermille_ = -1;
  std::chrono::steady_clock::time_point start_;
};
