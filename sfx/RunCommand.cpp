#include "sfx/RunCommand.h"

// clang-format off
#include <windows.h>  // first: the other Windows headers build on it
// clang-format on
#include <shellapi.h>

namespace sfx {

bool RunCommandLine(const std::wstring& commandLine, const std::wstring& directory, bool wait) {
  std::wstring line;
  for (size_t i = 0; i < commandLine.size();) {
    if (commandLine.compare(i, 5, L"<dir>") == 0) {
      line += directory;
      i += 5;
    } else {
      line += commandLine[i++];
    }
  }
  // The program: the first word, or the quoted text at the start.
  size_t programEnd = line[0] == L'"' ? line.find(L'"', 1) : line.find(L' ');
  std::wstring program =
      line[0] == L'"'
          ? line.substr(1, programEnd == std::wstring::npos ? std::wstring::npos : programEnd - 1)
          : line.substr(0, programEnd);
  std::wstring rest =
      programEnd == std::wstring::npos ? L"" : line.substr(programEnd + (line[0] == L'"' ? 1 : 0));
  std::wstring inTarget = directory + L'\\' + program;
  bool relative =
      program.find(L':') == std::wstring::npos && !program.empty() && program[0] != L'\\';
  if (relative && GetFileAttributesW(inTarget.c_str()) != INVALID_FILE_ATTRIBUTES)
    program = inTarget;
  std::wstring full = L"\"" + program + L"\"" + rest;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(nullptr, full.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(),
                     &startup, &process)) {
    if (wait) WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
  }
  // Not a program: a document, opened with the program registered for it.
  std::wstring parameters = rest.empty() ? L"" : rest.substr(1);
  return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", program.c_str(),
                                                 parameters.c_str(), directory.c_str(),
                                                 SW_SHOWNORMAL)) > 32;
}

}  // namespace sfx
