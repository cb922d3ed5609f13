/* Test helper, run under Wine: waits for a top-level window with the given
   caption, saves the screen as a 24-bit BMP file, then closes that window.
   usage: ScreenShot CAPTION OUTPUT.bmp [SECONDS]
   Exit status: 0 saved, 1 no such window in time, 2 the file could not be written. */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  int seconds = argc > 3 ? _wtoi(argv[3]) : 60;
  HWND window = NULL;
  for (int waited = 0; waited < seconds * 10 && !window; ++waited) {
    window = FindWindowW(NULL, argv[1]);
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
  PostMessageW(window, WM_CLOSE, 0, 0);
  return status;
}
