#include "installer/RollbackJournal.h"

#include <cstdio>
#include <sstream>

namespace installer {

namespace {

struct StepName {
  JournalStep step;
  const char* name;
};
constexpr StepName kStepNames[] = {{JournalStep::Directory, "dir"},
                                   {JournalStep::NewDirectory, "new-dir"},
                                   {JournalStep::NewFile, "new"},
                                   {JournalStep::Backup, "backup"},
                                   {JournalStep::Done, "done"}};

// Blanks, control characters and "%" as %XX, so that a path is one word.
std::string EscapePath(const std::string& path) {
  std::string out;
  for (char c : path) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == '%' || byte == 0x7F) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> UnescapePath(const std::string& word) {
  std::string out;
  for (size_t i = 0; i < word.size(); ++i) {
    if (word[i] != '%') {
      out += word[i];
      continue;
    }
    if (i + 2 >= word.size()) return std::nullopt;
    unsigned value = 0;
    if (std::sscanf(word.substr(i + 1, 2).c_str(), "%2x", &value) != 1) return std::nullopt;
    out += static_cast<char>(value);
    i += 2;
  }
  return out;
}

}  // namespace

std::string FormatRecord(const JournalRecord& record) {
  std::ostringstream line;
  for (const auto& [step, name] : kStepNames)
    if (step == record.step) line << name;
  switch (record.step) {
    case JournalStep::Directory:
      line << ' ' << std::oct << record.mode << std::dec << ' ' << record.seconds << ' ' << record.nanoseconds;
      break;
    case JournalStep::Backup:
      line << ' ' << record.backup;
      break;
    default:
      break;
  }
  if (record.step != JournalStep::Done) line << ' ' << EscapePath(record.path);
  line << '\n';
  return line.str();
}

std::optional<JournalRecord> ParseRecord(const std::string& line) {
  std::istringstream in(line);
  std::string name, path;
  JournalRecord record;
  if (!(in >> name)) return std::nullopt;
  bool known = false;
  for (const auto& [step, stepName] : kStepNames)
    if (name == stepName) {
      record.step = step;
      known = true;
    }
  if (!known) return std::nullopt;
  if (record.step == JournalStep::Directory && !(in >> std::oct >> record.mode >> std::dec >> record.seconds >>
                                                 record.nanoseconds))
    return std::nullopt;
  if (record.step == JournalStep::Backup && !(in >> record.backup)) return std::nullopt;
  if (record.step != JournalStep::Done) {
    if (!(in >> path)) return std::nullopt;
    std::optional<std::string> unescaped = UnescapePath(path);
    if (!unescaped) return std::nullopt;
    record.path = *unescaped;
  }
  std::string rest;
  if (in >> rest) return std::nullopt;
  return record;
}

bool JournalWriter::Create(const std::string& path) {
  Close();
  handle_ = files_.Open(path, platform::Access::Write, platform::Share::Read, platform::Disposition::CreateNew,
                        0600);
  return handle_ != platform::kInvalidHandle;
}

bool JournalWriter::Append(const std::vector<JournalRecord>& records) {
  if (handle_ == platform::kInvalidHandle) return false;
  std::string text;
  for (const JournalRecord& record : records) text += FormatRecord(record);
  return files_.Write(handle_, text.data(), text.size()) == static_cast<int64_t>(text.size()) &&
         files_.Sync(handle_);
}

void JournalWriter::Close() {
  if (handle_ != platform::kInvalidHandle) files_.Close(handle_);
  handle_ = platform::kInvalidHandle;
}

std::optional<std::vector<JournalRecord>> ReadJournal(platform::FileSystem& files, const std::string& path) {
  platform::FileHandle handle =
      files.Open(path, platform::Access::Read, platform::Share::ReadWrite, platform::Disposition::OpenExisting);
  if (handle == platform::kInvalidHandle) return std::nullopt;
  std::string text;
  char buffer[65536];
  int64_t got;
  while ((got = files.Read(handle, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(got));
  files.Close(handle);
  if (got < 0) return std::nullopt;
  std::vector<JournalRecord> records;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    if (auto record = ParseRecord(text.substr(start, end - start))) records.push_back(*record);
  return records;
}

}  // namespace installer
