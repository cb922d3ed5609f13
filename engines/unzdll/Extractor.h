// One extraction run: selects members, asks the component what it must
// (passwords, overwriting, CRC errors, memory), writes or tests each member and
// reports progress. Callbacks all happen on the calling thread, each member's
// together and in member order; plain members (AES ones once a password has
// worked) are written or tested by worker threads and reported here.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

#include "engines/unzdll/CentralDirectory.h"
#include "engines/unzdll/ExtractOptions.h"
#include "engines/unzdll/MemberDecoder.h"
#include "engines/unzdll/MemberWriterPool.h"
#include "engines/unzdll/OutputTree.h"
#include "engines/unzdll/ReadAhead.h"
#include "engines/common/EngineCallback.h"

namespace unzdll {

class Extractor {
 public:
  Extractor(const ExtractOptions& options, engine::EngineCallback& callback,
            platform::FileSystem& files);
  // Returns the number of members extracted or tested successfully; a failure
  // that ends the run throws EngineError.
  int32_t Run();

 private:
  enum class Outcome { Done, Skipped, Stopped, Queued };

  int32_t RunArchive();
  int32_t RunStream();
  bool Selected(const Member& member) const;
  // Plain files (written or tested) go to the worker threads, AES ones too once
  // a password has worked.
  bool WrittenByWorkers(const Member& member) const;
  // The overwrite question: bit 16 older, low 16 bits the member's index among files.
  struct OverwriteQuestion {
    int32_t flags;
    intptr_t defaultAnswer;
  };
  // `ask`: the overwrite question still to be asked when the member is reported.
  Outcome Queue(const Member& member, std::vector<std::string> parts, const std::string& target,
                uint64_t dataLimit, const std::optional<OverwriteQuestion>& ask);
  // Reports queued members, oldest first, until at most `keep` are left, and
  // with `doneOnly` those past that whose results are already there; false
  // when the run was stopped.
  bool Settle(size_t keep, bool doneOnly = false);
  Outcome ReportWritten(WriteResult written, const std::optional<OverwriteQuestion>& ask);
  // True when a queued member will land on this path or on one of its directories.
  bool ClashesWithQueued(const std::vector<std::string>& parts) const;
  Outcome ExtractMember(ArchiveFile& file, const Member& member, uint32_t fileIndex, uint64_t dataLimit);
  // Tests or decodes the member here (not on a worker), asking for its password.
  Outcome DecodeMember(ArchiveFile& file, const Member& member, const std::vector<std::string>& parts,
                       uint64_t dataLimit);
  Outcome ExtractToMemory(ArchiveFile& file, const Member& member, uint64_t dataLimit);
  // Reports the member's start; a stop, or a skip report for what cannot be decoded.
  std::optional<Outcome> BeginMember(const Member& member);
  // Finds where the member's data starts; a skip report when its local header is bad.
  std::optional<Outcome> Locate(ArchiveFile& file, const Member& member, uint64_t dataLimit, MemberData& data);
  // Decodes into the caller's block, asking for memory when it is missing or small.
  Outcome DecodeIntoMemory(ByteSource& source, const Member& member, const MemberData& data);
  Outcome ExtractDirectory(const Member& member, const std::vector<std::string>& parts);
  Outcome ExtractLink(ByteSource& source, const Member& member, MemberData data,
                      const std::vector<std::string>& parts);
  // Decides whether an existing target may be replaced; nullopt: go ahead. With
  // `later`, a question to ask is left there rather than asked.
  std::optional<Outcome> CheckExisting(const Member& member, const std::string& target, uint32_t fileIndex,
                                       const std::string& directory, std::optional<OverwriteQuestion>* later);
  std::optional<Outcome> AskOverwrite(const Member& member, const OverwriteQuestion& question);
  // Prepares decryption of an encrypted member; false when no password fits.
  enum class Unlock { Ok, NoPassword, Stopped };
  struct PasswordState {
    uint32_t requestsLeft;  // for this member
  };
  Unlock UnlockMember(ByteSource& source, const Member& member, MemberData& data,
                      std::unique_ptr<MemberCipher>& cipher, PasswordState& state);
  // UnlockMember for encrypted members, with its outcome when the member ends there.
  std::optional<Outcome> Decrypt(ByteSource& source, const Member& member, MemberData& data,
                                 std::unique_ptr<MemberCipher>& cipher, PasswordState& state);
  // Reports a failed decode; returns the outcome for the member.
  Outcome ReportDecodeFailure(const Member& member, const DecodeResult& result);
  // Asks what to do about a CRC mismatch; true when the member is kept.
  bool KeepDespiteCrc(const Member& member, uint32_t found);
  Outcome Skip(const Member& member, int32_t engineError, int32_t reason, const std::string& text = {});
  ProgressFunction Progress();

  const ExtractOptions& options_;
  engine::EngineCallback& callback_;
  platform::FileSystem& files_;
  MemberDecoder decoder_;
  ArchiveFile* archive_ = nullptr;  // the archive of the run, for members workers give back
  ReadAhead* readAhead_ = nullptr;  // the run's blocks of member data, while it runs
  size_t position_ = 0;             // the member at hand, among the selected ones
  std::optional<OutputTree> tree_;
  std::unique_ptr<MemberWriterPool> writers_;  // declared after tree_: goes first
  struct QueuedMember {
    engine::EngineCallback::Lane lane;
    std::optional<OverwriteQuestion> ask;
  };
  std::deque<QueuedMember> queued_;  // members on the workers, oldest first
  std::unordered_set<std::string> queuedTargets_;
  std::unordered_set<std::string> targetsNamed_;  // files and links this run may have made
  int32_t done_ = 0;
  std::optional<std::string> password_;  // the last one that worked, or the one given
  bool passwordRequestsCancelled_ = false;
};

}  // namespace unzdll
