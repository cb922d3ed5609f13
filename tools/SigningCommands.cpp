// zipbuilder keygen and sign: a maker's key pair for the installer's packages,
// and the detached signature of a package (setup.sig beside setup.cab).
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include "installer/PackageSignature.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "tools/Command.h"
#include "tools/CommandSupport.h"
#include "tools/ExitStatus.h"

namespace {

// Writes `text` to a new file at `path`, readable by its owner alone when
// `secret`; false when it exists or cannot be written.
bool WriteNewFile(const std::string& path, const std::string& text, bool secret) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::exists(path, error)) return false;
  std::ofstream(path, std::ios::binary).close();  // empty until its mode is set
  if (secret) fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, error);
  if (error) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

int RunKeygen(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::cerr << "usage: zipbuilder keygen NAME\n";
    return kExitUsage;
  }
  const installer::KeyPair pair = installer::NewKeyPair();
  const std::string& name = args[0];
  if (!WriteNewFile(name + ".key", pair.privateKey + "\n", true)) {
    std::cerr << "zipbuilder: cannot write " << name << ".key (it must not exist yet)\n";
    return kExitError;
  }
  if (!WriteNewFile(name + ".pub", pair.publicKey + "\n", false)) {
    std::cerr << "zipbuilder: cannot write " << name << ".pub (it must not exist yet)\n";
    return kExitError;
  }
  Say() << "zipbuilder: wrote " << name << ".key (private, keep it) and " << name << ".pub\n";
  return kExitOk;
}

int RunSign(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    std::cerr << "usage: zipbuilder sign NAME.key PACKAGE\n";
    return kExitUsage;
  }
  std::ifstream keyFile(args[0]);
  std::stringstream key;
  key << keyFile.rdbuf();
  std::optional<std::string> signature =
      installer::SignFile(*platform::DefaultEnv().files, key.str(), args[1]);
  if (!keyFile || !signature) {
    std::cerr << "zipbuilder: cannot sign " << args[1] << " with " << args[0] << '\n';
    return kExitError;
  }
  const std::string path = platform::ChangeFileExt(args[1], ".sig");
  std::ofstream out(path, std::ios::trunc);
  out << *signature << '\n';
  if (!out.flush()) {
    std::cerr << "zipbuilder: cannot write " << path << '\n';
    return kExitError;
  }
  Say() << "zipbuilder: wrote " << path << '\n';
  return kExitOk;
}

RegisterCommand keygenCommand({"keygen", "keygen NAME",
                               "make a key pair for signing packages: NAME.key (private) and NAME.pub", RunKeygen});
RegisterCommand signCommand({"sign", "sign NAME.key PACKAGE",
                             "sign PACKAGE: its signature goes beside it, with the extension .sig", RunSign});

}  // namespace
