// The watch cycle driven through a scripted platform: every call, every text and
// the order of every step.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reporting/reporting.h"
#include "tests/support/scripted_platform.h"
#include "watchdog/texts.h"
#include "watchdog/watchdog.h"

namespace {

#ifdef _WIN32
const std::string ToolsDirectory = "C:\\Tools";
const std::string RootDirectory = "C:\\";
#else
const std::string ToolsDirectory = "/opt/Tools";
const std::string RootDirectory = "/";
#endif
const std::string Separator(1, PathSeparator);

std::string Timestamp(const std::string& clock, const std::string& directory) {
  return clock + " - Monitoring \"" + directory;
}

std::string StatusLine(const std::string& timestamp) {
  return "\r" + timestamp + " -> BrassOwlet is running.";
}

std::string StartMessage(const std::string& timestamp) {
  return timestamp + " -> Starting BrassOwlet...";
}

std::string FailureMessage(const std::string& directory, const std::string& error) {
  return "Unable to launch " + directory + Separator + "BrassOwlet.exe (Error #" + error + ")";
}

std::vector<Call> PresentCycle(const std::string& timestamp) {
  return {{"ReadLocalTime", ""},
          {"TopLevelWindowExists", "BrassOwletTask"},
          {"ConsoleWrite", StatusLine(timestamp)},
          {"PauseMilliseconds", "1000"}};
}

std::vector<Call> RecoveryUpToLaunch(const std::string& timestamp, const std::string& directory) {
  return {{"ReadLocalTime", ""},
          {"TopLevelWindowExists", "BrassOwletTask"},
          {"ConsoleLine", "\n"},
          {"AlertBeep", ""},
          {"ConsoleLine", StartMessage(timestamp)},
          {"AppendLogRecord", StartMessage(timestamp)},
          {"EnterDirectory", directory},
          {"LaunchProgram", "BrassOwlet.exe"}};
}

std::vector<Call> SucceededRecovery(const std::string& timestamp, const std::string& directory) {
  std::vector<Call> calls = RecoveryUpToLaunch(timestamp, directory);
  calls.push_back({"PauseMilliseconds", "1000"});
  return calls;
}

std::vector<Call> FailedRecovery(const std::string& timestamp, const std::string& directory,
                                 const std::string& error) {
  std::vector<Call> calls = RecoveryUpToLaunch(timestamp, directory);
  const std::vector<Call> failure = {{"AlertBeep", ""},
                                     {"ConsoleLine", ""},
                                     {"ConsoleLine", FailureMessage(directory, error)},
                                     {"AppendLogRecord", FailureMessage(directory, error)},
                                     {"ConsoleLine", ""},
                                     {"PauseMilliseconds", "1000"}};
  calls.insert(calls.end(), failure.begin(), failure.end());
  return calls;
}

class WatchCycle : public testing::Test {
 protected:
  void StartIn(const std::string& directory) {
    ResetScript();
    Script.currentDirectory = directory;
    StartWatchdog();
    Calls.clear();
  }
  void SetUp() override { StartIn(ToolsDirectory); }

