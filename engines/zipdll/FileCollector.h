// Turns the file specifications of an add command into the list of files and
// directories to add, with the names they get inside the archive.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engines/zipdll/AddRequest.h"
#include "engines/zipdll/EngineSession.h"
#include "platform/FileSystem.h"

namespace zipdll {

struct Candidate {
  std::string diskPath;  // as the platform takes it
  std::string name;      // archive name, "/" separators; directories end in "/"
  bool isDirectory = false;
  uint64_t size = 0;
  uint32_t dosDateTime = 0;
  uint32_t mode = 0;        // POSIX type and permission bits
  uint32_t attributes = 0;  // DOS attribute bits
  std::string linkTarget;   // a link stored as one: its target is the member's data
  const FileSpec* spec = nullptr;  // encryption and password come from here
};

// The name a relative or absolute path gets inside the archive: "/" separators,
// no drive, no leading separator, no "." or ".." components.
std::string ArchiveNameOf(const std::string& path);
// MS-DOS 8.3 form of every component, upper case.
std::string ForceDosName(const std::string& name);

class FileCollector {
 public:
  FileCollector(platform::FileSystem& fs, const AddRequest& request, EngineSession& session);
  // Files modified at or before this Unix time are skipped (archive-only option).
  void SkipNotModifiedSince(int64_t unixTime) { notModifiedSince_ = unixTime; }
  // Never collect this file (the archive itself).
  void Exclude(const std::string& diskPath);
  std::vector<Candidate> Collect();

 private:
  void CollectSpec(const FileSpec& spec);
  void Walk(const FileSpec& spec, const std::string& relDir, const std::string& pattern, bool recurse,
            bool& matched);
  void AddCandidate(const FileSpec& spec, const std::string& relPath, const platform::FileInfo& info);
  std::optional<platform::FileInfo> ResolveLink(const std::string& path);
  // A link found by a walk or named: stored as a link, or followed.
  std::optional<platform::FileInfo> LinkInfo(const std::string& path, const platform::FileInfo& link);
  std::map<std::string, std::string> linkTargets_;  // by disk path, for links stored as links
  std::string DiskPath(const FileSpec& spec, const std::string& relPath) const;
  bool Excluded(const std::string& name) const;

  platform::FileSystem& fs_;
  const AddRequest& request_;
  EngineSession& session_;
  std::vector<Candidate> found_;
  std::set<std::string> names_;
  std::set<std::string> excludedPaths_;
  std::optional<int64_t> notModifiedSince_;
};

}  // namespace zipdll
