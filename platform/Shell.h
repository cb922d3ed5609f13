// The shell's services: erasing with or without undo, and opening documents.
#pragma once

#include <string>

namespace platform {

class Shell {
 public:
  virtual ~Shell() = default;
  // SHFileOperationA FO_DELETE on one file: 0 on success, non-zero on failure.
  // With `allowUndo` the file goes to the freedesktop.org Trash with its .trashinfo.
  virtual int DeleteFile(const std::string& path, bool allowUndo) = 0;
  // Puts a copy of the file in the Trash, as DeleteFile with undo would put the
  // file itself, and leaves the file where it is: 0 on success, non-zero on failure.
  virtual int CopyToTrash(const std::string& path) = 0;
  // ShellExecuteA: a value above 32 on success. PE executables run through wine,
  // native ones directly, anything else through xdg-open; detached.
  virtual int Execute(const std::string& verb, const std::string& file,
                      const std::string& parameters, const std::string& directory) = 0;
};

}  // namespace platform
