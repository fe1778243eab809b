// The texts of the watch cycle. Each is built whole into a buffer sized, at compile
// time, for the longest text its format can produce: no text is ever cut.
#pragma once

#include <cstddef>
#include <limits>
#include <string>

#include "platform/platform.h"
#include "reporting/reporting.h"

inline constexpr char WatchedWindowClass[] = "BrassOwletTask";
inline constexpr char WatchedProgramFile[] = "BrassOwlet.exe";

namespace text_bounds {

constexpr std::size_t DecimalDigits(unsigned long long value) {
  std::size_t digits = 1;
  for (; value >= 10; value /= 10) {
    ++digits;
  }
  return digits;
}

// The most a Text can hold before its terminator.
inline constexpr std::size_t MaxDirectoryLength = TextBufferSize - 1;
// A time field of two digits or more: every field is a 16-bit word.
inline constexpr std::size_t MaxFieldLength =
    DecimalDigits(std::numeric_limits<unsigned short>::max());
inline constexpr std::size_t MaxErrorNumberLength =
    DecimalDigits(std::numeric_limits<unsigned long>::max());

}  // namespace text_bounds

// "MM/DD/YY HH:MM:SS - Monitoring \"" and the directory; the year is always two digits.
inline constexpr std::size_t TimestampLineSize =
    std::char_traits<char>::length("// :: - Monitoring \"") + 5 * text_bounds::MaxFieldLength + 2 +
    text_bounds::MaxDirectoryLength + 1;

inline constexpr std::size_t StatusLineSize =
    std::char_traits<char>::length("\r -> BrassOwlet is running.") + TimestampLineSize;

inline constexpr std::size_t StartMessageSize =
    std::char_traits<char>::length(" -> Starting BrassOwlet...") + TimestampLineSize;

inline constexpr std::size_t FailureMessageSize =
    std::char_traits<char>::length("Unable to launch  (Error #)") +
    text_bounds::MaxDirectoryLength + 1 + std::char_traits<char>::length(WatchedProgramFile) +
    text_bounds::MaxErrorNumberLength + 1;

// The start message and the failure message share one buffer within a cycle.
inline constexpr std::size_t EventTextSize =
    StartMessageSize > FailureMessageSize ? StartMessageSize : FailureMessageSize;

static_assert(TimestampLineSize >= TextBufferSize && EventTextSize >= TextBufferSize,
              "text buffers are never smaller than a Text");

// The buffers' types carry the bounds above: a directory is a Text, and the
// timestamp line is what BuildTimestampLine made.
void BuildTimestampLine(char (&line)[TimestampLineSize], const LocalTime& time,
                        const char (&directory)[TextBufferSize]);
void BuildStatusLine(char (&line)[StatusLineSize], const char (&timestampLine)[TimestampLineSize]);
void BuildStartMessage(char (&message)[EventTextSize],
                       const char (&timestampLine)[TimestampLineSize]);
void BuildFailureMessage(char (&message)[EventTextSize], const char (&directory)[TextBufferSize],
                         long launchResult);
