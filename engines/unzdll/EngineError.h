// Failures that end the whole run (a damaged archive, an unreadable file):
// thrown inside the engine, caught at its entry point, reported as a message.
#pragma once

#include <stdexcept>
#include <string>

namespace unz {

class EngineError : public std::runtime_error {
 public:
  EngineError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

}  // namespace unz
