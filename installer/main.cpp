// The installer program `setup`: its window, or with --unattended no window at all.
#include <cstring>
#include <iostream>

#include "installer/UnattendedUi.h"
#include "platform/ProgramPath.h"

#ifdef ZB_INSTALLER_WINDOW
#include <QApplication>

#include "installer/TfrMain.h"
#include "ui/QtUi.h"
#endif

namespace {

void Usage() {
  std::cout << "usage: setup [--unattended]\n"
               "Installs the update package that lies beside the program (same name, .DAT and .cab).\n"
               "  --unattended  no window; message boxes are written to standard output\n";
}

}  // namespace

int main(int argc, char** argv) {
  bool unattended = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--unattended") == 0) {
      unattended = true;
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      Usage();
      return 0;
    } else {
      std::cerr << "setup: unknown option " << argv[i] << "\n";
      Usage();
      return 1;
    }
  }
  std::string programPath = platform::ProgramPath();

  if (!unattended) {
#ifdef ZB_INSTALLER_WINDOW
    QApplication app(argc, argv);
    ui::QtUi windowUi;
    installer::TfrMain frMain(installer::InstallerSetup{nullptr, &windowUi, nullptr, programPath});
    frMain.show();
    app.exec();
    return frMain.Logic().ExitStatus();
#else
    std::cerr << "setup: built without a window; run it with --unattended\n";
    return 1;
#endif
  }
  installer::UnattendedUi console(std::cout);
  return installer::RunUnattended(nullptr, console, programPath);
}
