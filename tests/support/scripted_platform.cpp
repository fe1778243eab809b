#include "tests/support/scripted_platform.h"

#include <cstring>
#include <filesystem>

PlatformScript Script;
std::vector<Call> Calls;

void PrintTo(const Call& call, std::ostream* out) {
  *out << call.operation << "(";
  for (const char c : call.argument) {
    if (c == '\r') {
      *out << "\\r";
    } else if (c == '\n') {
      *out << "\\n";
    } else {
      *out << c;
    }
  }
  *out << ")";
}

void ResetScript() {
  Script = PlatformScript{};
  Calls.clear();
}

void Record(const char* operation, std::string argument) {
  Calls.push_back({operation, std::move(argument)});
}

void PreparePlatform() {
  Record("PreparePlatform");
}

void CaptureCurrentDirectory(char* buffer, std::size_t bufferLength) {
  Record("CaptureCurrentDirectory", std::to_string(bufferLength));
  const std::string& directory = Script.currentDirectory;
  if (directory.size() + 1 <= bufferLength) {
    std::memcpy(buffer, directory.c_str(), directory.size() + 1);
  } else {
    buffer[0] = '\0';
  }
}

void EnterDirectory(const char* directory) {
  Record("EnterDirectory", directory);
  // It moves for real, so that the event log's tests find their files where a
  // real watchdog would put them.
  std::error_code ignored;
  std::filesystem::current_path(directory, ignored);
}

LocalTime ReadLocalTime() {
  Record("ReadLocalTime");
  return Script.time;
}

bool TopLevelWindowExists(const char* windowClass) {
  Record("TopLevelWindowExists", windowClass);
  if (Script.windowPresent.empty()) {
    return false;
  }
  const bool present = Script.windowPresent.front();
  Script.windowPresent.pop_front();
  return present;
}

long LaunchProgram(const char* programFile) {
  Record("LaunchProgram", programFile);
  if (Script.launchResults.empty()) {
    return 42;
  }
  const long result = Script.launchResults.front();
  Script.launchResults.pop_front();
  return result;
}

void PauseMilliseconds(unsigned milliseconds) {
  Record("PauseMilliseconds", std::to_string(milliseconds));
}

void SoundAlert() {
  Record("SoundAlert");
}

bool StandardOutputIsConsole() {
  return Script.standardOutputIsConsole;
}
