// zipbuilder comment ARCHIVE [TEXT | -]: print or set the archive comment.
#include <iostream>
#include <iterator>

#include "tools/Command.h"
#include "tools/CommandSupport.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

int RunComment(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2) {
    std::cerr << "usage: zipbuilder comment ARCHIVE [TEXT | -]\n";
    return kExitUsage;
  }
  const std::string& archive = args[0];
  ui::ConsoleUi console;  // the command line shows and asks on the terminal
  TZipBuilder zip(nullptr, &console);
  ReportToStderr(zip);
  if (auto opening = OpenArchive(zip, archive); opening != ArchiveOpening::Listed)
    return OpeningFailure(opening);

  if (args.size() == 1) {
    // As it is stored through a pipe (so that it can be set again from there),
    // made safe when it reaches a terminal.
    std::string comment = zip.GetZipComment();
    if (platform::StdoutIsTerminal()) comment = EscapedText(comment, true);
    std::cout << comment;
    if (!comment.empty() && comment.back() != '\n') std::cout << '\n';
    return kExitOk;
  }
  std::string text = args[1];
  if (text == "-") text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  if (text.size() > 65535) {
    std::cerr << "zipbuilder: a comment holds at most 65535 bytes\n";
    return kExitUsage;
  }
  bool failed = false;
  zip.OnMessage = [&failed](TZipBuilder*, int, const std::string& message) {
    failed = true;
    std::cerr << "zipbuilder: " << EscapedText(message, true) << '\n';
  };
  zip.SetZipComment(text);
  return failed ? kExitError : kExitOk;
}

RegisterCommand commentCommand({"comment", "comment ARCHIVE [TEXT | -]",
                                "print the archive comment, or set it to TEXT (- reads standard input)",
                                RunComment});

}  // namespace
