// The watchdog's questions answered by Win32 itself.

#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>

#include "platform/platform.h"

void PreparePlatform() {}

void CaptureCurrentDirectory(char* buffer, std::size_t bufferLength) {
  if (bufferLength == 0) {
    return;
  }
  // A directory that does not fit is reported by its size and not copied; the
  // buffer is then made empty rather than left as it was.
  const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(bufferLength), buffer);
  if (length == 0 || length >= bufferLength) {
    buffer[0] = '\0';
  }
}

void EnterDirectory(const char* directory) {
  SetCurrentDirectoryA(directory);
}

LocalTime ReadLocalTime() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

bool TopLevelWindowExists(const char* windowClass) {
  return FindWindowA(windowClass, nullptr) != nullptr;
}

long LaunchProgram(const char* programFile) {
  const HINSTANCE result = ShellExecuteA(nullptr, nullptr, programFile, "", "", SW_SHOWNORMAL);
  // Not a real handle: a number, greater than 32 on success.
  return static_cast<long>(reinterpret_cast<INT_PTR>(result));
}

void PauseMilliseconds(unsigned milliseconds) {
  Sleep(milliseconds);
}

void SoundAlert() {
  MessageBeep(MB_OK);
}

bool StandardOutputIsConsole() {
  return _isatty(_fileno(stdout)) != 0;
}
