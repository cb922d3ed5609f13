// The self-extractor: a Windows program that finds the settings header at the end
// of its own image, reads the ZIP archive behind it and extracts it.
//
// Layout of a self-extractor: this program's image, the settings header ("MPV",
// option flags, the caption, default directory, command line and message as
// counted strings), then the archive. The archive's offsets are usually shifted
// to be file positions; an archive appended unshifted is read as well.
//
// Command line (all optional; documented in the README):
//   /s           silent: no windows, answers as below, exit status tells the outcome
//   /d:DIR       extract into DIR instead of the default directory
//   /o           replace existing files      /n  keep existing files
//   /p:PASSWORD  password for encrypted members
//   /r           run the command line after extracting (silent mode)
// Exit status: 0 success, 1 some members failed, 2 no archive or a bad switch,
// 3 cancelled, 4 the target directory could not be made or lacks space.
// clang-format off
#include <windows.h>  // first: the other Windows headers build on it
#include <commctrl.h>
// clang-format on
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "ZipSFXIds.h"
#include "zipformat/ByteOrder.h"
#include "zipformat/EndRecord.h"
#include "zipformat/ExtraField.h"
#include "zipformat/Headers.h"
#include "zipformat/NameCodePage.h"
#include "zipformat/Signatures.h"

namespace {

// ---- Settings header ---------------------------------------------------------

enum : uint8_t {
  kAskCmdLine = 0x01,
  kAskFiles = 0x02,
  kHideOverwriteBox = 0x04,
  kOverwriteAlways = 0x08,
  kOverwriteNever = 0x10,
  kNoCheckSize = 0x20,
  kAutoRun = 0x40,
  kNoSuccessMsg = 0x80,
};

enum class Overwrite { Confirm, Always, Never };

struct Settings {
  uint8_t flags = 0;
  std::string caption, defaultDir, commandLine, message;  // 8-bit, as stored
  Overwrite overwrite = Overwrite::Confirm;
};

enum Exit {
  kExitOk = 0,
  kExitMemberErrors = 1,
  kExitNoArchive = 2,
  kExitCancelled = 3,
  kExitTarget = 4
};

// ---- Text --------------------------------------------------------------------

bool IsUtf8(const std::string& s) {
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()),
                             nullptr, 0) > 0;
}

std::wstring Widen(const std::string& s, UINT codePage) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

// Header strings are 8-bit text of the converting machine: UTF-8 when they are
// valid UTF-8 (Linux builds), else the system code page.
std::wstring SettingText(const std::string& s) {
  return Widen(s, IsUtf8(s) ? CP_UTF8 : CP_ACP);
}

std::string Narrow(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

// ---- Reading a file at positions -----------------------------------------------

class InputFile {
 public:
  bool Open(const std::wstring& path) {
    handle_ = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                          nullptr);
    LARGE_INTEGER size;
    if (handle_ == INVALID_HANDLE_VALUE || !GetFileSizeEx(handle_, &size)) return false;
    size_ = static_cast<uint64_t>(size.QuadPart);
    return true;
  }
  ~InputFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  uint64_t Size() const { return size_; }
  // Reads exactly `count` bytes at `offset`; false when they are not all inside the file.
  bool ReadAt(uint64_t offset, void* buffer, size_t count) {
    if (offset > size_ || count > size_ - offset) return false;
    return Seek(offset) && ReadSome(buffer, count) == count;
  }
  bool Seek(uint64_t offset) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return offset <= size_ && SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN);
  }
  // Reads on from the current position.
  size_t ReadSome(void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
      DWORD got = 0;
      DWORD want = static_cast<DWORD>(count - done > (1u << 20) ? (1u << 20) : count - done);
      if (!ReadFile(handle_, static_cast<uint8_t*>(buffer) + done, want, &got, nullptr) || got == 0)
        break;
      done += got;
    }
    return done;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  uint64_t size_ = 0;
};

