#include "engines/zipdll/ArchiveUpdate.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>

#include "engines/zipdll/FileCollector.h"
#include "engines/zipdll/AesMember.h"
#include "engines/zipdll/MemberCompressor.h"
#include "engines/zipdll/OutputFile.h"
#include "engines/zipdll/StreamedMember.h"
#include "engines/zipdll/ArchiveRecords.h"
#include "platform/Paths.h"
#include "platform/Shell.h"
#include "platform/Umask.h"
#include "zipformat/StreamHeader.h"
#include "zipformat/TextCase.h"
#include "zipformat/Wildcard.h"

namespace zipdll {
namespace {

constexpr unsigned kWorkerThreads = 2;
// A new archive gets what the umask allows of this, as any new file; an archive
// rewritten keeps its own mode (its target's, when reached through a link).
constexpr uint32_t kNewArchiveMode = 0666;

// One member of the new archive: copied from the old one, or new.
struct PlanItem {
  int oldIndex = -1;  // kept or replaced member of the old archive
  int newIndex = -1;  // index into the candidates / jobs
};

struct OldArchive {
  bool exists = false;
  ExistingArchive contents;
  platform::FileHandle handle = platform::kInvalidHandle;
  uint32_t mode = kNewArchiveMode & ~platform::CurrentUmask();
  int64_t unixTime = 0;
};

class OldArchiveReader {
 public:
  OldArchiveReader(platform::FileSystem& fs, const std::string& path) : fs_(fs) {
    auto info = fs.Stat(path);
    if (!info) return;
    old_.handle = fs.Open(path, platform::Access::Read, platform::Share::Read, platform::Disposition::OpenExisting);
    if (old_.handle == platform::kInvalidHandle)
      throw EngineError(kEngineOpenError,
                        platform::WithReason("Cannot open " + path, fs.LastError()));
    old_.exists = true;
    old_.mode = info->mode & 07777;
    old_.unixTime = info->unixTime;
    old_.contents = ReadArchive(fs, old_.handle);
  }
  ~OldArchiveReader() {
    if (old_.handle != platform::kInvalidHandle) fs_.Close(old_.handle);
  }
  OldArchive& operator*() { return old_; }
  OldArchive* operator->() { return &old_; }

 private:
  platform::FileSystem& fs_;
  OldArchive old_;
};

// `buffer` is the caller's, reused for every member: archives with many small
// members call this once per member.
void CopyRange(platform::FileSystem& fs, platform::FileHandle in, uint64_t from, uint64_t to,
               OutputFile& out, std::vector<uint8_t>& buffer) {
  if (fs.Seek(in, static_cast<int64_t>(from), platform::SeekFrom::Begin) < 0) {
    throw EngineError(kEngineReadError, "Cannot read the archive");
  }
  while (from < to) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), to - from));
    if (fs.Read(in, buffer.data(), want) != static_cast<int64_t>(want)) {
      throw EngineError(kEngineReadError, "Cannot read the archive");
    }
    out.Write(buffer.data(), want);
    from += want;
  }
}

bool HasStoreSuffix(const AddRequest& q, const std::string& name) {
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const std::string& suffix : q.storeSuffixes) {
    if (lower.size() >= suffix.size() && lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0) {
      return true;
    }
  }
  return false;
}

Member HeaderFor(const Candidate& c, bool encrypted) {
  Member h;
  h.name = c.name;
  h.versionMadeBy = kVersionMadeBy;
  h.host = kHostSystem;
  h.versionNeeded = kVersionNeeded;
  h.flags = static_cast<uint16_t>((encrypted ? kFlagEncrypted : 0) | (zip::IsAscii(c.name) ? 0 : kFlagUtf8));
  h.dosDateTime = c.dosDateTime;
  // Unix permissions above (on a Unix host), the DOS attribute byte below.
  h.externalAttributes = (kRecordsUnixMode ? (c.mode & 0xFFFF) << 16 : 0) | (c.attributes & 0xFF);
  return h;
}

// Asks for the password of every encrypting specification that has none; one
// answer serves the whole command.
std::vector<std::optional<std::string>> Passwords(const std::vector<Candidate>& candidates,
                                                  EngineSession& session) {
  std::vector<std::optional<std::string>> passwords(candidates.size());
  std::optional<std::string> asked;
  for (size_t i = 0; i < candidates.size(); ++i) {
    const Candidate& c = candidates[i];
    if (c.isDirectory || !c.spec->encrypt) continue;
    if (c.spec->password) {
      passwords[i] = c.spec->password;
      continue;
    }
    if (!asked) {
      asked = session.AskPassword(c.name);
      session.ThrowIfStopped();
      if (!asked) throw EngineError(kEngineBadPassword, "No password given for encryption");
    }
    passwords[i] = asked;
  }
  return passwords;
}

