// Starts Tolvex, waits until its window is painted and idle, and saves the
// window as it stands on the screen to a 24-bit BMP file.
//   screenshot.exe TOLVEX.exe OUT.bmp
#include <windows.h>

#include <cstdio>

#include "driver.h"

using namespace tolvex;

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: screenshot TOLVEX.exe OUT.bmp\n");
    return 2;
  }
  driver::SetTargetPath(argv[1]);
  driver::Target app;
  if (!app.form()) return 1;
  app.Activate();
  WaitForInputIdle(app.process(), 5000);
  Sleep(500);
  app.Sync();

  RECT r{};
  GetWindowRect(app.form(), &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  UniqueGdiObject bitmap(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  HGDIOBJ old = SelectObject(memory, bitmap.get());
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + stride * static_cast<DWORD>(h);
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
  bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  bytes.append(static_cast<const char*>(bits), stride * static_cast<DWORD>(h));
  driver::WriteFileBytes(argv[2], bytes);
  return 0;
}
