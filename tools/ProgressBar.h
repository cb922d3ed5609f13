// A one-line progress bar on stderr, drawn only when stderr is a terminal:
// the share of the bytes done, the rate and the time left.
#pragma once

#include <chrono>
#include <cstdint>

#include "zipbuilder/ZipBuilder.h"

class ProgressBar {
 public:
  // Hooks the bar into the component's OnProgress.
  void Attach(TZipBuilder& zip);
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
