// Drives through the system's own calls. A root without a drive letter ("\")
// stands for the current directory's drive.
#include "platform/Drives.h"
#include "platform/Paths.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Env.h"
#include "platform/win32/WindowsApi.h"

namespace platform {
namespace {

// "C:\" for a drive root, the current drive's root for "\".
std::wstring RootText(const std::string& root) {
  if (DriveLetterOf(root)) return win32::Widen(root.substr(0, 2) + "\\");
  return {};  // the calls take a null root as the current directory's drive
}

const wchar_t* RootOrNull(const std::wstring& root) { return root.empty() ? nullptr : root.c_str(); }

// Asks the drive without the system's "insert a disk" box.
class QuietErrors {
 public:
  QuietErrors() : old_(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
  ~QuietErrors() { SetErrorMode(old_); }

 private:
  UINT old_;
};

// SHFormatDrive is looked up in shell32 when needed: the call and its box
// belong to the shell, which a program need not load before.
using ShFormatDriveFn = DWORD(WINAPI*)(HWND, UINT, UINT, UINT);
constexpr DWORD kFormatFailed = 0xFFFFFFFF, kFormatCancelled = 0xFFFFFFFE, kFormatNotPossible = 0xFFFFFFFD;

class Win32DriveProvider : public DriveProvider {
 public:
  int GetDriveType(const std::string& root) override {
    const std::wstring text = RootText(root);
    return static_cast<int>(GetDriveTypeW(RootOrNull(text)));
  }

  uint32_t GetLogicalDrives() override { return ::GetLogicalDrives(); }

  VolumeInfo GetVolumeInformation(const std::string& root) override {
    QuietErrors quiet;
    const std::wstring text = RootText(root);
    wchar_t label[MAX_PATH + 1] = {};
    DWORD serial = 0;
    VolumeInfo info;
    if (!GetVolumeInformationW(RootOrNull(text), label, MAX_PATH + 1, &serial, nullptr, nullptr, nullptr, 0)) {
      info.error = GetLastError();
      return info;
    }
    info.ok = true;
    info.label = win32::Narrow(label);
    info.serial = serial;
    return info;
  }

  std::optional<DiskSpace> GetDiskFreeSpace(const std::string& root) override {
    QuietErrors quiet;
    const std::wstring text = RootText(root);
    ULARGE_INTEGER available, total;
    if (!GetDiskFreeSpaceExW(RootOrNull(text), &available, &total, nullptr)) return std::nullopt;
    return DiskSpace{static_cast<int64_t>(available.QuadPart), static_cast<int64_t>(total.QuadPart)};
  }

  bool SetVolumeLabel(const std::string& root, const std::string& label) override {
    const std::wstring text = RootText(root);
    const std::wstring wideLabel = win32::Widen(label);
    return SetVolumeLabelW(RootOrNull(text), wideLabel.c_str());
  }

  bool IsDiskInDrive(const std::string& root) override {
    if (GetDriveType(root) != kDriveRemovable && GetDriveType(root) != kDriveCdrom) return true;
    QuietErrors quiet;
    const std::wstring text = RootText(root);
    return GetVolumeInformationW(RootOrNull(text), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0) ||
           GetLastError() == kErrorNotFormatted;
  }

  bool CanFormatDrive(const std::string& root) override {
    return DriveLetterOf(root) && GetDriveType(root) == kDriveRemovable;
  }

  int FormatDrive(const std::string& root, const std::string& label) override {
    if (!CanFormatDrive(root)) return -3;
    HMODULE shell = LoadLibraryW(L"shell32.dll");
    auto format = shell ? reinterpret_cast<ShFormatDriveFn>(reinterpret_cast<void*>(::GetProcAddress(shell, "SHFormatDrive"))) : nullptr;
    if (!format) {
      if (shell) FreeLibrary(shell);
      return -3;
    }
    const UINT drive = static_cast<UINT>(DriveLetterOf(root) - 'A');
    constexpr UINT kQuickFormatId = 0xFFFF;  // SHFMT_ID_DEFAULT
    const DWORD result = format(GetActiveWindow(), drive, kQuickFormatId, 0);
    FreeLibrary(shell);
    if (result == kFormatNotPossible) return -3;
    if (result == kFormatFailed || result == kFormatCancelled) return -1;
    return SetVolumeLabel(root, label) ? 0 : -1;
  }
};

}  // namespace

DriveProvider& Win32Drives() {
  static Win32DriveProvider drives;
  return drives;
}

}  // namespace platform
