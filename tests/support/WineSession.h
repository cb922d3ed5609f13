// Windows programs under Wine in the tests: one prefix per test program, made
// once and kept running by a persistent server started with its output
// detached (a server holding the test's pipe would keep the run from ending),
// so that each program started in it takes a fraction of a second.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "tests/support/TempDir.h"

namespace testsupport {

// Debian puts wine64 here, not on the PATH.
inline const char* const kWine = "/usr/lib/wine/wine64";
inline const char* const kWineServer = "/usr/lib/wine/wineserver";

class WineSession : public ::testing::Environment {
 public:
  // `missing` names what the program needs and lacks besides Wine ("" when
  // nothing): the program is then skipped as a whole (exit status 77).
  explicit WineSession(std::function<std::string()> missing) : missing_(std::move(missing)) {}
  void SetUp() override;
  void TearDown() override;
  // The persistent server, stopped and started again around runs that need
  // another display.
  static void StartServer();
  static void StopServer();

 private:
  std::function<std::string()> missing_;
  std::unique_ptr<TempDir> prefix_;
};

// A Unix path as Windows programs see it: on drive Z:.
std::string WinePath(const std::string& path);

}  // namespace testsupport
