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

std::string PeerTestFailures(const std::string& dir, const std::string& archive) {
  std::string failures;
  const std::string name = ShellQuote(archive);
  for (const std::string& command :
       {"unzip -tq " + name, "7z t " + name, "python3 -m zipfile -t " + name}) {
    CommandResult r = RunIn(dir, command);
    if (r.status != 0) failures += command + ": " + r.out.substr(0, 2000) + r.err + "\n";
  }
  return failures;
}

std::map<std::string, std::string> MemberDigests(const std::string& dir, const std::string& archive) {
  const CommandResult r = RunIn(
      dir, "python3 -c " + ShellQuote("import hashlib, sys, zipfile\n"
                                      "with zipfile.ZipFile(sys.argv[1]) as z:\n"
                                      "  for i in z.infolist():\n"
                                      "    d = z.read(i)\n"
                                      "    print(i.filename + '\\t' + str(len(d)) + ' ' + "
                                      "hashlib.sha256(d).hexdigest())\n") +
               " " + ShellQuote(archive));
  std::map<std::string, std::string> digests;
  if (r.status != 0) return digests;
  size_t at = 0;
  for (size_t end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = r.out.substr(at, end - at);
    const size_t tab = line.find('\t');
    if (tab != std::string::npos) digests[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return digests;
}

std::string ZipBuilderTool() {
  const char* other = std::getenv("ZB_TOOL");
  return other ? other : std::string(ZB_BINARY_DIR) + "/zipbuilder";
}

}  // namespace testsupport