// The end of this program's image: the end of its last section's raw data, where
// the settings header begins. 0 when the headers do not describe an image.
uint64_t ImageEnd(InputFile& file) {
  uint8_t dos[64];
  if (!file.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return 0;
  uint32_t pe = zip::Load32(dos + 60);
  uint8_t head[24];
  if (!file.ReadAt(pe, head, sizeof head) || std::memcmp(head, "PE\0\0", 4) != 0) return 0;
  uint16_t sections = zip::Load16(head + 6);
  uint64_t table = uint64_t{pe} + 24 + zip::Load16(head + 20);
  uint64_t end = 0;
  for (uint16_t i = 0; i < sections; ++i) {
    uint8_t entry[40];
    if (!file.ReadAt(table + 40u * i, entry, sizeof entry)) return 0;
    uint64_t rawEnd = uint64_t{zip::Load32(entry + 20)} + zip::Load32(entry + 16);
    if (zip::Load32(entry + 16) != 0 && rawEnd > end) end = rawEnd;
  }
  return end;
}

// Reads the settings header at `at`; its length goes to `headerSize`. Both the
// current form ("MPV") and the older one ("MPU") are understood.
bool ReadSettings(InputFile& file, uint64_t at, Settings& settings, uint64_t& headerSize) {
  uint8_t head[1032] = {};
  size_t have =
      file.Size() > at
          ? static_cast<size_t>(file.Size() - at < sizeof head ? file.Size() - at : sizeof head)
          : 0;
  if (have < 12 || !file.ReadAt(at, head, have) || head[0] != 'M' || head[1] != 'P') return false;
  size_t pos = 0;
  auto counted = [&](std::string& out, size_t length) {
    if (pos + length > have) return false;
    out.assign(reinterpret_cast<const char*>(head + pos), length);
    pos += length;
    return true;
  };
  settings.flags = head[3];
  if (head[2] == 'V') {
    headerSize = zip::Load16(head + 6);
    if (headerSize < 12 || headerSize > have) return false;
    pos = 8;
    std::string* fields[] = {&settings.caption, &settings.defaultDir, &settings.commandLine,
                             &settings.message};
    for (std::string* field : fields) {
      if (pos >= headerSize) return false;
      size_t length = head[pos++];
      if (pos + length > headerSize || !counted(*field, length)) return false;
    }
  } else if (head[2] == 'U') {
    settings.flags &= 0x7F;
    pos = 7;
    if (!counted(settings.caption, head[4]) || !counted(settings.defaultDir, head[5]) ||
        !counted(settings.commandLine, head[6]))
      return false;
    headerSize = pos;
  } else {
    return false;
  }
  settings.overwrite = settings.flags & kOverwriteNever    ? Overwrite::Never
                       : settings.flags & kOverwriteAlways ? Overwrite::Always
                                                           : Overwrite::Confirm;
  return true;
}

// ---- The archive ---------------------------------------------------------------

struct Member {
  std::string rawName;
  std::wstring name;  // as stored, converted to UTF-16
  uint16_t flags = 0, method = 0;
  uint32_t crc = 0, dosTime = 0, externalAttributes = 0;
  uint64_t compressedSize = 0, size = 0, localHeader = 0;
  bool IsDirectory() const {
    return !rawName.empty() && (rawName.back() == '/' || rawName.back() == '\\');
  }
  bool Encrypted() const { return flags & zip::kFlagEncrypted; }
};

// Names flagged as UTF-8 are UTF-8; names the format library calls OEM text are
// in the OEM code page; others (Unix writers) are UTF-8 when they read as such.
UINT NameCodePage(const std::string& name, const zip::CentralFileHeader& h) {
  if (h.Flag & zip::kFlagUtf8) return CP_UTF8;
  if (zip::TextIsOem(h.VersionMadeBy1, h.VersionMadeBy0, h.Flag, zip::NameCodePage::kAutomatic))
    return CP_OEMCP;
  return IsUtf8(name) ? CP_UTF8 : CP_ACP;
}

// The UTF-8 name some writers add beside the stored one (used while the stored
// name is unchanged: the block carries its CRC).
constexpr uint16_t kExtraUnicodePath = 0x7075;
void TakeUnicodeName(std::span<const uint8_t> extra, Member& m) {
  auto block = zip::FindExtra(extra, kExtraUnicodePath);
  if (!block || block->size() <= 5 || (*block)[0] != 1) return;
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(m.rawName.data()),
                    static_cast<uInt>(m.rawName.size()));
  if (zip::Load32(block->data() + 1) != crc) return;
  m.name = Widen(std::string(reinterpret_cast<const char*>(block->data() + 5), block->size() - 5),
                 CP_UTF8);
}

