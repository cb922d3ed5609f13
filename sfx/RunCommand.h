// Running the settings' command line once the archive is extracted.
#pragma once

#include <string>

namespace sfx {

// "<dir>" in the command line stands for the directory extracted to. A program
// named relative to it is started from there.
bool RunCommandLine(const std::wstring& commandLine, const std::wstring& directory, bool wait);

}  // namespace sfx