  const std::string timestamp = Timestamp("07/14/11 09:05:07", ToolsDirectory);
};

TEST_F(WatchCycle, StartupCapturesTheDirectoryWithOneByteLessThanItsBufferAndWritesNothing) {
  ResetScript();
  Script.currentDirectory = ToolsDirectory;
  StartWatchdog();
  EXPECT_EQ(Calls,
            (std::vector<Call>{{"PreparePlatform", ""}, {"CaptureCurrentDirectory", "255"}}));
  EXPECT_EQ(std::string(StartupDirectory), ToolsDirectory);
}

TEST_F(WatchCycle, PresentWindowOnlyRewritesTheStatusLineInPlace) {
  Script.windowPresent = {true, true};
  RunWatchCycle();
  RunWatchCycle();
  std::vector<Call> expected = PresentCycle(timestamp);
  const std::vector<Call> second = PresentCycle(timestamp);
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(Calls, expected);
}

TEST_F(WatchCycle, MissingWindowAnnouncesLogsAndLaunchesInThatOrder) {
  Script.launchResults = {42};
  RunWatchCycle();
  EXPECT_EQ(Calls, SucceededRecovery(timestamp, ToolsDirectory));
}

TEST_F(WatchCycle, LaunchResultsOf32OrLessAreReportedWithTheirNumber) {
  struct Case {
    long result;
    bool failed;
    std::string shown;
  };
  const Case cases[] = {{0, true, "0"},   {2, true, "2"},  {5, true, "5"},  {11, true, "11"},
                        {32, true, "32"}, {33, false, ""}, {42, false, ""}, {100000, false, ""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    StartIn(ToolsDirectory);
    Script.launchResults = {c.result};
    RunWatchCycle();
    EXPECT_EQ(Calls, c.failed ? FailedRecovery(timestamp, ToolsDirectory, c.shown)
                              : SucceededRecovery(timestamp, ToolsDirectory));
  }
}

TEST_F(WatchCycle, RepeatedFailuresStartOverEveryCycleWithNothingRemembered) {
  Script.launchResults = {2, 2, 2};
  for (int cycle = 0; cycle < 3; ++cycle) {
    RunWatchCycle();
  }
  std::vector<Call> expected;
  for (int cycle = 0; cycle < 3; ++cycle) {
    const std::vector<Call> one = FailedRecovery(timestamp, ToolsDirectory, "2");
    expected.insert(expected.end(), one.begin(), one.end());
  }
  EXPECT_EQ(Calls, expected);
}

TEST_F(WatchCycle, RecoveryOnlyWhileTheWindowIsMissing) {
  Script.windowPresent = {true, false, true};
  Script.launchResults = {42};
  RunWatchCycle();
  RunWatchCycle();
  RunWatchCycle();
  std::vector<Call> expected = PresentCycle(timestamp);
  for (const auto& part : {SucceededRecovery(timestamp, ToolsDirectory), PresentCycle(timestamp)}) {
    expected.insert(expected.end(), part.begin(), part.end());
  }
  EXPECT_EQ(Calls, expected);
}

TEST_F(WatchCycle, TimestampShowsEveryFieldInTwoDigits) {
  struct Case {
    LocalTime time;
    std::string clock;
  };
  const Case cases[] = {
      {{2011, 7, 14, 9, 5, 7}, "07/14/11 09:05:07"},
      {{2000, 1, 2, 3, 4, 5}, "01/02/00 03:04:05"},
      {{1999, 12, 31, 23, 59, 59}, "12/31/99 23:59:59"},
      {{2105, 10, 10, 0, 0, 0}, "10/10/05 00:00:00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.clock);
    StartIn(ToolsDirectory);
    Script.time = c.time;
    Script.windowPresent = {true};
    RunWatchCycle();
    EXPECT_EQ(Calls, PresentCycle(Timestamp(c.clock, ToolsDirectory)));
  }
}

// Directories whose characters a format could misread, a root that already ends
// with a separator, and lengths around where the texts pass 255 characters.
TEST_F(WatchCycle, EveryDirectoryShowsWholeAndUnchangedInEveryText) {
  const std::string longBase = ToolsDirectory + Separator;
  const std::string directories[] = {
      ToolsDirectory + Separator + "100% %s %n %d",
      ToolsDirectory + Separator + "quote\" back\\slash",
      RootDirectory,
      longBase + std::string(198 - longBase.size(), 'd'),
      longBase + std::string(212 - longBase.size(), 'd'),
      longBase + std::string(224 - longBase.size(), 'd'),
      longBase + std::string(254 - longBase.size(), 'd'),
  };
  for (const std::string& directory : directories) {
    SCOPED_TRACE(directory);
    StartIn(directory);
    Script.windowPresent = {true};
    Script.launchResults = {2};
    RunWatchCycle();
    RunWatchCycle();
    const std::string stamp = Timestamp("07/14/11 09:05:07", directory);
    std::vector<Call> expected = PresentCycle(stamp);
    const std::vector<Call> failed = FailedRecovery(stamp, directory, "2");
    expected.insert(expected.end(), failed.begin(), failed.end());
    EXPECT_EQ(Calls, expected);
  }
}

TEST_F(WatchCycle, DirectoryTooLongToCaptureLeavesTheTextsEmptyThereAndStillLaunches) {
  for (const std::size_t length : {255, 256, 4000}) {
    SCOPED_TRACE(length);
    StartIn(ToolsDirectory + Separator + std::string(length - ToolsDirectory.size() - 1, 'd'));
    Script.launchResults = {2};
    RunWatchCycle();
    EXPECT_EQ(std::string(StartupDirectory), "");
    EXPECT_EQ(Calls, FailedRecovery(Timestamp("07/14/11 09:05:07", ""), "", "2"));
  }
}

// The buffers are sized for the longest text a format can make; at the extremes
// every text still comes out whole.
TEST(Texts, LongestPossibleTextsAreHeldWhole) {
  char directory[TextBufferSize];
  const std::string longest(TextBufferSize - 1, 'x');
  longest.copy(directory, longest.size());
  directory[longest.size()] = '\0';
  const LocalTime extreme{65535, 65535, 65535, 65535, 65535, 65535};

  char timestampLine[TimestampLineSize];
  BuildTimestampLine(timestampLine, extreme, directory);
  const std::string stamp = "65535/65535/35 65535:65535:65535 - Monitoring \"" + longest;
  EXPECT_EQ(std::string(timestampLine), stamp);

  char statusLine[StatusLineSize];
  BuildStatusLine(statusLine, timestampLine);
  EXPECT_EQ(std::string(statusLine), StatusLine(stamp));

  char eventText[EventTextSize];
  BuildStartMessage(eventText, timestampLine);
  EXPECT_EQ(std::string(eventText), StartMessage(stamp));

  BuildFailureMessage(eventText, directory, -1);
  EXPECT_EQ(std::string(eventText),
            FailureMessage(longest, std::to_string(static_cast<unsigned long>(-1L))));
}

}  // namespace
