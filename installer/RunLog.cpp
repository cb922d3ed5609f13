#include "installer/RunLog.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace installer {

RunLog::~RunLog() {
  if (handle_ != platform::kInvalidHandle) files_.Close(handle_);
}

bool RunLog::Open(const std::string& path) {
  handle_ = files_.Open(path, platform::Access::Write, platform::Share::Read, platform::Disposition::OpenAlways);
  if (handle_ == platform::kInvalidHandle) return false;
  files_.Seek(handle_, 0, platform::SeekFrom::End);
  return true;
}

void RunLog::Write(const std::string& line) {
  if (handle_ == platform::kInvalidHandle) return;
  std::string text = LogTimestamp();
  // One step, one line: line feeds inside a message are written as \n.
  for (char c : line) {
    if (c == '\n') {
      text += "\\n";
    } else if (c != '\r') {
      text += c;
    }
  }
  text += '\n';
  files_.Write(handle_, text.data(), text.size());
}

std::string LogTimestamp() {
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local = *std::localtime(&seconds);
  char text[80];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(milliseconds));
  return text;
}

}  // namespace installer
