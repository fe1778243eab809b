// Coverage-guided fuzzing of the watch cycle's texts: any directory a Text can hold,
// any local time, any launch result. Each text must come out whole, equal to what
// its format says, built here another way; AddressSanitizer catches any overrun.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "watchdog/texts.h"

namespace {

std::string TwoDigitsAtLeast(unsigned value) {
  const std::string digits = std::to_string(value);
  return digits.size() < 2 ? "0" + digits : digits;
}

void Expect(const char* built, const std::string& expected) {
  if (expected != built) {
    std::abort();
  }
}

template <typename T>
T Take(const std::uint8_t*& data, std::size_t& size) {
  T value{};
  const std::size_t taken = size < sizeof value ? size : sizeof value;
  std::memcpy(&value, data, taken);
  data += taken;
  size -= taken;
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  LocalTime time{};
  for (unsigned short* field :
       {&time.year, &time.month, &time.day, &time.hour, &time.minute, &time.second}) {
    *field = Take<unsigned short>(data, size);
  }
  const long launchResult = Take<long>(data, size);
  // The rest is the directory, up to the NUL that ends it or the Text's capacity.
  char directory[TextBufferSize] = {};
  const std::size_t length = strnlen(reinterpret_cast<const char*>(data),
                                     size < TextBufferSize - 1 ? size : TextBufferSize - 1);
  std::memcpy(directory, data, length);

  const std::string timestamp = TwoDigitsAtLeast(time.month) + "/" + TwoDigitsAtLeast(time.day) +
                                "/" + TwoDigitsAtLeast(time.year % 100u) + " " +
                                TwoDigitsAtLeast(time.hour) + ":" + TwoDigitsAtLeast(time.minute) +
                                ":" + TwoDigitsAtLeast(time.second) + " - Monitoring \"" +
                                directory;
  char timestampLine[TimestampLineSize];
  BuildTimestampLine(timestampLine, time, directory);
  Expect(timestampLine, timestamp);

  char statusLine[StatusLineSize];
  BuildStatusLine(statusLine, timestampLine);
  Expect(statusLine, "\r" + timestamp + " -> BrassOwlet is running.");

  char event[EventTextSize];
  BuildStartMessage(event, timestampLine);
  Expect(event, timestamp + " -> Starting BrassOwlet...");

  BuildFailureMessage(event, directory, launchResult);
  Expect(event, "Unable to launch " + std::string(directory) + PathSeparator + WatchedProgramFile +
                    " (Error #" + std::to_string(static_cast<unsigned long>(launchResult)) + ")");
  return 0;
}
