// Files without a name on Windows. The system has no file without a directory
// entry, so one is made under a temporary name and marked for deletion at once
// (delete pending): however the process ends before the file is named, the
// system removes it when its last handle closes. Naming it clears the mark and
// renames it through its handle.
//
// While it has no name of its own, the file is reached through a path that
// carries its handle, "\\?\handle\<number>", which no file on disk can have.
// Any module of the process opens it through that path as a second handle with
// a position of its own, as /proc/self/fd does on Linux.
#pragma once

#include <optional>
#include <string>

#include "platform/win32/WindowsApi.h"

namespace platform::win32 {

std::string UnnamedPath(HANDLE file);
// The handle an UnnamedPath carries; none for any other path.
std::optional<HANDLE> HandleOfUnnamedPath(const std::string& path);

// Sets or clears the delete-pending mark (the handle needs DELETE access).
bool MarkDeletePending(HANDLE file, bool pending);
// Gives the file the name `target`, replacing a file there in one step.
bool RenameByHandle(HANDLE file, const std::string& target);

// A second handle to the file behind `file`, with its own position and
// `access`, sharing everything. Windows refuses to open a delete-pending file
// even this way: the mark is lifted for the two calls of the open and set again.
HANDLE ReopenUnnamed(HANDLE file, DWORD access);

}  // namespace platform::win32
