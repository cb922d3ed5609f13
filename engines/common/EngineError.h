// A failure that ends an engine run: thrown inside either engine, caught by the
// entry guard and reported through the callback as one message with `Code()`,
// one of the kEngine* codes of ZipEngineApi.h.
#pragma once

#include <stdexcept>
#include <string>

namespace engine {

class EngineError : public std::runtime_error {
 public:
  EngineError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

}  // namespace engine
