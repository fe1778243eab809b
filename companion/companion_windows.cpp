// BrassOwlet's stand-in on Windows: a GUI program with one top-level window of the
// class "BrassOwletTask", shown until it is closed.
//
// Its options, for tests and demos, are in companion_options.h.
// With BRASSOWLET_COMPANION_REPORT set to a file name, it first writes there what it
// was started with: its process id, current directory and command line.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "companion/companion_options.h"

namespace {

constexpr UINT_PTR ExitTimer = 1;

void WriteStartReport(const char* path) {
  std::FILE* report = std::fopen(path, "wb");
  if (report == nullptr) {
    return;
  }
  char directory[MAX_PATH + 1] = {};
  GetCurrentDirectoryA(sizeof directory, directory);
  std::fprintf(report, "pid %lu\ndirectory %s\ncommand line %s\n", GetCurrentProcessId(), directory,
               GetCommandLineA());
  std::fclose(report);
}

LRESULT CALLBACK HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void RegisterWindowClass(HINSTANCE instance, const char* name, WNDPROC procedure) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = name;
  RegisterClassA(&windowClass);
}

HWND CreateTopLevelWindow(HINSTANCE instance, const CompanionOptions& options) {
  RegisterWindowClass(instance, "BrassOwletTask", HandleMessage);
  if (!options.asChild) {
    return CreateWindowExA(0, "BrassOwletTask", options.title, WS_OVERLAPPEDWINDOW, 40, 40, 320,
                           120, nullptr, nullptr, instance, nullptr);
  }
  RegisterWindowClass(instance, "BrassOwletHost", HandleMessage);
  const HWND host = CreateWindowExA(0, "BrassOwletHost", options.title, WS_OVERLAPPEDWINDOW, 40, 40,
                                    320, 120, nullptr, nullptr, instance, nullptr);
  CreateWindowExA(0, "BrassOwletTask", "BrassOwlet", WS_CHILD | WS_VISIBLE, 0, 0, 200, 80, host,
                  nullptr, instance, nullptr);
  return host;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  CompanionOptions options;
  if (!ParseCompanionOptions(__argc, __argv, options)) {
    return 2;
  }
  if (const char* reportPath = std::getenv("BRASSOWLET_COMPANION_REPORT")) {
    WriteStartReport(reportPath);
  }
  if (options.delayMs > 0) {
    Sleep(static_cast<DWORD>(options.delayMs));
  }
  const HWND window = CreateTopLevelWindow(instance, options);
  if (window == nullptr) {
    return 1;
  }
  if (!options.unmapped) {
    ShowWindow(window, showCommand);
  }
  if (options.exitAfterMs >= 0) {
    SetTimer(window, ExitTimer, static_cast<UINT>(options.exitAfterMs), nullptr);
  }
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
