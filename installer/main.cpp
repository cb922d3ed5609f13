// The installer program `setup`: its window, or with --unattended (/S) no window at all.
#include <cctype>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "installer/Installer.h"
#include "installer/MakerSettings.h"
#include "installer/RunLog.h"
#include "installer/UnattendedUi.h"
#include "platform/Env.h"
#include "platform/ProgramPath.h"
#include "platform/Terminal.h"

#if defined(ZB_INSTALLER_WINDOW)
#include <QApplication>

#include "installer/TfrMain.h"
#include "ui/QtUi.h"
#elif defined(_WIN32)
#include "installer/Win32MainWindow.h"
#include "ui/win32/Win32Ui.h"
#endif

namespace {

void Usage() {
  std::cout << "usage: setup [--unattended] [--log FILE]\n"
               "Installs the update package that lies beside the program (same name, .DAT and .cab).\n"
               "  --unattended  no window; message boxes are written to standard output (also /S)\n"
               "  --log FILE    appends one timestamped line per step to FILE (also /LOG=FILE)\n";
}

// "/LOG=FILE" in any letter case, as Windows users write it: FILE, else nothing.
std::optional<std::string> WindowsLogOption(const std::string& arg) {
  if (arg.size() < 5 || arg[0] != '/') return std::nullopt;
  std::string head = arg.substr(1, 4);
  for (char& c : head) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (head != "LOG=") return std::nullopt;
  return arg.substr(5);
}

}  // namespace

// The key every package must be signed with; empty when the maker signs none.
const char* const kPublicKey = ZB_PACKAGE_PUBLIC_KEY_HEX;

int main(int argc, char** argv) {
  // A windowed program on Windows: its lines go to the console it was started from.
  if (argc > 1) platform::UseParentConsole();
  const std::vector<std::string> args = platform::ProgramArguments(argc, argv);
  bool unattended = false;
  std::optional<std::string> logPath;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--unattended" || arg == "/S" || arg == "/s") {
      unattended = true;
    } else if (arg == "--log" && i + 1 < args.size()) {
      logPath = args[++i];
    } else if (arg.rfind("--log=", 0) == 0) {
      logPath = arg.substr(6);
    } else if (auto path = WindowsLogOption(arg)) {
      logPath = *path;
    } else if (arg == "--help" || arg == "-h") {
      Usage();
      return 0;
    } else {
      std::cerr << "setup: unknown option " << arg << "\n";
      Usage();
      return 1;
    }
  }
  std::string programPath = platform::ProgramPath();
  installer::RunLog log(*platform::DefaultEnv().files);
  if (logPath) {
    if (logPath->empty() || !log.Open(*logPath)) {
      std::cerr << "setup: cannot write the log " << *logPath << "\n";
      return installer::kExitStartupError;
    }
    log.Write(std::string("setup started") + (unattended ? " unattended" : "") + ", program " + programPath);
  }
  auto finish = [&log](int status) {
    log.Write("exit status " + std::to_string(status));
    return status;
  };

  if (!unattended) {
#ifdef ZB_INSTALLER_WINDOW
    QApplication app(argc, argv);
    ui::QtUi windowUi;
    installer::TfrMain frMain(installer::InstallerSetup{nullptr, &windowUi, nullptr, programPath, log.Writer(), kPublicKey});
    frMain.show();
    app.exec();
    return finish(frMain.Logic().ExitStatus());
#elif defined(_WIN32)
    ui::Win32Ui windowUi;
    installer::Win32MainWindow frMain(
        installer::InstallerSetup{nullptr, &windowUi, nullptr, programPath, log.Writer(), kPublicKey});
    if (!frMain.Run()) {
      std::cerr << "setup: cannot open the window; run it with --unattended\n";
      return finish(installer::kExitStartupError);
    }
    return finish(frMain.Logic().ExitStatus());
#else
    std::cerr << "setup: built without a window; run it with --unattended\n";
    return 1;
#endif
  }
  installer::UnattendedUi console(std::cout);
  return finish(installer::RunUnattended(nullptr, console, programPath, log.Writer(), kPublicKey));
}
