// Where the running program lies.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The full path of the running executable (GetModuleFileNameA of the program), or
// "" when the system does not tell.
std::string ProgramPath();
// The directory of the running executable, with a trailing "/".
std::string ProgramDirectory();
// The program's arguments after its name, in UTF-8: argv as given on POSIX; on
// Windows read again from the wide command line, as argv holds them in the
// ANSI code page.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace platform
