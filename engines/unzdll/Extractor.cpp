#include "engines/unzdll/Extractor.h"

#include <cstring>
#include <new>

#include "engines/unzdll/AesCipher.h"
#include "engines/unzdll/MemberChecks.h"
#include "engines/unzdll/SafeName.h"
#include "engines/unzdll/Sinks.h"
#include "engines/ZipEngineApi.h"
#include "engines/common/EngineError.h"
#include "platform/Paths.h"
#include "platform/Umask.h"
#include "zipformat/StreamHeader.h"
#include "zipformat/Wildcard.h"

namespace unzdll {
namespace {

constexpr uint64_t kMaxLinkTarget = 4096;

// Unix permissions of a Unix member without setuid, setgid and sticky bits;
// read-only or not for the others; through the umask like any new file's.
uint32_t FileMode(const Member& m) {
  static const uint32_t umask = platform::CurrentUmask();
  uint32_t mode = m.UnixMode() & 0777;
  if (!mode) mode = (m.externalAttributes & 0x01) ? 0444 : 0666;
  return mode & ~umask;
}

// FIFOs, devices and sockets recorded by a Unix writer, without data: never
// made as empty files. (Data read from a pipe is recorded as a FIFO with the
// data in it: that is a file's content and extracts as a file.)
bool IsSpecialFile(const Member& m) {
  const uint32_t type = m.UnixMode() & 0170000;
  const bool special = type == 0010000 || type == 0020000 || type == 0060000 || type == 0140000;
  return special && m.uncompressedSize == 0;
}

}  // namespace

Extractor::Extractor(const ExtractOptions& options, engine::EngineCallback& callback,
                     platform::FileSystem& files)
    : options_(options), callback_(callback), files_(files), password_(options.password) {}

int32_t Extractor::Run() {
  // A failure that ends the run leaves through the entry guard, which reports it.
  const int32_t count = options_.fromMemory ? RunStream() : RunArchive();
  if (callback_.Stopped()) callback_.Message(kEngineAborted, "Extraction aborted");
  callback_.Progress(kActionBatchEnd, 0);
  return count;
}

bool Extractor::Selected(const Member& member) const {
  if (options_.specs.empty()) return true;
  for (const std::string& spec : options_.specs) {
    if (zip::FileSpecMatch(spec, member.name)) return true;
  }
  return false;
}

ProgressFunction Extractor::Progress() {
  return [this](uint64_t bytes) { return callback_.Progress(kActionBytesDone, bytes); };
}

int32_t Extractor::RunArchive() {
  ArchiveFile file(files_, options_.archive);
  archive_ = &file;
  ArchiveDirectory dir = ReadCentralDirectory(file, options_.codePage);

  // Overwrite questions carry the member's index among the file members.
  std::vector<size_t> selected;
  std::vector<uint32_t> fileIndex(dir.members.size());
  uint32_t files = 0;
  uint64_t totalBytes = 0;
  for (size_t i = 0; i < dir.members.size(); ++i) {
    const Member& m = dir.members[i];
    fileIndex[i] = m.IsDirectory() ? 0 : files++;
    if (!Selected(m)) continue;
    if (options_.toMemory && (m.IsDirectory() || !selected.empty())) continue;  // exactly one member
    selected.push_back(i);
    totalBytes += m.uncompressedSize;
  }
  if (selected.empty()) {
    callback_.Message(kEngineNothingToDo, "No member matches the file specifications");
    return 0;
  }
  if (!callback_.Progress(kActionMemberCount, selected.size()) || !callback_.Progress(kActionTotalBytes, totalBytes))
    return 0;

  if (!options_.test && !options_.toMemory) {
    std::string base = options_.baseDirectory.empty() ? files_.GetCurrentDirectory() : options_.baseDirectory;
    std::optional<platform::FileInfo> info = files_.Stat(base);
    if (!info && !files_.CreateDirectory(base))
      throw engine::EngineError(
          kEngineCreateError,
          platform::WithReason("Cannot create the base directory " + base, files_.LastError()));
    tree_.emplace(files_, base);
    if (!info) tree_->NoteCreated(base);
  }

  // Each member's events go out in member order, also while workers run ahead;
  // a question waits for the members before it. A stop or a failure drops what
  // is still held.
  struct EndLanes {
    engine::EngineCallback& callback;
    ~EndLanes() { callback.EndLanes(); }
  } endLanes{callback_};
  callback_.SetCatchUp([this] { return Settle(0); });
  std::optional<ReadAhead> readAhead;
  if (!options_.toMemory) readAhead.emplace(file, dir.members, selected, dir.centralStart);
  readAhead_ = readAhead ? &*readAhead : nullptr;
  for (position_ = 0; position_ < selected.size(); ++position_) {
    const size_t i = selected[position_];
    const Member& m = dir.members[i];
    // Everything queued is reported before a member handled here begins; a
    // directory waits only for queued members on its path (ExtractDirectory),
    // its events wait in its lane.
    if (!WrittenByWorkers(m) && !m.IsDirectory() && !Settle(0)) break;
    const engine::EngineCallback::Lane lane = callback_.OpenLane();
    Outcome outcome = options_.toMemory ? ExtractToMemory(file, m, dir.centralStart)
                                        : ExtractMember(file, m, fileIndex[i], dir.centralStart);
    if (outcome != Outcome::Queued) callback_.CloseLane(lane);  // a queued one closes when reported
    if (outcome == Outcome::Done) ++done_;
    if (outcome == Outcome::Stopped || callback_.Stopped()) break;
    // A wait only when the window is full, and then for half of it at once;
    // past half of it, results already there are reported as they come.
    if (writers_ && writers_->InFlight() >= MemberWriterPool::kWindow)
      writers_->AwaitOldest(MemberWriterPool::kWindow / 2);
    const bool pastHalf = writers_ && writers_->InFlight() >= MemberWriterPool::kWindow / 2;
    if (!Settle(MemberWriterPool::kWindow - 1, pastHalf)) break;
  }
  if (!callback_.Stopped()) Settle(0);
  readAhead_ = nullptr;
  writers_.reset();  // after a stop, members still queued are removed unreported
  if (tree_) tree_->FinishDirectories();
  return done_;
}

bool Extractor::WrittenByWorkers(const Member& m) const {
  if (options_.toMemory || m.IsDirectory() || m.IsSymlink()) return false;
  // AES members go once a password has worked: the workers derive their keys.
  // Asking for a password, and the traditional cipher's retries, stay here.
  if (m.IsEncrypted() && !(m.IsAes() && password_)) return false;
  return SupportedMethod(m.DataMethod());
}

bool Extractor::Settle(size_t keep, bool doneOnly) {
  const engine::EngineCallback::Lane current = callback_.CurrentLane();
  bool goOn = true;
  while (goOn && writers_ && writers_->InFlight() && (writers_->InFlight() > keep || (doneOnly && writers_->OldestDone()))) {
    const QueuedMember queued = queued_.front();
    callback_.UseLane(queued.lane);
    Outcome outcome = ReportWritten(writers_->TakeOldest(Progress()), queued.ask);
    queued_.pop_front();
    callback_.CloseLane(queued.lane);
    if (outcome == Outcome::Done) ++done_;
    goOn = outcome != Outcome::Stopped && !callback_.Stopped();
  }
  callback_.UseLane(current);
  return goOn && !callback_.Stopped();
}

bool Extractor::ClashesWithQueued(const std::vector<std::string>& parts) const {
  if (queuedTargets_.empty()) return false;
  std::string path = tree_->Base();
  for (const std::string& part : parts) {
    path = platform::JoinPath(path, part);
    if (queuedTargets_.count(path)) return true;
  }
  return false;
}

Extractor::Outcome Extractor::ReportWritten(WriteResult written, const std::optional<OverwriteQuestion>& ask) {
  const Member& m = written.job.member;
  queuedTargets_.erase(written.job.target);
  // Finished or not, nothing is kept once the run was stopped.
  if (written.cancelled || callback_.Stopped()) return Outcome::Stopped;
  if (ask)
    if (std::optional<Outcome> refused = AskOverwrite(m, *ask)) return *refused;  // the file goes with `written`
  // Its password did not fit: decoded here, where another can be asked for.
  if (written.passwordFailed)
    return DecodeMember(*archive_, m, written.job.parts, written.job.dataLimit);
  if (written.error != kEngineOk)
    return Skip(m, written.error, written.errorReason, written.errorText + ": ");
  if (!options_.test && !written.pending)
    return Skip(m, kEngineCreateError, kSkipGeneralError, "Cannot create a file for ");
  const DecodeResult& result = written.decoded;
  // A member decoded whole reports its bytes once, as it would have here; a
  // streamed one has reported its steps while it was taken.
  const MemberData whole = DataOf(m);
  if (result.status == DecodeStatus::Ok && DecodedWhole(whole) && result.size &&
      !callback_.Progress(kActionBytesDone, result.size))
    return Outcome::Stopped;  // the file goes with `written`
  if (result.status != DecodeStatus::Ok) return ReportDecodeFailure(m, result);
  if (options_.test)
    return CrcMatches(m, result) ? Outcome::Done : Skip(m, kEngineCrcError, kSkipFormatWrong, "CRC error in ");
  if (!CrcMatches(m, result) && !KeepDespiteCrc(m, result.crc))
    return callback_.Stopped() ? Outcome::Stopped : Outcome::Skipped;
  if (!written.finished || !written.pending->MoveInto())
    return Skip(m, kEngineWriteError, kSkipGeneralError, "Cannot write ");
  return Outcome::Done;
}

std::optional<Extractor::Outcome> Extractor::BeginMember(const Member& m) {
  if (!callback_.Call(kActionMemberBegin, 0, static_cast<intptr_t>(m.uncompressedSize), m.name))
    return Outcome::Stopped;
  if (m.overlaps)
    return Skip(m, kEngineBadArchive, kSkipFormatWrong, "Member data overlaps another member's, refused: ");
  if ((m.flags & zip::kFlagStrongEncryption) || (m.method == zip::kMethodAes && !m.IsAes()) ||
      (m.IsAes() && !AesSaltSize(m.aesStrength)))
    return Skip(m, kEngineUnsupported, kSkipNoEncryption, "Encryption method not supported: ");
  if (!SupportedMethod(m.DataMethod()))
    return Skip(m, kEngineUnsupported, kSkipCompressionUnknown,
                "Compression method " + std::to_string(m.DataMethod()) + " not supported: ");
  return std::nullopt;
}

Extractor::Outcome Extractor::ExtractMember(ArchiveFile& file, const Member& m, uint32_t fileIndex,
                                            uint64_t dataLimit) {
  if (std::optional<Outcome> refused = BeginMember(m)) return *refused;

  std::vector<std::string> parts;
  std::string target;
  if (!options_.test) {
    bool controlsReplaced = false;
    std::optional<std::vector<std::string>> safe = SafeComponents(m.name, &controlsReplaced);
    if (!safe) return Skip(m, kEngineUnsafeName, kSkipUnsafeName, "Unsafe member name skipped: ");
    if (controlsReplaced)
      callback_.Message(kEngineWarning, "Control characters in the name replaced by \"_\": " + PrintableName(m.name));
    parts = std::move(*safe);
    if (m.IsDirectory()) return ExtractDirectory(m, parts);
    if (IsSpecialFile(m))
      return Skip(m, kEngineWarning, kSkipUnsafeName, "Special file (FIFO, device or socket) skipped: ");
    if (parts.empty()) return Skip(m, kEngineUnsafeName, kSkipUnsafeName, "Unsafe member name skipped: ");
    if (!options_.keepDirectories) parts = {parts.back()};
    // The order of the archive decides between members on the same path.
    if (ClashesWithQueued(parts) && !Settle(0)) return Outcome::Stopped;
    switch (tree_->EnsureDirectories(parts, parts.size() - 1)) {
      case TreeStatus::Ok: break;
      case TreeStatus::Unsafe:
        return Skip(m, kEngineUnsafeName, kSkipUnsafeName, "Path through a symbolic link skipped: ");
      case TreeStatus::Failed:
        return Skip(m, kEngineCreateError, kSkipGeneralError, "Cannot create the directory of ");
    }
    target = tree_->PathOf(parts);
    if (targetsNamed_.count(target))
      callback_.Message(kEngineWarning, "Another member of the same name was extracted before: " + PrintableName(m.name));
    // A question would wait for the members before this one: a small member the
    // workers write is asked about when it is reported instead.
    std::optional<OverwriteQuestion> ask;
    const bool askLater = WrittenByWorkers(m) && DecodedWhole(DataOf(m));
    if (std::optional<Outcome> refused =
            CheckExisting(m, target, fileIndex, tree_->PathOf(parts, parts.size() - 1), askLater ? &ask : nullptr))
      return *refused;
    targetsNamed_.insert(target);
    if (WrittenByWorkers(m)) return Queue(m, std::move(parts), target, dataLimit, ask);
  } else if (m.IsDirectory()) {
    return Outcome::Done;
  } else if (WrittenByWorkers(m)) {
    return Queue(m, {}, {}, dataLimit, std::nullopt);
  }
  return DecodeMember(file, m, parts, dataLimit);
}

Extractor::Outcome Extractor::Queue(const Member& m, std::vector<std::string> parts, const std::string& target,
                                    uint64_t dataLimit, const std::optional<OverwriteQuestion>& ask) {
  if (!writers_) writers_ = std::make_unique<MemberWriterPool>(files_, options_.archive, tree_ ? &*tree_ : nullptr);
  if (!target.empty()) queuedTargets_.insert(target);
  queued_.push_back({callback_.CurrentLane(), ask});
  std::shared_ptr<const OutputDirectory> directory = tree_ ? tree_->DirectoryOf(parts) : nullptr;
  // Plain members decoded whole come from the blocks read ahead here.
  std::shared_ptr<const ArchiveBlock> block;
  if (readAhead_ && !m.IsEncrypted() && DecodedWhole(DataOf(m))) block = readAhead_->For(position_);
  writers_->Submit({m, std::move(parts), target, std::move(directory), dataLimit, FileMode(m),
                    m.IsAes() ? password_ : std::nullopt, std::move(block)});
  return Outcome::Queued;
}

Extractor::Outcome Extractor::DecodeMember(ArchiveFile& file, const Member& m, const std::vector<std::string>& parts,
                                           uint64_t dataLimit) {
  MemberData located = DataOf(m);
  if (std::optional<Outcome> skipped = Locate(file, m, dataLimit, located)) return *skipped;
  PasswordState passwords{passwordRequestsCancelled_ ? 0 : options_.passwordRequests};
  // A wrong password passes the one-byte check now and then; its garbage then
  // fails to decode or to match the CRC, and the next password is asked for.
  for (;;) {
    MemberData data = located;
    std::unique_ptr<MemberCipher> cipher;
    if (std::optional<Outcome> ended = Decrypt(file, m, data, cipher, passwords)) return *ended;
    // AES checks passwords by two bytes of their keys: garbage behind a passed
    // check is damage, which its authentication code reports.
    auto retryPassword = [&](const DecodeResult& r) {
      const bool garbage = r.status == DecodeStatus::BadData || r.status == DecodeStatus::TooLong ||
                           r.status == DecodeStatus::TooShort || (r.status == DecodeStatus::Ok && r.crc != m.crc);
      if (!m.IsEncrypted() || m.IsAes() || !garbage || passwords.requestsLeft == 0 || passwordRequestsCancelled_)
        return false;
      password_.reset();
      return true;
    };

    if (options_.test) {
      NullSink sink;
      DecodeResult result = decoder_.Decode(file, data, sink, Progress());
      if (retryPassword(result)) continue;
      if (result.status != DecodeStatus::Ok) return ReportDecodeFailure(m, result);
      if (!CrcMatches(m, result))
        return Skip(m, kEngineCrcError, kSkipFormatWrong, "CRC error in ");
      return Outcome::Done;
    }
    if (m.IsSymlink()) return ExtractLink(file, m, data, parts);

    std::unique_ptr<PendingFile> pending = tree_->CreatePending(tree_->DirectoryOf(parts), parts.back(), FileMode(m));
    if (!pending) return Skip(m, kEngineCreateError, kSkipGeneralError, "Cannot create a file for ");
    DecodeResult result = decoder_.Decode(file, data, *pending, Progress());
    if (retryPassword(result)) continue;  // the partial file goes with `pending`
    if (result.status != DecodeStatus::Ok) return ReportDecodeFailure(m, result);  // removes the file
    if (!CrcMatches(m, result) && !KeepDespiteCrc(m, result.crc))
      return callback_.Stopped() ? Outcome::Stopped : Outcome::Skipped;
    if (!pending->Commit(m.dosDateTime, FileMode(m)))
      return Skip(m, kEngineWriteError, kSkipGeneralError, "Cannot write ");
    return Outcome::Done;
  }
}

Extractor::Outcome Extractor::ExtractDirectory(const Member& m, const std::vector<std::string>& parts) {
  if (parts.empty()) return Outcome::Done;  // the base itself ("./")
  if (!options_.keepDirectories) return Outcome::Skipped;  // nothing to create
  // A file queued on its path goes first, as the archive's order says.
  if (ClashesWithQueued(parts) && !Settle(0)) return Outcome::Stopped;
  switch (tree_->EnsureDirectories(parts, parts.size())) {
    case TreeStatus::Ok: break;
    case TreeStatus::Unsafe:
      return Skip(m, kEngineUnsafeName, kSkipUnsafeName, "Path through a symbolic link skipped: ");
    case TreeStatus::Failed:
      return Skip(m, kEngineCreateError, kSkipGeneralError, "Cannot create the directory ");
  }
  tree_->RememberDirectory(tree_->PathOf(parts), m.dosDateTime, m.UnixMode() & 0777 & ~platform::CurrentUmask());
  return Outcome::Done;
}

Extractor::Outcome Extractor::ExtractLink(ByteSource& source, const Member& m, MemberData data,
                                          const std::vector<std::string>& parts) {
  if (m.uncompressedSize > kMaxLinkTarget) return Skip(m, kEngineBadArchive, kSkipFormatWrong, "Link target too long: ");
  StringSink sink;
  DecodeResult result = decoder_.Decode(source, data, sink, Progress());
  if (result.status != DecodeStatus::Ok) return ReportDecodeFailure(m, result);
  if (!CrcMatches(m, result)) return Skip(m, kEngineCrcError, kSkipFormatWrong, "CRC error in ");
  if (!LinkTargetStaysInside(sink.text, parts.size() - 1))
    return Skip(m, kEngineUnsafeName, kSkipUnsafeName, "Link pointing outside the base directory skipped: ");
  if (!tree_->CreateLink(parts, sink.text))
    return Skip(m, kEngineCreateError, kSkipGeneralError, "Cannot create the link ");
  return Outcome::Done;
}

std::optional<Extractor::Outcome> Extractor::CheckExisting(const Member& m, const std::string& target,
                                                           uint32_t fileIndex, const std::string& directory,
                                                           std::optional<OverwriteQuestion>* later) {
  // In a directory made by this run only this run's own members can be in the way.
  const bool surelyFree = tree_->CreatedThisRun(directory) && !targetsNamed_.count(target) &&
                          !tree_->IsKnownDirectory(target);
  std::optional<platform::FileInfo> existing;
  if (!surelyFree) existing = files_.Stat(target);
  if (!existing) {
    if (options_.freshen) return Skip(m, 0, kSkipOnFreshen);
    return std::nullopt;
  }
  if (existing->isDirectory)
    return Skip(m, kEngineCreateError, kSkipGeneralError, "A directory is in the way of ");
  const bool older = existing->dosDateTime < m.dosDateTime;
  const bool refreshing = options_.freshen || options_.update;
  if (refreshing && !older) return Skip(m, 0, kSkipFileExists);
  // Freshening and updating mean replacing older files: that is the default answer then.
  const intptr_t defaultAnswer = (refreshing || options_.overwrite) ? 1 : 0;
  const OverwriteQuestion question{(older ? 0x10000 : 0) | static_cast<int32_t>(fileIndex & 0xFFFF), defaultAnswer};
  if (later) {
    *later = question;
    return std::nullopt;
  }
  return AskOverwrite(m, question);
}

std::optional<Extractor::Outcome> Extractor::AskOverwrite(const Member& m, const OverwriteQuestion& question) {
  if (!callback_.Call(kActionOverwrite, question.flags, question.defaultAnswer, m.name)) return Outcome::Stopped;
  if (callback_.Answer().FileSize == 0) return Skip(m, 0, kSkipNoOverwrite);
  return std::nullopt;
}

std::optional<Extractor::Outcome> Extractor::Decrypt(ByteSource& source, const Member& m, MemberData& data,
                                                     std::unique_ptr<MemberCipher>& cipher,
                                                     PasswordState& state) {
  if (!m.IsEncrypted()) return std::nullopt;
  switch (UnlockMember(source, m, data, cipher, state)) {
    case Unlock::Ok: break;
    case Unlock::Stopped: return Outcome::Stopped;
    case Unlock::NoPassword:
      return Skip(m, kEngineBadPassword, kSkipBadPassword, "Password missing or wrong for ");
  }
  data.cipher = cipher.get();
  return std::nullopt;
}

Extractor::Unlock Extractor::UnlockMember(ByteSource& source, const Member& m, MemberData& data,
                                          std::unique_ptr<MemberCipher>& cipher, PasswordState& state) {
  // What precedes the data (the traditional header, or AES salt and verifier)
  // and follows it (the AES authentication code).
  const size_t saltSize = m.IsAes() ? AesSaltSize(m.aesStrength) : 0;
  const size_t headerSize = m.IsAes() ? saltSize + kAesVerifierSize : zip::kTraditionalHeaderSize;
  const size_t trailerSize = m.IsAes() ? kAesCodeSize : 0;
  uint8_t header[kAesMaxSaltSize + kAesVerifierSize], code[kAesCodeSize];
  if (data.size < headerSize + trailerSize || !source.ReadAt(data.start, header, headerSize) ||
      (trailerSize && !source.ReadAt(data.start + data.size - trailerSize, code, trailerSize)))
    return Unlock::NoPassword;
  const uint8_t check = zip::TraditionalCheckByte(m.flags, m.crc, m.dosDateTime);
  auto attempt = [&](const std::string& password) {
    if (m.IsAes()) {
      std::unique_ptr<AesCipher> aes = AesCipher::Unlock(password, m.aesStrength, header, header + saltSize);
      if (!aes) return false;
      aes->ExpectCode(code);
      cipher = std::move(aes);
    } else {
      zip::TraditionalCrypto candidate(password);
      uint8_t plain[zip::kTraditionalHeaderSize];
      std::memcpy(plain, header, sizeof plain);
      if (!zip::TraditionalHeaderMatches(candidate, plain, check)) return false;
      cipher = std::make_unique<TraditionalCipher>(candidate);
    }
    password_ = password;  // remembered for the members that follow
    return true;
  };

  bool unlocked = password_ && attempt(*password_);
  uint32_t& requestsLeft = state.requestsLeft;
  while (!unlocked && requestsLeft > 0) {
    if (!callback_.Call(kActionPassword, 0, requestsLeft, m.name)) return Unlock::Stopped;
    const ZCallBackStruct& answer = callback_.Answer();
    if (answer.ActionCode == 0) passwordRequestsCancelled_ = true;  // "cancel all"
    if (answer.ErrorCode != 1 || !callback_.HasFunction()) break;   // no password given
    const uint32_t offered = answer.FileSize < 0 ? 0 : static_cast<uint32_t>(answer.FileSize);
    unlocked = attempt(callback_.AnswerText());
    requestsLeft = passwordRequestsCancelled_ ? 0 : std::min(requestsLeft - 1, offered);
  }
  if (!unlocked) return Unlock::NoPassword;
  data.start += headerSize;
  data.size -= headerSize + trailerSize;
  return Unlock::Ok;
}

Extractor::Outcome Extractor::ReportDecodeFailure(const Member& m, const DecodeResult& result) {
  switch (result.status) {
    case DecodeStatus::Ok: return Outcome::Done;
    case DecodeStatus::Stopped: return Outcome::Stopped;
    case DecodeStatus::TooLong:
      return Skip(m, kEngineSizeError, kSkipFormatWrong, "Member data longer than its declared size: ");
    case DecodeStatus::TooShort:
      return Skip(m, kEngineSizeError, kSkipFormatWrong, "Member data shorter than its declared size: ");
    case DecodeStatus::BadData:
      return Skip(m, kEngineBadArchive, kSkipFormatWrong, "Compressed data damaged: ");
    case DecodeStatus::ReadError: return Skip(m, kEngineReadError, kSkipGeneralError, "Cannot read ");
    case DecodeStatus::WriteError: return Skip(m, kEngineWriteError, kSkipGeneralError, "Cannot write ");
    case DecodeStatus::Unsupported:
      return Skip(m, kEngineUnsupported, kSkipCompressionUnknown, "Compression method not supported: ");
    case DecodeStatus::NotAuthentic:
      return Skip(m, kEngineBadArchive, kSkipFormatWrong, "Authentication code wrong (data damaged): ");
    case DecodeStatus::TooMuchMemory:
      return Skip(m, kEngineNoMemory, kSkipGeneralError, "Decoding would take too much memory: ");
  }
  return Outcome::Skipped;
}

bool Extractor::KeepDespiteCrc(const Member& m, uint32_t found) {
  if (!callback_.Call(kActionCrcError, static_cast<int32_t>(found), static_cast<intptr_t>(m.crc), m.name))
    return false;
  const int32_t answer =
      callback_.HasFunction() ? callback_.Answer().ErrorCode : kCrcAnswerNoHandler;
  if (answer == kCrcAnswerKeep) return true;
  // The handler chose to discard; otherwise nobody decided and the error is reported.
  Skip(m, kEngineCrcError, kSkipFormatWrong,
       answer == kCrcAnswerDiscard ? std::string() : "CRC error in ");
  return false;
}

Extractor::Outcome Extractor::Skip(const Member& m, int32_t engineError, int32_t reason, const std::string& text) {
  if (engineError != kEngineOk && !text.empty()) callback_.Message(engineError, text + PrintableName(m.name));
  callback_.Skipped(m.name, engineError, reason);
  return callback_.Stopped() ? Outcome::Stopped : Outcome::Skipped;
}

std::optional<Extractor::Outcome> Extractor::Locate(ArchiveFile& file, const Member& m, uint64_t dataLimit,
                                                    MemberData& data) {
  try {
    data.start = LocateMemberData(file, m, dataLimit);
  } catch (const engine::EngineError& e) {
    return Skip(m, e.Code(), kSkipFormatWrong, std::string(e.what()) + ": ");
  }
  return std::nullopt;
}

}  // namespace unzdll
