#include "tools/ProgressBar.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>

#include "platform/Terminal.h"
#include "tools/CommandSupport.h"

void ProgressBar::Attach(TZipBuilder& zip, const char* verb) {
  const Verbosity verbosity = OutputVerbosity();
  enabled_ = platform::StderrIsTerminal() && verbosity != Verbosity::Quiet;
  const bool names = verbosity == Verbosity::Verbose;
  if (!enabled_ && !names) return;
  zip.OnProgress = [this, names, verb](TZipBuilder*, ProgressType type, const std::string& name, int64_t size) {
    if (type == ptMemberBegin && names) {
      ClearLine();
      std::cerr << "  " << verb << ": " << ShownName(name) << '\n';
      lastPermille_ = -1;  // drawn again below the line
    }
    if (!enabled_) return;
    if (type == ptTotalBytes) total_ = size, done_ = 0, start_ = std::chrono::steady_clock::now();
    else if (type == ptBytesDone) done_ += size;
    else if (type == ptBatchEnd) done_ = total_;
    else return;
    Draw();
  };
}

namespace {

// " 12.3 MB/s  0:07 left" once a rate can be told; "" before.
std::string RateAndTimeLeft(int64_t done, int64_t total, double seconds) {
  if (seconds < 0.5 || done <= 0) return {};
  const double rate = static_cast<double>(done) / seconds;
  const auto left = static_cast<long long>(static_cast<double>(total - done) / rate + 0.5);
  char text[48];
  std::snprintf(text, sizeof text, " %6.1f MB/s %3lld:%02lld left", rate / 1e6, left / 60, left % 60);
  return text;
}

}  // namespace

void ProgressBar::Draw() {
  if (total_ <= 0) return;
  int permille = static_cast<int>(std::min<int64_t>(1000, done_ * 1000 / total_));
  if (permille == lastPermille_) return;
  lastPermille_ = permille;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const std::string rate = RateAndTimeLeft(done_, total_, seconds);
  int width = std::max(10, platform::TerminalColumns() - 34);
  int filled = width * permille / 1000;
  std::cerr << "\r[" << std::string(filled, '#') << std::string(width - filled, ' ') << "] " << permille / 10
            << "%" << rate << "\x1b[K" << std::flush;
}

void ProgressBar::Finish() {
  if (enabled_ && lastPermille_ >= 0) std::cerr << '\n';
}

void ProgressBar::ClearLine() {
  if (enabled_) std::cerr << "\r\x1b[K";
}