class ArchiveWriter {
 public:
  ArchiveWriter(platform::FileSystem& fs, const AddRequest& q, EngineSession& session, OldArchive& old)
      : fs_(fs), q_(q), session_(session), old_(old), out_(fs, q.archive, q.tempDir) {}

  // Writes the plan and commits. Returns the number of new members written.
  int Write(const std::vector<PlanItem>& plan, const std::vector<Candidate>& candidates,
            std::vector<MemberJob> jobs) {
    if (old_.exists && old_.contents.prefixSize > 0)
      CopyRange(fs_, old_.handle, 0, old_.contents.prefixSize, out_, copyBuffer_);
    std::vector<MemberJob> streamedJobs = jobs;  // the writer's own copies
    CompressionPool pool(fs_, std::move(jobs), kWorkerThreads);
    int written = 0;
    for (const PlanItem& item : plan) {
      if (item.newIndex >= 0 && WriteNew(pool, candidates[item.newIndex], streamedJobs[item.newIndex],
                                         static_cast<size_t>(item.newIndex))) {
        ++written;
        addedPaths_.push_back(&candidates[item.newIndex]);
      } else if (item.oldIndex >= 0) {
        CopyOld(old_.contents.members[item.oldIndex]);
      }
      session_.ThrowIfStopped();
    }
    uint64_t centralOffset = out_.Position();
    std::string central;
    for (const Member& h : central_) central += CentralHeaderBytes(h);
    std::string comment = q_.comment ? *q_.comment : old_.contents.comment;
    std::string end = EndRecordBytes(central_.size(), central.size(), centralOffset, comment);
    out_.Write(central);
    out_.Write(end);
    uint32_t archiveTime = 0;
    if (q_.latestTime) {
      for (const Member& h : central_) archiveTime = std::max(archiveTime, h.dosDateTime);
    }
    session_.ThrowIfStopped();
    if (old_.handle != platform::kInvalidHandle) {
      fs_.Close(old_.handle);
      old_.handle = platform::kInvalidHandle;
    }
    out_.Commit(archiveTime, old_.mode);
    return written;
  }

  const std::vector<const Candidate*>& Added() const { return addedPaths_; }

 private:
  void CopyOld(const ExistingMember& m) {
    Member h = m.member;
    h.localHeaderOffset = out_.Position();
    CopyRange(fs_, old_.handle, m.member.localHeaderOffset, m.rawEnd, out_, copyBuffer_);
    central_.push_back(h);
  }

  bool WriteNew(CompressionPool& pool, const Candidate& c, const MemberJob& job, size_t index) {
    session_.Call(kActionMemberBegin, 0, static_cast<intptr_t>(c.size), c.name);
    session_.ThrowIfStopped();
    Member h = HeaderFor(c, job.password.has_value() && !c.isDirectory);
    h.localHeaderOffset = out_.Position();
    if (c.isDirectory) {
      out_.Write(LocalHeaderBytes(h));
      central_.push_back(h);
      return true;
    }
    if (job.streamed) {
      WriteStreamedMember(fs_, job, h, out_, session_);
      central_.push_back(h);
      return true;
    }
    MemberResult& r = pool.Wait(index);
    if (r.errorCode == kEngineNoMemory) throw EngineError(r.errorCode, r.error);
    if (r.errorCode) {
      session_.Message(r.errorCode, r.error);
      pool.Release(index);
      return false;
    }
    h.method = r.method;
    h.crc = r.crc;
    h.uncompressedSize = r.size;
    h.compressedSize = r.data.size();
    if (job.password && job.aesStrength) SetAesHeader(h, job.aesStrength);
    out_.Write(LocalHeaderBytes(h));
    out_.Write(r.data.data(), r.data.size());
    pool.Release(index);
    session_.Progress(kActionBytesDone, static_cast<int64_t>(h.uncompressedSize));
    central_.push_back(h);
    return true;
  }

  platform::FileSystem& fs_;
  const AddRequest& q_;
  EngineSession& session_;
  OldArchive& old_;
  OutputFile out_;
  std::vector<Member> central_;
  std::vector<const Candidate*> addedPaths_;
  std::vector<uint8_t> copyBuffer_ = std::vector<uint8_t>(1 << 20);
};

