#include "PeerTools.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace testsupport {

namespace {

std::string Slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

CommandResult RunIn(const std::string& dir, const std::string& command) {
  static std::atomic<int> counter{0};
  namespace fs = std::filesystem;
  // Outputs go to files beside the test's temporary directory, not into it.
  fs::path base = fs::temp_directory_path() /
                  ("zbpeer-" + std::to_string(std::hash<std::string>{}(dir)) + "-" + std::to_string(counter++));
  std::string out = base.string() + ".out", err = base.string() + ".err", rc = base.string() + ".rc";
  std::string script = "cd " + ShellQuote(dir) + " && { " + command + "\n} >" + ShellQuote(out) + " 2>" +
                       ShellQuote(err) + " </dev/null; echo $? >" + ShellQuote(rc);
  std::system(("sh -c " + ShellQuote(script)).c_str());
  CommandResult result;
  result.out = Slurp(out);
  result.err = Slurp(err);
  std::string status = Slurp(rc);
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

}  // namespace testsupport
