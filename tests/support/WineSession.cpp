#include "tests/support/WineSession.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "tests/support/PeerTools.h"

namespace testsupport {

void WineSession::SetUp() {
  std::string missing = std::filesystem::exists(kWine) ? missing_() : kWine;
  if (!missing.empty()) {
    std::cout << "skipped: needs " << missing << "\n";
    std::exit(77);
  }
  prefix_ = std::make_unique<TempDir>();
  ::setenv("WINEPREFIX", (prefix_->path() + "/prefix").c_str(), 1);
  ::setenv("WINEDEBUG", "-all", 1);
  ::setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);  // no runtime installers on first start
  CommandResult boot = RunIn(prefix_->path(), std::string("env -u DISPLAY timeout 300 ") + kWine + " wineboot -i");
  ASSERT_EQ(boot.status, 0) << boot.err;
  StartServer();
}

void WineSession::TearDown() {
  StopServer();
  prefix_.reset();
}

void WineSession::StartServer() { RunIn("/", std::string(kWineServer) + " -p 120"); }

void WineSession::StopServer() { RunIn("/", std::string(kWineServer) + " -k; " + kWineServer + " -w"); }

std::string WinePath(const std::string& path) {
  std::string out = "Z:" + path;
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

}  // namespace testsupport
