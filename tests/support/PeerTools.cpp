#include "tests/support/PeerTools.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>

#include "tests/support/TempDir.h"

namespace testsupport {

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

CommandResult RunIn(const std::string& dir, const std::string& command) {
  static std::atomic<int> counter{0};
  // Test programs run side by side: their output files must not share names.
  static const std::string process = std::to_string(std::random_device{}());
  namespace fs = std::filesystem;
  // Outputs go to files beside the test's temporary directory, not into it.
  fs::path base = fs::temp_directory_path() / ("zbpeer-" + process + "-" + std::to_string(std::hash<std::string>{}(dir)) +
                                               "-" + std::to_string(counter++));
  std::string out = base.string() + ".out", err = base.string() + ".err", rc = base.string() + ".rc";
  std::string script = "cd " + ShellQuote(dir) + " && { " + command + "\n} >" + ShellQuote(out) + " 2>" +
                       ShellQuote(err) + " </dev/null; echo $? >" + ShellQuote(rc);
  std::system(("sh -c " + ShellQuote(script)).c_str());
  CommandResult result;
  result.out = ReadTextFile(out);
  result.err = ReadTextFile(err);
  std::string status = ReadTextFile(rc);
  if (!status.empty()) result.status = std::atoi(status.c_str());
  std::error_code ec;
  fs::remove(out, ec);
  fs::remove(err, ec);
  fs::remove(rc, ec);
  return result;
}

bool HaveTool(const std::string& name) {
  return RunIn(".", "command -v " + ShellQuote(name)).status == 0;
}

std::string ZipBuilderTool() {
  const char* other = std::getenv("ZB_TOOL");
  return other ? other : std::string(ZB_BINARY_DIR) + "/zipbuilder";
}

}  // namespace testsupport
