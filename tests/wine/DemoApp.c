/* Test helper: the installed application of the installer's tests under Wine,
   carrying a version resource (DemoApp.rc.in). Started, it leaves the file
   "started.txt" beside itself, so that a test sees it was run. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR line, int show) {
  (void)instance, (void)previous, (void)line, (void)show;
  wchar_t path[MAX_PATH + 16];
  DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
  while (n > 0 && path[n - 1] != L'\\') --n;
  lstrcpyW(path + n, L"started.txt");
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(file);
  return 0;
}
