#include "tools/ProgressBar.h"

#include <algorithm>
#include <iostream>
#include <string>

#include "platform/Terminal.h"

void ProgressBar::Attach(TZipBuilder& zip) {
  enabled_ = platform::StderrIsTerminal();
  if (!enabled_) return;
  zip.OnProgress = [this](TZipBuilder*, ProgressType type, const std::string&, int64_t size) {
    if (type == ptTotalBytes) total_ = size, done_ = 0;
    else if (type == ptBytesDone) done_ += size;
    else if (type == ptBatchEnd) done_ = total_;
    else return;
    Draw();
  };
}

void ProgressBar::Draw() {
  if (total_ <= 0) return;
  int permille = static_cast<int>(std::min<int64_t>(1000, done_ * 1000 / total_));
  if (permille == lastPermille_) return;
  lastPermille_ = permille;
  int width = std::max(10, platform::TerminalColumns() - 10);
  int filled = width * permille / 1000;
  std::cerr << "\r[" << std::string(filled, '#') << std::string(width - filled, ' ') << "] " << permille / 10
            << "%" << std::flush;
}

void ProgressBar::Finish() {
  if (enabled_ && lastPermille_ >= 0) std::cerr << '\n';
}

void ProgressBar::ClearLine() {
  if (enabled_) std::cerr << "\r\x1b[K";
}
