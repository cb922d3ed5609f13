// The one rule for every name an operation writes: before anything is written,
// each output is compared with each file the operation reads (the archive, every
// volume of a set, the stub) by the file the names reach, links followed and
// "." and ".." resolved. Writing over an input would destroy what is being
// read, so such an output is refused. Names are never compared as text: two
// spellings of one file are one file, and a.zip and A.zip may be two.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"

class OutputRule {
 public:
  explicit OutputRule(platform::FileSystem& files) : files_(&files) {}

  // A file the operation reads; a name that reaches no file adds nothing.
  void AddInput(const std::string& path);
  // The numbered files of volumes 0 to `lastDisk` of the set one of whose
  // volume files is `volumeFile` (backup003.zip names backup001.zip ...).
  void AddNumberedVolumes(const std::string& volumeFile, int lastDisk);

  // Raises EZipBuilder (message 11060) when `output` names a directory, or
  // (11061) when it reaches one of the inputs.
  void Check(const std::string& output) const;
  // True when `path` reaches one of the inputs.
  bool Reads(const std::string& path) const;

 private:
  platform::FileSystem* files_;
  std::vector<std::pair<std::string, platform::FileIdentity>> inputs_;
};

// True when both names reach one existing file.
bool SameFile(platform::FileSystem& files, const std::string& a, const std::string& b);

// The file of volume `diskNumber` of the numbered set one of whose volume files
// is `volumeFile`: the three characters before the extension replaced.
std::string VolumeFileOf(const std::string& volumeFile, int diskNumber);