// Reads the member list of the archive that starts at `archiveStart`. Offsets in
// the archive are file positions when it was shifted; when they are not (an
// archive appended as it was), the difference between where the central directory
// lies and where the end record says it lies is applied to every offset.
bool ReadMembers(InputFile& file, uint64_t archiveStart, std::vector<Member>& members) {
  if (file.Size() < archiveStart + zip::kEndRecordSize) return false;
  const uint64_t window = std::min<uint64_t>(file.Size() - archiveStart, zip::kEndSearchWindow);
  std::vector<uint8_t> tail(static_cast<size_t>(window));
  const uint64_t tailStart = file.Size() - window;
  if (!file.ReadAt(tailStart, tail.data(), tail.size())) return false;
  auto match = zip::FindEndRecord(tail, tailStart, [&file](uint64_t offset, std::span<uint8_t> out) {
    return file.ReadAt(offset, out.data(), out.size());
  });
  if (!match || match->commentPastEnd) return false;
  uint64_t directoryEnd = tailStart + match->at;
  zip::DirectoryExtent extent = zip::ResolveExtent(match->record);
  if (zip::IsSaturated(match->record)) {
    // The ZIP64 end record and its locator lie in front of the classic one.
    uint8_t records[zip::kZip64EndSize + zip::kZip64LocatorSize];
    zip::Zip64EndOfCentral end64{};
    if (directoryEnd < archiveStart + sizeof records ||
        !file.ReadAt(directoryEnd - sizeof records, records, sizeof records) ||
        zip::DecodeZip64Trailer(records, end64) != zip::Status::kOk)
      return false;
    extent = zip::ResolveExtent(match->record, &end64);
    directoryEnd -= sizeof records;
  }
  if (extent.size > directoryEnd - archiveStart ||
      extent.entries > extent.size / zip::kCentralHeaderSize)
    return false;
  const uint64_t directoryAt = directoryEnd - extent.size;
  const int64_t shift = static_cast<int64_t>(directoryAt - extent.offset);
  std::vector<uint8_t> directory(static_cast<size_t>(extent.size));
  if (!file.ReadAt(directoryAt, directory.data(), directory.size())) return false;
  size_t pos = 0;
  for (uint64_t k = 0; k < extent.entries; ++k) {
    zip::CentralEntry e;
    if (zip::DecodeCentralEntry(std::span(directory).subspan(pos), e) != zip::Status::kOk)
      return false;
    Member m;
    m.flags = e.header.Flag;
    m.method = e.header.ComprMethod;
    m.dosTime = static_cast<uint32_t>(e.header.ModifDate) << 16 | e.header.ModifTime;
    m.crc = e.header.CRC32;
    m.compressedSize = e.compressedSize;
    m.size = e.uncompressedSize;
    m.externalAttributes = e.header.ExtFileAtt;
    const int64_t local = static_cast<int64_t>(e.localHeaderOffset) + shift;
    if (local < static_cast<int64_t>(archiveStart)) return false;
    m.localHeader = static_cast<uint64_t>(local);
    m.rawName.assign(e.name.begin(), e.name.end());
    m.name = Widen(m.rawName, NameCodePage(m.rawName, e.header));
    TakeUnicodeName(e.extra, m);
    members.push_back(std::move(m));
    pos += e.recordSize;
  }
  return true;
}

// The file position of a member's data (after its local header), which must lie
// inside the file with all its bytes.
bool DataPosition(InputFile& file, const Member& m, uint64_t& at) {
  uint8_t bytes[zip::kLocalHeaderSize];
  zip::LocalFileHeader local{};
  return file.ReadAt(m.localHeader, bytes, sizeof bytes) &&
         zip::DecodeLocalHeader(bytes, local) == zip::Status::kOk &&
         zip::MemberDataFits(m.localHeader, local, m.compressedSize, file.Size(), at);
}

// ---- Safe names ------------------------------------------------------------------

// The member's path below `base`, or "" when it would leave it: absolute names,
// drive letters, streams, ".." (and names Windows reads as ".."), device names.
std::wstring SafeTarget(const std::wstring& base, const std::wstring& name) {
  std::wstring relative;
  size_t start = 0;
  if (name.empty() || name[0] == L'/' || name[0] == L'\\') return {};
  while (start <= name.size()) {
    size_t stop = name.find_first_of(L"/\\", start);
    if (stop == std::wstring::npos) stop = name.size();
    std::wstring part = name.substr(start, stop - start);
    start = stop + 1;
    if (part.empty() || part == L".") continue;
    if (part.find_first_of(L":*?\"<>|") != std::wstring::npos) return {};
    if (part.find_first_not_of(L". ") == std::wstring::npos) return {};  // "..", "...", ". ."
    for (wchar_t c : part)
      if (c < 32) return {};
    if (!relative.empty()) relative += L'\\';
    relative += part;
  }
  if (relative.empty()) return {};
  std::wstring joined = base + L'\\' + relative;
  wchar_t full[MAX_PATH * 4];
  DWORD n = GetFullPathNameW(joined.c_str(), MAX_PATH * 4, full, nullptr);
  if (n == 0 || n >= MAX_PATH * 4) return {};
  std::wstring result(full, n);
  std::wstring prefix = base + L'\\';
  if (result.size() <= prefix.size() ||
      _wcsnicmp(result.c_str(), prefix.c_str(), prefix.size()) != 0)
    return {};
  return result;
}

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[MAX_PATH * 4];
  DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
  if (n == 0 || n >= MAX_PATH * 4) return path;
  std::wstring result(full, n);
  while (result.size() > 3 && (result.back() == L'\\' || result.back() == L'/')) result.pop_back();
  return result;
}

