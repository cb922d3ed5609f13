// Archives on pipes: "-" as the archive operand. Read from standard input, the
// archive is spooled into an unnamed private temporary file that the component
// opens through its path; written to standard output, it is made under a
// temporary name and copied out once complete. Either file goes with its object.
#pragma once

#include <string>

#include "platform/TemporaryFile.h"

class TZipBuilder;

class ArchiveFromStdin {
 public:
  // Spools standard input when `operand` is "-"; otherwise Name() is `operand`.
  explicit ArchiveFromStdin(const std::string& operand);
  // Standard input could not be spooled (said on stderr).
  bool Failed() const { return failed_; }
  const std::string& Name() const { return name_; }

 private:
  platform::TemporaryFile spool_;
  std::string name_;
  bool failed_ = false;
};

class ArchiveToStdout {
 public:
  // When `operand` is "-", Name() is a fresh temporary name for the archive to
  // be made; otherwise it is `operand`.
  ArchiveToStdout(TZipBuilder& zip, const std::string& operand);
  ~ArchiveToStdout();
  const std::string& Name() const { return name_; }
  // Copies the finished archive to standard output; false (said on stderr)
  // when it cannot. True at once when the operand was a file.
  bool Deliver();

 private:
  std::string name_;
  bool piped_ = false;
};
