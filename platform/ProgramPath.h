// Where the running program lies.
#pragma once

#include <string>

namespace platform {

// The full path of the running executable (GetModuleFileNameA of the program), or
// "" when the system does not tell.
std::string ProgramPath();
// The directory of the running executable, with a trailing "/".
std::string ProgramDirectory();

}  // namespace platform