// Creates `dir` and every missing parent.
bool MakeDirectories(const std::wstring& dir) {
  DWORD attributes = GetFileAttributesW(dir.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  size_t cut = dir.find_last_of(L"\\/");
  if (cut != std::wstring::npos && cut > 2 && !MakeDirectories(dir.substr(0, cut))) return false;
  return CreateDirectoryW(dir.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// ---- Decryption (traditional PKWARE) ----------------------------------------------

class Decrypter {
 public:
  void Init(const std::string& password) {
    keys_[0] = 0x12345678;
    keys_[1] = 0x23456789;
    keys_[2] = 0x34567890;
    for (char c : password) Update(static_cast<uint8_t>(c));
  }
  uint8_t Decrypt(uint8_t c) {
    uint32_t t = (keys_[2] | 2) & 0xFFFF;
    c ^= static_cast<uint8_t>((t * (t ^ 1)) >> 8);
    Update(c);
    return c;
  }

 private:
  void Update(uint8_t c) {
    keys_[0] = Crc(keys_[0], c);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813 + 1;
    keys_[2] = Crc(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
  }
  static uint32_t Crc(uint32_t crc, uint8_t c) {
    static const z_crc_t* table = get_crc_table();
    return table[(crc ^ c) & 0xFF] ^ (crc >> 8);
  }
  uint32_t keys_[3] = {};
};

// ---- The user interface ------------------------------------------------------------

struct Ui {
  bool silent = false;
  std::wstring caption;
  HWND progress = nullptr;

  void Error(const std::wstring& text) const {
    if (!silent) {
      MessageBoxW(progress, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
      return;
    }
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
    std::string line = Narrow(text) + "\n";
    DWORD written = 0;
    WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
  int Ask(const std::wstring& text, UINT buttons) const {
    return MessageBoxW(progress, text.c_str(), caption.c_str(), buttons | MB_ICONQUESTION);
  }
  void Pump() const {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!progress || !IsDialogMessageW(progress, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
  }
  void Progress(const std::wstring& name, int percent) const {
    if (!progress) return;
    SetDlgItemTextW(progress, IDC_PROGRESS_TEXT, name.c_str());
    SendDlgItemMessageW(progress, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    Pump();
  }
};

struct MainDialogState {
  const Settings* settings;
  const std::vector<Member>* members;
  std::wstring caption, directory;
  Overwrite overwrite;
  std::vector<bool> chosen;
};

std::wstring DialogText(HWND dialog, int id) {
  int length = GetWindowTextLengthW(GetDlgItem(dialog, id));
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetDlgItemTextW(dialog, id, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<MainDialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (message == WM_INITDIALOG) {
    state = reinterpret_cast<MainDialogState*>(lParam);
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    SetWindowTextW(dialog, state->caption.c_str());
    SendMessageW(
        dialog, WM_SETICON, ICON_BIG,
        reinterpret_cast<LPARAM>(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MAIN))));
    SetDlgItemTextW(dialog, IDC_DIR, state->directory.c_str());
    bool askFiles = state->settings->flags & kAskFiles;
    HWND list = GetDlgItem(dialog, IDC_FILES);
    for (const Member& m : *state->members) {
      std::wstring shown = m.name;
      for (wchar_t& c : shown)
        if (c == L'/') c = L'\\';
      SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    }
    SendMessageW(list, LB_SELITEMRANGEEX, 0, static_cast<LPARAM>(state->members->size()) - 1);
    ShowWindow(list, askFiles ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_FILES_LABEL), askFiles ? SW_SHOW : SW_HIDE);
    int radio = state->overwrite == Overwrite::Always  ? IDC_OVR_ALWAYS
                : state->overwrite == Overwrite::Never ? IDC_OVR_NEVER
                                                       : IDC_OVR_CONFIRM;
    CheckRadioButton(dialog, IDC_OVR_CONFIRM, IDC_OVR_NEVER, radio);
    if (state->settings->flags & kHideOverwriteBox)
      for (int id : {IDC_OVR_GROUP, IDC_OVR_CONFIRM, IDC_OVR_ALWAYS, IDC_OVR_NEVER})
        ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
    SetForegroundWindow(dialog);
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    state->directory = DialogText(dialog, IDC_DIR);
    if (state->directory.empty()) {
      MessageBoxW(dialog, L"Please enter the directory to extract to.", state->caption.c_str(),
                  MB_OK | MB_ICONWARNING);
      return TRUE;
    }
    if (IsDlgButtonChecked(dialog, IDC_OVR_ALWAYS))
      state->overwrite = Overwrite::Always;
    else if (IsDlgButtonChecked(dialog, IDC_OVR_NEVER))
      state->overwrite = Overwrite::Never;
    else
      state->overwrite = Overwrite::Confirm;
    HWND list = GetDlgItem(dialog, IDC_FILES);
    for (size_t i = 0; i < state->chosen.size(); ++i)
      state->chosen[i] = SendMessageW(list, LB_GETSEL, i, 0) > 0;
    EndDialog(dialog, IDOK);
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    EndDialog(dialog, IDCANCEL);
    return TRUE;
  }
  return FALSE;
}

struct PasswordState {
  std::wstring caption, prompt, password;
};

INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<PasswordState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (message == WM_INITDIALOG) {
    state = reinterpret_cast<PasswordState*>(lParam);
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    SetWindowTextW(dialog, state->caption.c_str());
    SetDlgItemTextW(dialog, IDC_PASSWORD_PROMPT, state->prompt.c_str());
    SetForegroundWindow(dialog);
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
    if (LOWORD(wParam) == IDOK) state->password = DialogText(dialog, IDC_PASSWORD);
    EndDialog(dialog, LOWORD(wParam));
    return TRUE;
  }
  return FALSE;
}

// ---- Extraction ----------------------------------------------------------------------

struct Options {
  bool silent = false, runCommand = false, haveOverwrite = false, havePassword = false;
  Overwrite overwrite = Overwrite::Confirm;
  std::wstring directory;
  std::string password;
};

enum class Outcome { Extracted, Skipped, Failed, Cancelled };

class Extractor {
 public:
  Extractor(InputFile& file, const Ui& ui, Overwrite overwrite, std::wstring base,
            const Options& options)
      : file_(file), ui_(ui), overwrite_(overwrite), base_(std::move(base)) {
    if (options.havePassword) {
      password_ = options.password;
      havePassword_ = true;
    }
    silentPassword_ = options.silent;
  }

  Outcome Extract(const Member& m) {
    std::wstring target = SafeTarget(base_, m.name);
    if (target.empty()) return Fail(m, L"unsafe name, not extracted");
    if (m.IsDirectory())
      return MakeDirectories(target) ? Outcome::Extracted : Fail(m, L"cannot create the directory");
    size_t cut = target.find_last_of(L'\\');
    std::wstring dir = target.substr(0, cut);
    if (!MakeDirectories(dir)) return Fail(m, L"cannot create the directory");
    bool exists = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (exists) {
      Overwrite mode = overwrite_;
      if (mode == Overwrite::Confirm) {
        if (ui_.silent) {
          mode = Overwrite::Never;
        } else {
          int answer =
              ui_.Ask(L"Replace the existing file\n" + target + L" ?\n\n(Cancel stops extracting.)",
                      MB_YESNOCANCEL);
          if (answer == IDCANCEL) return Outcome::Cancelled;
          mode = answer == IDYES ? Overwrite::Always : Overwrite::Never;
        }
      }
      if (mode == Overwrite::Never) return Outcome::Skipped;
    }
    if (m.method != 0 && m.method != 8) return Fail(m, L"compression method not supported");
    uint64_t dataAt = 0;
    if (!DataPosition(file_, m, dataAt)) return Fail(m, L"damaged local header");

    wchar_t temp[MAX_PATH * 4];
    if (!GetTempFileNameW(dir.c_str(), L"sfx", 0, temp)) return Fail(m, L"cannot create a file");
    Outcome result = WriteMember(m, dataAt, temp);
    if (result == Outcome::Extracted) {
      if (exists) SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!MoveFileExW(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING))
        result = Fail(m, L"cannot replace the file");
      else
        ApplyAttributes(m, target);
    }
    if (result != Outcome::Extracted) DeleteFileW(temp);
    return result;
  }

  std::wstring Errors() const { return errors_; }
  int ErrorCount() const { return errorCount_; }

 private:
  Outcome Fail(const Member& m, const std::wstring& why) {
    ++errorCount_;
    if (errorCount_ <= 10) errors_ += m.name + L": " + why + L"\n";
    return Outcome::Failed;
  }

  // Asks for a password until the check byte matches; false when none fits.
  bool StartDecrypting(const Member& m, const uint8_t header[12], Decrypter& decrypter) {
    uint8_t check = (m.flags & zip::kFlagDataDescriptor) ? static_cast<uint8_t>(m.dosTime >> 8)
                                                         : static_cast<uint8_t>(m.crc >> 24);
    for (int attempt = 0; attempt < 4; ++attempt) {
      if (havePassword_) {
        decrypter.Init(password_);
        uint8_t last = 0;
        for (int i = 0; i < 12; ++i) last = decrypter.Decrypt(header[i]);
        if (last == check) return true;
      }
      if (silentPassword_ || declined_) return false;
      PasswordState state{
          ui_.caption,
          (havePassword_ ? L"Wrong password. Password for\n" : L"Password for\n") + m.name, L""};
      if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PASSWORD), ui_.progress,
                          PasswordDialogProc, reinterpret_cast<LPARAM>(&state)) != IDOK) {
        declined_ = true;
        return false;
      }
      password_ = Narrow(state.password);
      havePassword_ = true;
    }
    return false;
  }

  Outcome WriteMember(const Member& m, uint64_t dataAt, const wchar_t* temp) {
    HANDLE out =
        CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return Fail(m, L"cannot create a file");
    Outcome result = Copy(m, dataAt, out);
    if (result == Outcome::Extracted) {
      FILETIME local, utc;
      if (DosDateTimeToFileTime(HIWORD(m.dosTime), LOWORD(m.dosTime), &local) &&
          LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(out, nullptr, nullptr, &utc);
    }
    CloseHandle(out);
    return result;
  }

  Outcome Copy(const Member& m, uint64_t dataAt, HANDLE out) {
    uint64_t remaining = m.compressedSize;
    Decrypter decrypter;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(dataAt);
    if (m.Encrypted()) {
      uint8_t header[12];
      if (remaining < 12 || !file_.ReadAt(dataAt, header, 12)) return Fail(m, L"damaged data");
      if (!StartDecrypting(m, header, decrypter)) return Fail(m, L"no or wrong password");
      remaining -= 12;
      at.QuadPart += 12;
    }
    if (!file_.Seek(static_cast<uint64_t>(at.QuadPart))) return Fail(m, L"damaged data");
    z_stream z{};
    if (m.method == 8 && inflateInit2(&z, -MAX_WBITS) != Z_OK) return Fail(m, L"out of memory");
    std::vector<uint8_t> in(1 << 16), inflated(1 << 16);
    uint32_t crc = crc32(0, nullptr, 0);
    uint64_t written = 0;
    bool ok = true, finished = m.method == 0;
    std::wstring why = L"damaged data";
    while (ok && remaining > 0) {
      size_t want = remaining < in.size() ? static_cast<size_t>(remaining) : in.size();
      size_t got = file_.ReadSome(in.data(), want);
      if (got != want) {
        ok = false;
        break;
      }
      remaining -= got;
      if (m.Encrypted())
        for (size_t i = 0; i < got; ++i) in[i] = decrypter.Decrypt(in[i]);
      auto emit = [&](const uint8_t* data, size_t length) {
        DWORD done = 0;
        if (length &&
            (!WriteFile(out, data, static_cast<DWORD>(length), &done, nullptr) || done != length)) {
          why = L"write error (disk full?)";
          return false;
        }
        crc = crc32(crc, data, static_cast<uInt>(length));
        written += length;
        return written <= m.size;
      };
      if (m.method == 0) {
        ok = emit(in.data(), got);
      } else {
        z.next_in = in.data();
        z.avail_in = static_cast<uInt>(got);
        while (ok && z.avail_in > 0 && !finished) {
          z.next_out = inflated.data();
          z.avail_out = static_cast<uInt>(inflated.size());
          int rc = inflate(&z, Z_NO_FLUSH);
          if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
            ok = false;
          else
            ok = emit(inflated.data(), inflated.size() - z.avail_out);
          if (rc == Z_STREAM_END) finished = true;
        }
      }
      ui_.Progress(m.name, m.compressedSize
                               ? static_cast<int>(100 - remaining * 100 / m.compressedSize)
                               : 100);
    }
    if (m.method == 8) {
      // Output still held back by the inflater.
      while (ok && !finished) {
        z.next_out = inflated.data();
        z.avail_out = static_cast<uInt>(inflated.size());
        int rc = inflate(&z, Z_FINISH);
        if (rc != Z_STREAM_END && rc != Z_OK && rc != Z_BUF_ERROR) ok = false;
        size_t produced = inflated.size() - z.avail_out;
        if (ok && produced) {
          DWORD done = 0;
          ok = WriteFile(out, inflated.data(), static_cast<DWORD>(produced), &done, nullptr) &&
               done == produced;
          crc = crc32(crc, inflated.data(), static_cast<uInt>(produced));
          written += produced;
        }
        if (rc == Z_STREAM_END)
          finished = true;
        else if (produced == 0)
          break;
      }
      inflateEnd(&z);
    }
    if (!ok) return Fail(m, why);
    if (!finished || written != m.size || crc != m.crc) return Fail(m, L"CRC or size check failed");
    return Outcome::Extracted;
  }

  void ApplyAttributes(const Member& m, const std::wstring& target) {
    DWORD keep = m.externalAttributes &
                 (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (keep) SetFileAttributesW(target.c_str(), keep);
  }

  InputFile& file_;
  const Ui& ui_;
  Overwrite overwrite_;
  std::wstring base_;
  std::string password_;
  bool havePassword_ = false, silentPassword_ = false, declined_ = false;
  std::wstring errors_;
  int errorCount_ = 0;
};

// ---- The command line run after extraction ----------------------------------------------

// "<dir>" in the command line stands for the directory extracted to. A program
// named relative to it is started from there.
bool RunCommandLine(const std::wstring& commandLine, const std::wstring& directory, bool wait) {
  std::wstring line;
  for (size_t i = 0; i < commandLine.size();) {
    if (commandLine.compare(i, 5, L"<dir>") == 0) {
      line += directory;
      i += 5;
    } else {
      line += commandLine[i++];
    }
  }
  // The program: the first word, or the quoted text at the start.
  size_t programEnd = line[0] == L'"' ? line.find(L'"', 1) : line.find(L' ');
  std::wstring program =
      line[0] == L'"'
          ? line.substr(1, programEnd == std::wstring::npos ? std::wstring::npos : programEnd - 1)
          : line.substr(0, programEnd);
  std::wstring rest =
      programEnd == std::wstring::npos ? L"" : line.substr(programEnd + (line[0] == L'"' ? 1 : 0));
  std::wstring inTarget = directory + L'\\' + program;
  bool relative =
      program.find(L':') == std::wstring::npos && !program.empty() && program[0] != L'\\';
  if (relative && GetFileAttributesW(inTarget.c_str()) != INVALID_FILE_ATTRIBUTES)
    program = inTarget;
  std::wstring full = L"\"" + program + L"\"" + rest;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (CreateProcessW(nullptr, full.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(),
                     &startup, &process)) {
    if (wait) WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
  }
  // Not a program: a document, opened with the program registered for it.
  std::wstring parameters = rest.empty() ? L"" : rest.substr(1);
  return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", program.c_str(),
                                                 parameters.c_str(), directory.c_str(),
                                                 SW_SHOWNORMAL)) > 32;
}

// ---- The run ---------------------------------------------------------------------------------

bool ParseSwitches(Options& options) {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  bool ok = true;
  for (int i = 1; args && i < count; ++i) {
    std::wstring a = args[i];
    if (a.size() < 2 || (a[0] != L'/' && a[0] != L'-')) {
      ok = false;
      continue;
    }
    wchar_t key = static_cast<wchar_t>(towlower(a[1]));
    std::wstring value = a.size() > 3 && a[2] == L':' ? a.substr(3) : L"";
    if (key == L's' && a.size() == 2)
      options.silent = true;
    else if (key == L'o' && a.size() == 2)
      options.haveOverwrite = true, options.overwrite = Overwrite::Always;
    else if (key == L'n' && a.size() == 2)
      options.haveOverwrite = true, options.overwrite = Overwrite::Never;
    else if (key == L'r' && a.size() == 2)
      options.runCommand = true;
    else if (key == L'd' && !value.empty())
      options.directory = value;
    else if (key == L'p' && a.size() > 2 && a[2] == L':')
      options.havePassword = true, options.password = Narrow(a.substr(3));
    else
      ok = false;
  }
  LocalFree(args);
  return ok;
}

int Run() {
  Options options;
  bool switchesOk = ParseSwitches(options);
  Ui ui;
  ui.silent = options.silent;
  ui.caption = L"Self-extracting archive";
  if (!switchesOk) {
    ui.Error(
        L"Switches: /s silent, /d:DIR target directory, /o replace, /n keep existing files, "
        L"/p:PASSWORD, /r run the command line");
    return kExitNoArchive;
  }

  wchar_t self[MAX_PATH * 4];
  DWORD selfLength = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  InputFile file;
  Settings settings;
  uint64_t imageEnd = 0, headerSize = 0;
  std::vector<Member> members;
  if (selfLength == 0 || selfLength >= MAX_PATH * 4 || !file.Open(self) ||
      (imageEnd = ImageEnd(file)) == 0 || !ReadSettings(file, imageEnd, settings, headerSize) ||
      !ReadMembers(file, imageEnd + headerSize, members)) {
    ui.Error(L"This program holds no archive it can read, or the archive is damaged.");
    return kExitNoArchive;
  }
  if (!settings.caption.empty()) ui.caption = SettingText(settings.caption);

  if (!ui.silent && !settings.message.empty() &&
      MessageBoxW(nullptr, SettingText(settings.message).c_str(), ui.caption.c_str(),
                  MB_OKCANCEL | MB_ICONINFORMATION) != IDOK)
    return kExitCancelled;

  std::wstring directory = options.directory;
  if (directory.empty() && !settings.defaultDir.empty()) {
    std::wstring raw = SettingText(settings.defaultDir);
    wchar_t expanded[MAX_PATH * 4];
    DWORD n = ExpandEnvironmentStringsW(raw.c_str(), expanded, MAX_PATH * 4);
    directory = n > 0 && n <= MAX_PATH * 4 ? std::wstring(expanded) : raw;
  }
  if (directory.empty()) {
    wchar_t current[MAX_PATH * 4];
    DWORD n = GetCurrentDirectoryW(MAX_PATH * 4, current);
    directory = n > 0 && n < MAX_PATH * 4 ? std::wstring(current, n) : L".";
  }
  Overwrite overwrite = options.haveOverwrite ? options.overwrite : settings.overwrite;
  std::vector<bool> chosen(members.size(), true);

  if (!ui.silent && !(settings.flags & kAutoRun)) {
    MainDialogState state{&settings, &members, ui.caption, directory, overwrite, chosen};
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                        MainDialogProc, reinterpret_cast<LPARAM>(&state)) != IDOK)
      return kExitCancelled;
    directory = state.directory;
    overwrite = state.overwrite;
    chosen = state.chosen;
  }
  directory = FullPath(directory);
  if (!MakeDirectories(directory)) {
    ui.Error(L"The directory cannot be created:\n" + directory);
    return kExitTarget;
  }

  if (!(settings.flags & kNoCheckSize)) {
    uint64_t needed = 0;
    for (size_t i = 0; i < members.size(); ++i)
      if (chosen[i]) needed += members[i].size;
    ULARGE_INTEGER freeBytes;
    if (GetDiskFreeSpaceExW(directory.c_str(), &freeBytes, nullptr, nullptr) &&
        freeBytes.QuadPart < needed) {
      std::wstring text = L"Not enough free space in\n" + directory + L"\nfor the " +
                          std::to_wstring(needed / 1024) + L" KB to extract.";
      if (ui.silent) {
        ui.Error(text);
        return kExitTarget;
      }
      if (ui.Ask(text + L"\n\nExtract anyway?", MB_YESNO) != IDYES) return kExitCancelled;
    }
  }

  if (!ui.silent) {
    ui.progress = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS),
                                     nullptr, nullptr, 0);
    if (ui.progress) SetWindowTextW(ui.progress, ui.caption.c_str());
  }
  Extractor extractor(file, ui, overwrite, directory, options);
  int extracted = 0;
  bool cancelled = false;
  for (size_t i = 0; i < members.size() && !cancelled; ++i) {
    if (!chosen[i]) continue;
    Outcome outcome = extractor.Extract(members[i]);
    if (outcome == Outcome::Extracted && !members[i].IsDirectory()) ++extracted;
    cancelled = outcome == Outcome::Cancelled;
  }
  if (ui.progress) DestroyWindow(ui.progress);
  ui.progress = nullptr;

  if (extractor.ErrorCount() > 0) {
    ui.Error(std::to_wstring(extractor.ErrorCount()) + L" file(s) could not be extracted:\n" +
             extractor.Errors());
  } else if (cancelled) {
    return kExitCancelled;
  } else if (!ui.silent && !(settings.flags & kNoSuccessMsg)) {
    std::wstring text = std::to_wstring(extracted) + L" file(s) extracted to\n" + directory;
    MessageBoxW(nullptr, text.c_str(), ui.caption.c_str(), MB_OK | MB_ICONINFORMATION);
  }

  if (!settings.commandLine.empty() && extractor.ErrorCount() == 0 && !cancelled) {
    std::wstring commandLine = SettingText(settings.commandLine);
    bool run = ui.silent ? (options.runCommand || (settings.flags & kAutoRun))
                         : !(settings.flags & kAskCmdLine) ||
                               ui.Ask(L"Run\n" + commandLine + L" ?", MB_YESNO) == IDYES;
    if (run && !RunCommandLine(commandLine, directory, ui.silent))
      ui.Error(L"Cannot run\n" + commandLine);
  }
  if (cancelled) return kExitCancelled;
  return extractor.ErrorCount() > 0 ? kExitMemberErrors : kExitOk;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  return Run();
}
