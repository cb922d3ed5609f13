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

#include <string>
#include <vector>

#include "sfx/Archive.h"
#include "sfx/Extractor.h"
#include "sfx/InputFile.h"
#include "sfx/RunCommand.h"
#include "sfx/SafeNames.h"
#include "sfx/Settings.h"
#include "sfx/Text.h"
#include "sfx/Ui.h"
#include "sfx/ZipSFXIds.h"
#include "zipformat/Methods.h"

namespace sfx {
namespace {

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

  // Members this program cannot decode (AES, methods other than stored and
  // deflated) refuse the whole archive before anything is asked or written.
  std::wstring unreadable;
  size_t unreadableCount = 0;
  for (const Member& m : members) {
    if (m.IsDirectory() || m.method == zip::kMethodStored || m.method == zip::kMethodDeflate) continue;
    if (++unreadableCount <= 10) unreadable += L"\n" + m.name;
  }
  if (unreadableCount > 0) {
    ui.Error(L"This program extracts only stored and deflated members without AES encryption; " +
             std::to_wstring(unreadableCount) + L" member(s) are not:" + unreadable);
    return kExitNoArchive;
  }

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

  if (!ui.silent && !(settings.flags & zip::kSfxAutoRun)) {
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

  if (!(settings.flags & zip::kSfxNoCheckSize)) {
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
  } else if (!ui.silent && !(settings.flags & zip::kSfxNoSuccessMsg)) {
    std::wstring text = std::to_wstring(extracted) + L" file(s) extracted to\n" + directory;
    MessageBoxW(nullptr, text.c_str(), ui.caption.c_str(), MB_OK | MB_ICONINFORMATION);
  }

  if (!settings.commandLine.empty() && extractor.ErrorCount() == 0 && !cancelled) {
    std::wstring commandLine = SettingText(settings.commandLine);
    bool run = ui.silent ? (options.runCommand || (settings.flags & zip::kSfxAutoRun))
                         : !(settings.flags & zip::kSfxAskCmdLine) ||
                               ui.Ask(L"Run\n" + commandLine + L" ?", MB_YESNO) == IDYES;
    if (run && !RunCommandLine(commandLine, directory, ui.silent))
      ui.Error(L"Cannot run\n" + commandLine);
  }
  if (cancelled) return kExitCancelled;
  return extractor.ErrorCount() > 0 ? kExitMemberErrors : kExitOk;
}

}  // namespace
}  // namespace sfx

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  return sfx::Run();
}