std::vector<MemberJob> JobsFor(const AddRequest& q, const std::vector<Candidate>& candidates,
                               const std::vector<std::optional<std::string>>& passwords) {
  std::vector<MemberJob> jobs(candidates.size());
  // Tests lower the bound to stream small files.
  uint64_t limit = kWholeBufferLimit;
  if (const char* text = std::getenv("ZIPDLL_WHOLE_BUFFER_LIMIT")) limit = std::strtoull(text, nullptr, 10);
  for (size_t i = 0; i < candidates.size(); ++i) {
    const Candidate& c = candidates[i];
    MemberJob& j = jobs[i];
    j.diskPath = c.diskPath;
    j.size = c.isDirectory ? 0 : c.size;
    j.level = q.level;
    j.store = q.level == 0 || HasStoreSuffix(q, c.name);
    j.password = passwords[i];
    j.aesStrength = AesStrength(q.aesKeyBits);
    // Directories have nothing to read: marking them streamed makes the pool skip them.
    j.streamed = c.isDirectory || c.size > limit;
    if (!c.linkTarget.empty()) {  // a link stored as one: its target is its data
      j.memory = reinterpret_cast<const uint8_t*>(c.linkTarget.data());
      j.streamed = false;
    }
  }
  return jobs;
}

void RemoveSources(platform::FileSystem& fs, platform::Shell& shell, const AddRequest& q,
                   const std::vector<const Candidate*>& added, EngineSession& session) {
  // Files first, then directories deepest first (they may now be empty).
  std::vector<const Candidate*> order = added;
  std::stable_sort(order.begin(), order.end(), [](const Candidate* a, const Candidate* b) {
    if (a->isDirectory != b->isDirectory) return !a->isDirectory;
    return a->isDirectory && a->name.size() > b->name.size();
  });
  for (const Candidate* c : order) {
    bool ok;
    if (c->isDirectory) {
      ok = fs.RemoveDirectory(c->diskPath);
    } else if (q.moveToTrash) {
      ok = shell.DeleteFile(c->diskPath, true) == 0;
    } else {
      ok = fs.DeleteFile(c->diskPath);
    }
    if (!ok && !c->isDirectory) session.Message(kEngineWarning, "Could not remove " + c->diskPath);
  }
}

}  // namespace

int RunAdd(platform::FileSystem& fs, platform::Shell& shell, const AddRequest& q,
           EngineSession& session) {
  if (q.archive.empty()) throw EngineError(kEngineBadParameters, "No archive name given");
  if (q.aesKeyBits && !AesStrength(q.aesKeyBits))
    throw EngineError(kEngineBadParameters, "AES keys are 128, 192 or 256 bits long, not " +
                                                std::to_string(q.aesKeyBits));
  OldArchiveReader old(fs, q.keepFrom.empty() ? q.archive : q.keepFrom);

  std::vector<Candidate> candidates;
  if (q.useInStream) {
    if (q.specs.empty() || !q.inStream) throw EngineError(kEngineBadParameters, "No member name for the stream");
    Candidate c;
    c.name = ArchiveNameOf(q.specs[0].spec);
    if (q.junkDirs) c.name = c.name.substr(c.name.rfind('/') == std::string::npos ? 0 : c.name.rfind('/') + 1);
    if (q.forceDos) c.name = ForceDosName(c.name);
    if (c.name.empty()) throw EngineError(kEngineBadParameters, "No member name for the stream");
    c.size = q.inStreamSize;
    c.dosDateTime = q.streamDateTime;
    c.attributes = q.streamAttributes & 0xFF;
    c.mode = (q.streamAttributes & 0x01) ? 0100444 : 0100644;
    c.spec = &q.specs[0];
    candidates.push_back(c);
  } else {
    FileCollector collector(fs, q, session);
    collector.Exclude(q.archive);
    if (!q.keepFrom.empty()) collector.Exclude(q.keepFrom);
    if (q.archiveOnly) {
      // No archive attribute here: "changed since the last archiving" means
      // modified after the archive file itself was last written.
      if (old->exists) collector.SkipNotModifiedSince(old->unixTime);
      session.Verbose("Archive-bit selection: files modified since the archive was written");
    }
    candidates = collector.Collect();
  }

  // Decide per candidate: add, replace, or skip (freshen and update).
  std::map<std::string, int> oldByName;
  for (size_t i = 0; i < old->contents.members.size(); ++i) {
    oldByName.emplace(old->contents.members[i].member.name, static_cast<int>(i));
  }
  std::vector<PlanItem> plan;
  for (size_t i = 0; i < old->contents.members.size(); ++i) plan.push_back({static_cast<int>(i), -1});
  std::vector<Candidate> chosen;
  bool anyFound = !candidates.empty();
  for (Candidate& c : candidates) {
    auto it = oldByName.find(c.name);
    if (it != oldByName.end()) {
      const Member& existing = old->contents.members[it->second].member;
      if ((q.freshen || q.update) && c.dosDateTime <= existing.dosDateTime) continue;
      if (c.isDirectory) continue;  // the directory entry is there already
      plan[it->second].newIndex = static_cast<int>(chosen.size());
    } else {
      if (q.freshen) continue;
      plan.push_back({-1, static_cast<int>(chosen.size())});
    }
    chosen.push_back(std::move(c));
  }
  if (!anyFound) throw EngineError(kEngineNothingToDo, "Nothing to do: no files found to add");
  if (chosen.empty()) {
    session.Message(0, "Nothing to do: the archive is up to date");
    return 0;
  }

  std::vector<std::optional<std::string>> passwords = Passwords(chosen, session);
  std::vector<MemberJob> jobs = JobsFor(q, chosen, passwords);
  if (q.useInStream) {
    jobs[0].memory = q.inStream;
    jobs[0].streamed = false;
  }
  int files = 0;
  int64_t bytes = 0;
  for (const Candidate& c : chosen) {
    ++files;
    bytes += static_cast<int64_t>(c.size);
  }
  session.Progress(kActionMemberCount, files);
  session.Progress(kActionTotalBytes, bytes);
  session.ThrowIfStopped();

  ArchiveWriter writer(fs, q, session, *old);
  int written = writer.Write(plan, chosen, std::move(jobs));
  if (q.resetArchive) session.Verbose("Archive bits: nothing to reset on this system");
  if (q.move && !q.useInStream) RemoveSources(fs, shell, q, writer.Added(), session);
  session.Progress(kActionBatchEnd, 0);
  return written;
}

