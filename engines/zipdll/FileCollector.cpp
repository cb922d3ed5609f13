#include "engines/zipdll/FileCollector.h"

#include <algorithm>
#include <cctype>

#include "zipformat/Wildcard.h"
#include "platform/Clock.h"
#include "platform/Paths.h"

namespace zipdll {
namespace {

constexpr uint32_t kRegularFileMode = 0100644;

std::string Slashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}


bool MatchesEverything(const std::string& pattern) { return pattern == "*" || pattern == "*.*"; }

std::string JoinRel(const std::string& dir, const std::string& name) {
  return dir.empty() ? name : dir + "/" + name;
}

}  // namespace

std::string ArchiveNameOf(const std::string& path) {
  std::string p = Slashes(path);
  if (platform::HasDriveLetter(p)) p = p.substr(2);
  std::string out;
  size_t start = 0;
  while (start <= p.size()) {
    size_t slash = p.find('/', start);
    if (slash == std::string::npos) slash = p.size();
    std::string part = p.substr(start, slash - start);
    if (!part.empty() && part != "." && part != "..") out += (out.empty() ? "" : "/") + part;
    start = slash + 1;
  }
  return out;
}

std::string ForceDosName(const std::string& name) {
  std::string out;
  size_t start = 0;
  while (start < name.size()) {
    size_t slash = name.find('/', start);
    bool last = slash == std::string::npos;
    std::string part = name.substr(start, last ? std::string::npos : slash - start);
    size_t dot = part.rfind('.');
    std::string base = part.substr(0, dot), ext = dot == std::string::npos ? "" : part.substr(dot + 1);
    auto clean = [](std::string s, size_t limit) {
      std::string r;
      for (char c : s) {
        if (c == '.' || c == ' ') continue;
        if (std::string("+,;=[]").find(c) != std::string::npos) c = '_';
        r += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      }
      return r.substr(0, limit);
    };
    std::string dos = clean(base, 8);
    if (dos.empty()) dos = "_";
    std::string dosExt = clean(ext, 3);
    if (!dosExt.empty()) dos += "." + dosExt;
    out += dos;
    if (!last) out += "/";
    start = last ? name.size() : slash + 1;
  }
  return out;
}

FileCollector::FileCollector(platform::FileSystem& fs, const AddRequest& request, EngineSession& session)
    : fs_(fs), request_(request), session_(session) {}

void FileCollector::Exclude(const std::string& diskPath) {
  excludedPaths_.insert(platform::ExpandFileName(platform::ToNativePath(diskPath)));
}

std::vector<Candidate> FileCollector::Collect() {
  for (const FileSpec& spec : request_.specs) {
    CollectSpec(spec);
    session_.ThrowIfStopped();
  }
  return std::move(found_);
}

std::string FileCollector::DiskPath(const FileSpec& spec, const std::string& relPath) const {
  if (spec.rootDir.empty() || relPath.empty() || relPath[0] == '/' || platform::HasDriveLetter(relPath)) {
    return relPath.empty() ? "." : relPath;
  }
  return platform::JoinPath(spec.rootDir, relPath);
}

bool FileCollector::Excluded(const std::string& name) const {
  std::string bare = name;
  if (!bare.empty() && bare.back() == '/') bare.pop_back();
  std::string leaf = bare.substr(bare.rfind('/') == std::string::npos ? 0 : bare.rfind('/') + 1);
  for (const std::string& raw : request_.exclusions) {
    std::string pattern = Slashes(raw);
    if (zip::FileSpecMatch(pattern, bare) || zip::FileSpecMatch(pattern, name)) return true;
    if (pattern.find('/') == std::string::npos && zip::FileSpecMatch(pattern, leaf)) return true;
  }
  return false;
}

std::optional<platform::FileInfo> FileCollector::ResolveLink(const std::string& path) {
  // Links are followed to files; links to directories are not walked (no loops).
  std::optional<uint32_t> attributes = fs_.GetAttributes(path);
  if (!attributes || (*attributes & platform::kAttrDirectory)) return std::nullopt;
  platform::FileHandle h =
      fs_.Open(path, platform::Access::Read, platform::Share::Read, platform::Disposition::OpenExisting);
  if (h == platform::kInvalidHandle) return std::nullopt;
  platform::FileInfo info;
  info.size = static_cast<uint64_t>(std::max<int64_t>(fs_.Size(h), 0));
  info.dosDateTime = fs_.GetFileDosTime(h).value_or(0);
  info.unixTime = platform::DosDateTimeToUnix(info.dosDateTime);
  fs_.Close(h);
  info.mode = kRegularFileMode;
  info.attributes = *attributes;
  return info;
}

std::optional<platform::FileInfo> FileCollector::LinkInfo(const std::string& path,
                                                         const platform::FileInfo& link) {
  if (!request_.storeLinks) return ResolveLink(path);
  std::optional<std::string> target = fs_.ReadLink(path);
  if (!target) return std::nullopt;
  platform::FileInfo info = link;
  info.isDirectory = false;
  info.size = target->size();
  linkTargets_[path] = std::move(*target);
  return info;
}

