/* Test helper, run under Wine: waits for a visible top-level window with the
   given caption, saves the screen as a 24-bit BMP file, writes the text of each
   of the window's controls on a line of its own to standard output, then closes
   the window, or clicks its button captioned BUTTON when given.
   usage: ScreenShot CAPTION OUTPUT.bmp [SECONDS [BUTTON]]
   Exit status: 0 saved, 1 no such window (or button) in time, 2 the file could not be written. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

struct Search {
  const wchar_t* text;
  HWND found;
};

/* Through WM_GETTEXT: the text of another process's control. */
static void TextOf(HWND window, wchar_t* text, int size) {
  text[0] = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, (WPARAM)size, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, NULL);
}

static BOOL CALLBACK VisibleWithCaption(HWND window, LPARAM search) {
  struct Search* s = (struct Search*)search;
  wchar_t text[512];
  if (!IsWindowVisible(window)) return TRUE;
  TextOf(window, text, 512);
  if (lstrcmpW(text, s->text) != 0) return TRUE;
  s->found = window;
  return FALSE;
}

static BOOL CALLBACK PrintControl(HWND control, LPARAM button) {
  struct Search* s = (struct Search*)button;
  wchar_t text[2048];
  TextOf(control, text, 2048);
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
  char* utf8 = (char*)malloc((size_t)n);
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, n, NULL, NULL);
  for (char* c = utf8; *c; ++c)
    if (*c == '\r' || *c == '\n') *c = '|';
  printf("%s\n", utf8);
  free(utf8);
  if (s->text && !s->found && lstrcmpW(text, s->text) == 0) s->found = control;
  return TRUE;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  int seconds = argc > 3 ? _wtoi(argv[3]) : 60;
  HWND window = NULL;
  for (int waited = 0; waited < seconds * 10 && !window; ++waited) {
    struct Search search = {argv[1], NULL};
    EnumWindows(VisibleWithCaption, (LPARAM)&search);
    window = search.found;
    if (!window) Sleep(100);
  }
  if (!window) return 1;
  Sleep(1500); /* let it paint */
  SetForegroundWindow(window);
  RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(500);

  int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  HDC screen = GetDC(NULL);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info;
  ZeroMemory(&info, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = NULL;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  GdiFlush();

  DWORD rowBytes = (DWORD)((width * 3 + 3) & ~3);
  DWORD imageSize = rowBytes * (DWORD)height;
  BITMAPFILEHEADER file;
  ZeroMemory(&file, sizeof file);
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + imageSize;
  int status = 2;
  FILE* out = _wfopen(argv[2], L"wb");
  if (out) {
    if (fwrite(&file, sizeof file, 1, out) == 1 &&
        fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
        fwrite(bits, 1, imageSize, out) == imageSize)
      status = 0;
    if (fclose(out) != 0) status = 2;
  }
  struct Search button = {argc > 4 ? argv[4] : NULL, NULL};
  EnumChildWindows(window, PrintControl, (LPARAM)&button);
  fflush(stdout);
  if (!button.text) {
    PostMessageW(window, WM_CLOSE, 0, 0);
  } else if (button.found) {
    /* Posted: the click may open boxes of its own, which this program closes next. */
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button.found), BN_CLICKED), (LPARAM)button.found);
  } else if (status == 0) {
    status = 1;
  }
  return status;
}