int RunDelete(platform::FileSystem& fs, const AddRequest& q, EngineSession& session) {
  OldArchiveReader old(fs, q.archive);
  if (!old->exists) throw EngineError(kEngineFileNotFound, "Archive not found: " + q.archive);
  std::vector<PlanItem> plan;
  int deleted = 0;
  auto matches = [](const std::vector<std::string>& patterns, const std::string& name) {
    std::string bare = name;
    if (!bare.empty() && bare.back() == '/') bare.pop_back();
    for (const std::string& p : patterns) {
      if (zip::FileSpecMatch(p, name) || zip::FileSpecMatch(p, bare)) return true;
    }
    return false;
  };
  std::vector<std::string> specs;
  for (const FileSpec& s : q.specs) specs.push_back(s.spec);
  session.Progress(kActionMemberCount, static_cast<int64_t>(old->contents.members.size()));
  for (size_t i = 0; i < old->contents.members.size(); ++i) {
    const std::string& name = old->contents.members[i].member.name;
    if (matches(specs, name) && !matches(q.exclusions, name)) {
      session.Call(kActionMemberBegin, 0,
                   static_cast<intptr_t>(old->contents.members[i].member.uncompressedSize), name);
      session.ThrowIfStopped();
      session.Verbose("Deleting " + name);
      ++deleted;
    } else {
      plan.push_back({static_cast<int>(i), -1});
    }
  }
  if (deleted == 0) {
    session.Message(kEngineNothingToDo, "Nothing to do: no member matches");
    return 0;
  }
  ArchiveWriter writer(fs, q, session, *old);
  writer.Write(plan, {}, {});
  session.Progress(kActionBatchEnd, 0);
  return deleted;
}

static_assert(kStreamHeaderSize == zip::kStreamHeaderBytes,
              "one stream header for the record and the format");

int RunStreamToStream(const AddRequest& q, EngineSession& session) {
  if (!q.inStream || !q.outStream || !q.outStreamSize) {
    throw EngineError(kEngineBadParameters, "Stream buffers missing");
  }
  MemberJob job;
  job.level = q.level;
  job.store = q.level == 0;
  session.Progress(kActionMemberCount, 1);
  session.Progress(kActionTotalBytes, q.inStreamSize);
  session.Progress(kActionMemberBegin, q.inStreamSize);
  session.ThrowIfStopped();
  MemberResult r;
  CompressMember(q.inStream, q.inStreamSize, job, r);
  uint64_t total = kStreamHeaderSize + r.data.size();
  if (total > *q.outStreamSize) throw EngineError(kEngineWriteError, "Output stream buffer too small");
  uint8_t* out = q.outStream;
  zip::EncodeStreamHeader({r.crc, r.method}, out);
  std::copy(r.data.begin(), r.data.end(), out + kStreamHeaderSize);
  *q.outStreamSize = static_cast<uint32_t>(total);
  session.Progress(kActionBytesDone, q.inStreamSize);
  session.Progress(kActionBatchEnd, 0);
  return 1;
}

}  // namespace zipdll