void FileCollector::AddCandidate(const FileSpec& spec, const std::string& relPath,
                                 const platform::FileInfo& info) {
  std::string diskPath = DiskPath(spec, relPath);
  if (excludedPaths_.count(platform::ExpandFileName(platform::ToNativePath(diskPath)))) return;
  std::string name = ArchiveNameOf(relPath);
  if (info.isDirectory) {
    if (request_.noDirEntries || request_.junkDirs || name.empty()) return;
  } else if (request_.junkDirs) {
    name = name.substr(name.rfind('/') == std::string::npos ? 0 : name.rfind('/') + 1);
  }
  if (name.empty()) return;
  if (request_.forceDos) name = ForceDosName(name);
  if (info.isDirectory) name += "/";
  if (Excluded(name)) return;
  if (!info.isDirectory && notModifiedSince_ && info.unixTime <= *notModifiedSince_) return;
  if (!names_.insert(name).second) return;  // named twice: the first one counts

  Candidate c;
  c.diskPath = diskPath;
  c.name = name;
  c.isDirectory = info.isDirectory;
  c.size = info.isDirectory ? 0 : info.size;
  c.dosDateTime = info.dosDateTime;
  c.mode = info.mode;
  c.attributes = info.attributes;
  if (info.isSymlink && request_.storeLinks) c.linkTarget = linkTargets_[diskPath];
  c.spec = &spec;
  found_.push_back(std::move(c));
}

void FileCollector::Walk(const FileSpec& spec, const std::string& relDir, const std::string& pattern,
                         bool recurse, bool& matched) {
  auto entries = fs_.ListDirectory(DiskPath(spec, relDir));
  if (!entries) {
    session_.Message(kEngineOpenError, "Cannot read directory: " + DiskPath(spec, relDir));
    return;
  }
  std::sort(entries->begin(), entries->end(),
            [](const platform::DirEntry& a, const platform::DirEntry& b) { return a.name < b.name; });
  std::vector<std::string> subdirs;
  for (const platform::DirEntry& e : *entries) {
    bool hidden = (e.info.attributes & (platform::kAttrHidden | platform::kAttrSystem)) != 0;
    if (hidden && !request_.hiddenFiles) continue;
    std::string rel = JoinRel(relDir, e.name);
    if (e.info.isDirectory) {
      if (recurse) subdirs.push_back(rel);
      continue;
    }
    if (!zip::FileSpecMatch(pattern, e.name)) continue;
    std::optional<platform::FileInfo> info = e.info;
    if (e.info.isSymlink) info = LinkInfo(DiskPath(spec, rel), e.info);
    if (!info) continue;
    matched = true;
    AddCandidate(spec, rel, *info);
  }
  for (const std::string& sub : subdirs) {
    if (MatchesEverything(pattern)) {
      platform::FileInfo dirInfo;
      if (auto st = fs_.Stat(DiskPath(spec, sub))) dirInfo = *st;
      dirInfo.isDirectory = true;
      AddCandidate(spec, sub, dirInfo);
    }
    Walk(spec, sub, pattern, true, matched);
    session_.ThrowIfStopped();
  }
}

void FileCollector::CollectSpec(const FileSpec& spec) {
  std::string path = Slashes(spec.spec);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty()) return;
  bool matched = false;
  if (!zip::HasWildcards(path)) {
    std::optional<platform::FileInfo> info = fs_.Stat(DiskPath(spec, path));
    if (info && info->isSymlink) info = LinkInfo(DiskPath(spec, path), *info);
    if (info && info->isDirectory) {
      AddCandidate(spec, path, *info);
      if (spec.recurse) Walk(spec, path, "*", true, matched);
      return;
    }
    if (info) {
      AddCandidate(spec, path, *info);
      matched = true;
      if (!spec.recurse) return;
    }
  }
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "" : path.substr(0, slash == 0 ? 1 : slash);
  std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
  if (zip::HasWildcards(dir)) {
    session_.Message(kEngineFileNotFound, "Wildcards are allowed in the last component only: " + spec.spec);
    return;
  }
  auto dirInfo = fs_.Stat(DiskPath(spec, dir));
  if (dirInfo && (dirInfo->isDirectory || dirInfo->isSymlink)) {
    bool walkMatched = false;
    if (matched) {
      // The named file itself was taken above; recursion looks for the same
      // name in the subdirectories only.
      Walk(spec, dir, pattern, true, walkMatched);
    } else {
      Walk(spec, dir, pattern, spec.recurse, walkMatched);
    }
    matched = matched || walkMatched;
  }
  if (!matched) session_.Message(kEngineFileNotFound, "File not found: " + spec.spec);
}

}  // namespace zipdll
