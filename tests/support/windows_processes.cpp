#include "tests/support/windows_processes.h"

#include <tlhelp32.h>

#include <cstring>

#include "tests/support/wait.h"

namespace {

// A block of "NAME=value" strings, each ended by a NUL, the block by one more.
std::string EnvironmentWith(const std::vector<std::string>& extraEnvironment) {
  std::string block;
  for (const std::string& variable : extraEnvironment) {
    block += variable;
    block += '\0';
  }
  char* inherited = GetEnvironmentStringsA();
  for (const char* variable = inherited; *variable != '\0'; variable += std::strlen(variable) + 1) {
    block += variable;
    block += '\0';
  }
  FreeEnvironmentStringsA(inherited);
  block += '\0';
  return block;
}

HANDLE NullDevice() {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inheritable, OPEN_EXISTING, 0, nullptr);
}

// Runs a console to one side of ours: the test's own output is not a console.
template <typename Work>
bool WithConsoleOf(DWORD processId, Work work) {
  FreeConsole();
  if (!AttachConsole(processId)) {
    return false;
  }
  const HANDLE screen =
      CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  const bool worked = screen != INVALID_HANDLE_VALUE && work(screen);
  if (screen != INVALID_HANDLE_VALUE) {
    CloseHandle(screen);
  }
  FreeConsole();
  return worked;
}

// Starts a command; under Wine, a Unix one, which gives no handle to wait on.
void RunCommand(const std::string& commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  std::string line = commandLine;
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &started)) {
    for (const HANDLE handle : {started.hThread, started.hProcess}) {
      if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
      }
    }
  }
}

// Under Wine a drive is a link in the prefix's dosdevices folder.
using UnixFileNameFunction = char*(__cdecl*)(const wchar_t*);

UnixFileNameFunction WineUnixFileName() {
  return reinterpret_cast<UnixFileNameFunction>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
}

std::string Environment(const char* name) {
  char value[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? value : "";
}

std::string WineDriveLink(char drive) {
  std::string prefix = Environment("WINEPREFIX");
  if (prefix.empty()) {
    prefix = Environment("HOME") + "/.wine";
  }
  const char name[] = {static_cast<char>(drive - 'A' + 'a'), ':', '\0'};
  return prefix + "/dosdevices/" + name;
}

}  // namespace

StartedProgram StartProgram(const std::string& commandLine, const std::filesystem::path& directory,
                            bool ownConsole, HANDLE standardOutput,
                            const std::vector<std::string>& extraEnvironment) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  const HANDLE nullDevice = NullDevice();
  DWORD flags = CREATE_SUSPENDED;
  if (ownConsole) {
    flags |= CREATE_NEW_CONSOLE;
    // Wide enough that no line of the watchdog's wraps, so that a row is a line.
    startup.dwFlags = STARTF_USECOUNTCHARS;
    startup.dwXCountChars = 600;
    startup.dwYCountChars = 300;
  } else {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullDevice;
    startup.hStdOutput = standardOutput != nullptr ? standardOutput : nullDevice;
    startup.hStdError = nullDevice;
  }
  std::string environment = EnvironmentWith(extraEnvironment);
  std::string line = commandLine;
  const std::string where = directory.string();
  PROCESS_INFORMATION started{};
  const BOOL created = CreateProcessA(nullptr, line.data(), nullptr, nullptr, !ownConsole, flags,
                                      environment.data(), where.c_str(), &startup, &started);
  CloseHandle(nullDevice);
  if (!created) {
    return {};
  }
  ResumeThread(started.hThread);
  CloseHandle(started.hThread);
  return {started.hProcess, started.dwProcessId};
}

std::filesystem::path BuiltProgram(const char* relativePath) {
  char test[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, test, sizeof test);
  return std::filesystem::path(test).parent_path() / relativePath;
}

bool IsRunning(const StartedProgram& program) {
  return program.process != nullptr && WaitForSingleObject(program.process, 0) == WAIT_TIMEOUT;
}

void StopProgram(StartedProgram& program) {
  if (program.process == nullptr) {
    return;
  }
  TerminateProcess(program.process, 0);
  WaitForSingleObject(program.process, 10000);
  CloseHandle(program.process);
  program = {};
}

std::vector<std::string> ReadConsoleRows(const StartedProgram& program) {
  std::vector<std::string> rows;
  WithConsoleOf(program.id, [&rows](HANDLE screen) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(screen, &info)) {
      return false;
    }
    std::string row(static_cast<std::size_t>(info.dwSize.X), ' ');
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
      DWORD read = 0;
      ReadConsoleOutputCharacterA(screen, row.data(), static_cast<DWORD>(row.size()), COORD{0, y},
                                  &read);
      const std::size_t end = row.find_last_not_of(' ', read == 0 ? 0 : read - 1);
      rows.push_back(end == std::string::npos ? std::string() : row.substr(0, end + 1));
    }
    return true;
  });
  return rows;
}

void EndProgramsNamed(const char* fileName) {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return;
  }
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (_stricmp(entry.szExeFile, fileName) != 0) {
      continue;
    }
    StartedProgram program{OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID),
                           entry.th32ProcessID};
    StopProgram(program);
  }
  CloseHandle(snapshot);
}

bool MapDrive(char drive, const std::filesystem::path& directory) {
  const char name[] = {drive, ':', '\0'};
  if (const UnixFileNameFunction unixFileName = WineUnixFileName()) {
    char* target = unixFileName(directory.wstring().c_str());
    if (target == nullptr) {
      return false;
    }
    RunCommand("/bin/ln -sfn \"" + std::string(target) + "\" \"" + WineDriveLink(drive) + "\"");
    HeapFree(GetProcessHeap(), 0, target);
  } else {
    DefineDosDeviceA(0, name, directory.string().c_str());
  }
  // The drive names the directory when a file made there shows through it.
  const std::filesystem::path marker = directory / "drive marker";
  CloseHandle(CreateFileA(marker.string().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  const std::string markerThroughDrive = std::string(name) + "\\drive marker";
  const bool mapped = WaitUntil(
      [&] { return GetFileAttributesA(markerThroughDrive.c_str()) != INVALID_FILE_ATTRIBUTES; });
  std::error_code ignored;
  std::filesystem::remove(marker, ignored);
  return mapped;
}

void UnmapDrive(char drive) {
  if (WineUnixFileName() != nullptr) {
    RunCommand("/bin/rm -f \"" + WineDriveLink(drive) + "\"");
    return;
  }
  const char name[] = {drive, ':', '\0'};
  DefineDosDeviceA(DDD_REMOVE_DEFINITION, name, nullptr);
}

char FreeDriveLetter() {
  const DWORD used = GetLogicalDrives();
  for (char drive = 'M'; drive <= 'Y'; ++drive) {
    if ((used & (1u << (drive - 'A'))) == 0) {
      return drive;
    }
  }
  return 0;
}

bool ReadOnlyFilesCanBeWritten(const std::filesystem::path& directory) {
  namespace fs = std::filesystem;
  const fs::path probe = directory / "read-only probe";
  CloseHandle(CreateFileA(probe.string().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  fs::permissions(probe, fs::perms::owner_write, fs::perm_options::remove);
  const HANDLE file = CreateFileA(probe.string().c_str(), FILE_APPEND_DATA, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
  }
  fs::permissions(probe, fs::perms::owner_write, fs::perm_options::add);
  fs::remove(probe);
  return file != INVALID_HANDLE_VALUE;
}
