// The real watchdog on Windows (under Wine here): on a console of its own, as a
// person would see it, or with its output in a file; in a fresh directory, against
// the real companion.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/temporary_directory.h"
#include "tests/support/text_patterns.h"
#include "tests/support/wait.h"
#include "tests/support/windows_processes.h"

namespace fs = std::filesystem;
using Rows = std::vector<std::string>;

namespace {

const std::regex Clock(ClockPattern);

class WindowsEndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    root_ = MakeTemporaryDirectory("end-to-end");
    directory_ = root_;
  }
  void TearDown() override {
    StopProgram(monitor_);
    EndProgramsNamed("BrassOwlet.exe");
    if (output_ != nullptr) {
      CloseHandle(output_);
    }
    if (drive_ != 0) {
      UnmapDrive(drive_);
    }
    std::error_code ignored;
    fs::permissions(LogPath(), fs::perms::owner_write, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
  }

  void PlaceCompanion() {
    fs::copy_file(BuiltProgram(COMPANION_FILE), directory_ / "BrassOwlet.exe");
  }
  std::string ReportSetting() const {
    return "BRASSOWLET_COMPANION_REPORT=" + (directory_ / "companion.txt").string();
  }

  // The watchdog on a console of its own, started in `in` (by default the fresh
  // directory).
  void StartOnConsole(const std::string& in = {},
                      const std::vector<std::string>& environment = {}) {
    monitor_ = StartProgram(Quoted(MonitorProgram()), in.empty() ? directory_.string() : in, true,
                            nullptr, environment);
    ASSERT_NE(monitor_.process, nullptr);
  }
  // The watchdog with its standard output in a file.
  void StartIntoFile(const fs::path& file) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    output_ = CreateFileA(file.string().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(output_, INVALID_HANDLE_VALUE);
    monitor_ = StartProgram(Quoted(MonitorProgram()), directory_, false, output_);
    ASSERT_NE(monitor_.process, nullptr);
  }
  static std::string Quoted(const fs::path& path) { return "\"" + path.string() + "\""; }
  // The program under test: the one built here, or, named in BRASSOWLET_MONITOR, one
  // unpacked from the package.
  static fs::path MonitorProgram() {
    const char* unpacked = std::getenv("BRASSOWLET_MONITOR");
    return unpacked != nullptr ? fs::path(unpacked) : BuiltProgram(MONITOR_FILE);
  }

  // The console's rows, with each time of day shown as <time>.
  Rows Screen() const {
    Rows rows = ReadConsoleRows(monitor_);
    for (std::string& row : rows) {
      row = std::regex_replace(row, Clock, "<time>");
    }
    return rows;
  }
  bool ScreenBecomes(const Rows& expected) {
    const bool became = WaitUntil([&] { return Screen() == expected; }, std::chrono::seconds(20));
    if (!became) {
      ADD_FAILURE() << "the console shows:\n" << testing::PrintToString(Screen());
    }
    return became;
  }

  std::string Timestamp(const std::string& directory) const {
    return "<time> - Monitoring \"" + directory;
  }
  std::string Status() const {
    return Timestamp(directory_.string()) + " -> BrassOwlet is running.";
  }
  std::string Start(const std::string& directory) const {
    return Timestamp(directory) + " -> Starting BrassOwlet...";
  }
  static std::string Failure(const std::string& directory) {
    return "Unable to launch " + directory + "\\BrassOwlet.exe (Error #2)";
  }
  // The log's records of failed starts, each a pair, exactly and nothing else.
  static std::regex FailedStartRecords(const std::string& directory) {
    const std::string start = std::string(ClockPattern) + " - Monitoring \"" + Escaped(directory) +
                              R"( -> Starting BrassOwlet\.\.\.\r\n)";
    return std::regex("(" + start + Escaped(Failure(directory)) + "\r\n)+");
  }

  fs::path LogPath() const { return directory_ / "BrassOwletMonitor Log.txt"; }
  std::size_t LoggedFailures() const {
    const std::string log = ReadFileBytes(LogPath());
    std::size_t count = 0;
    for (std::size_t at = log.find("(Error #"); at != std::string::npos;
         at = log.find("(Error #", at + 1)) {
      ++count;
    }
    return count;
  }

  fs::path root_;       // removed with all it holds
  fs::path directory_;  // where the watchdog starts, its log and companion
  StartedProgram monitor_;
  HANDLE output_ = nullptr;
  char drive_ = 0;
};

TEST_F(WindowsEndToEnd, WindowPresentAtStartShowsOnlyTheStatusLineRewrittenInPlaceAndLogsNothing) {
  StartedProgram companion = StartProgram(Quoted(BuiltProgram(COMPANION_FILE)), directory_, false);
  CloseHandle(companion.process);
  ASSERT_TRUE(WaitUntil([] { return FindWindowA("BrassOwletTask", nullptr) != nullptr; }));
  StartOnConsole();
  ASSERT_TRUE(ScreenBecomes({Status()}));
  // The same row, shown at once and then rewritten with a later time.
  const std::string first = ReadConsoleRows(monitor_).at(0);
  EXPECT_TRUE(WaitUntil([&] {
    const Rows rows = ReadConsoleRows(monitor_);
    return rows.size() == 1 && rows[0] != first;
  })) << testing::PrintToString(ReadConsoleRows(monitor_));
  EXPECT_FALSE(fs::exists(LogPath()));
}

TEST_F(WindowsEndToEnd,
       WindowMissingLogsTheStartStartsTheCompanionThroughTheShellAndShowsItsStatus) {
  PlaceCompanion();
  StartOnConsole({}, {ReportSetting()});
  ASSERT_TRUE(ScreenBecomes({"", "", Start(directory_.string()), Status()}));
  const std::string log = ReadFileBytes(LogPath());
  EXPECT_TRUE(std::regex_match(std::regex_replace(log, Clock, "<time>"),
                               std::regex(Escaped(Start(directory_.string())) + "\r\n")))
      << log;
  const std::string report = ReadFileBytes(directory_ / "companion.txt");
  EXPECT_NE(report.find("directory " + directory_.string() + "\n"), std::string::npos) << report;
}

TEST_F(WindowsEndToEnd, CompanionMissingFailsEveryCycleWithError2OnTheConsoleAndInTheLog) {
  StartOnConsole();
  ASSERT_TRUE(WaitUntil([&] { return LoggedFailures() >= 3; }, std::chrono::seconds(20)));
  const std::string directory = directory_.string();
  // Two line feeds before each start; blank lines around each failure, so that
  // three stand between a failure and the next start.
  const Rows cycle = {"", "", Start(directory), "", Failure(directory), ""};
  Rows twoCycles = cycle;
  twoCycles.insert(twoCycles.end(), cycle.begin(), cycle.end());
  const Rows screen = Screen();
  ASSERT_GE(screen.size(), twoCycles.size());
  EXPECT_EQ(Rows(screen.begin(), screen.begin() + static_cast<long>(twoCycles.size())), twoCycles);
  EXPECT_TRUE(std::regex_match(ReadFileBytes(LogPath()), FailedStartRecords(directory)))
      << ReadFileBytes(LogPath());
  EXPECT_TRUE(IsRunning(monitor_));
}

// How the watchdog is started: in a directory whose name is its own, or at the
// root of a drive that names it, where the root's own backslash and the one before
// the file make two.
enum class StartingDirectory { WithPercentSigns, DriveRoot };

std::string Name(StartingDirectory directory) {
  return directory == StartingDirectory::DriveRoot ? "DriveRoot" : "WithPercentSigns";
}
void PrintTo(StartingDirectory directory, std::ostream* out) {
  *out << Name(directory);
}

class WindowsStartingDirectories : public WindowsEndToEnd,
                                   public testing::WithParamInterface<StartingDirectory> {};

TEST_P(WindowsStartingDirectories, AreShownWholeWithOneBackslashBeforeTheFile) {
  std::string startIn;
  if (GetParam() == StartingDirectory::WithPercentSigns) {
    directory_ = root_ / "100% %s %n %d";
    fs::create_directory(directory_);
    startIn = directory_.string();
  } else {
    drive_ = FreeDriveLetter();
    ASSERT_NE(drive_, 0) << "no drive letter is free";
    ASSERT_TRUE(MapDrive(drive_, directory_));
    startIn = {drive_, ':', '\\'};
  }
  StartOnConsole(startIn);
  ASSERT_TRUE(WaitUntil([&] { return LoggedFailures() >= 1; }, std::chrono::seconds(20)));
  EXPECT_TRUE(std::regex_match(ReadFileBytes(LogPath()), FailedStartRecords(startIn)))
      << ReadFileBytes(LogPath());
  EXPECT_TRUE(WaitUntil([&] {
    const Rows screen = Screen();
    return screen.size() >= 5 && screen[2] == Start(startIn) && screen[4] == Failure(startIn);
  })) << testing::PrintToString(Screen());
}

INSTANTIATE_TEST_SUITE_P(Each, WindowsStartingDirectories,
                         testing::Values(StartingDirectory::WithPercentSigns,
                                         StartingDirectory::DriveRoot),
                         [](const testing::TestParamInfo<StartingDirectory>& info) {
                           return Name(info.param);
                         });

// A log the watchdog cannot write: read-only, or held open by another program that
// shares it only for reading.
enum class UnwritableLog { ReadOnly, HeldWithoutSharing };

std::string Name(UnwritableLog log) {
  return log == UnwritableLog::ReadOnly ? "ReadOnly" : "HeldWithoutSharing";
}
void PrintTo(UnwritableLog log, std::ostream* out) {
  *out << Name(log);
}

class WindowsUnwritableLogs : public WindowsEndToEnd,
                              public testing::WithParamInterface<UnwritableLog> {};

TEST_P(WindowsUnwritableLogs, StayAsTheyWereWhileTheConsoleGoesOn) {
  WriteFileBytes(LogPath(), "kept\r\n");
  HANDLE holder = nullptr;
  if (GetParam() == UnwritableLog::ReadOnly) {
    if (ReadOnlyFilesCanBeWritten(directory_)) {
      GTEST_SKIP() << "this system lets the test write read-only files (Wine run by root)";
    }
    fs::permissions(LogPath(), fs::perms::owner_write, fs::perm_options::remove);
  } else {
    holder = CreateFileA(LogPath().string().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  }
  StartOnConsole();
  const std::string directory = directory_.string();
  const Rows cycle = {"", "", Start(directory), "", Failure(directory), ""};
  EXPECT_TRUE(
      WaitUntil([&] { return Screen().size() > 2 * cycle.size(); }, std::chrono::seconds(20)));
  const Rows screen = Screen();
  ASSERT_GE(screen.size(), cycle.size());
  EXPECT_EQ(Rows(screen.begin(), screen.begin() + static_cast<long>(cycle.size())), cycle);
  EXPECT_EQ(ReadFileBytes(LogPath()), "kept\r\n");
  EXPECT_TRUE(IsRunning(monitor_));
  if (holder != nullptr) {
    CloseHandle(holder);
  }
}

INSTANTIATE_TEST_SUITE_P(Each, WindowsUnwritableLogs,
                         testing::Values(UnwritableLog::ReadOnly,
                                         UnwritableLog::HeldWithoutSharing),
                         [](const testing::TestParamInfo<UnwritableLog>& info) {
                           return Name(info.param);
                         });

// Text mode turns each line feed into CR LF, and adds no other byte.
TEST_F(WindowsEndToEnd, OutputToAFileHasCrLfLineEnds) {
  const fs::path output = root_ / "output.txt";
  StartIntoFile(output);
  ASSERT_TRUE(WaitUntil([&] { return LoggedFailures() >= 3; }, std::chrono::seconds(20)));
  const std::string directory = directory_.string();
  const std::string start = std::string(ClockPattern) + " - Monitoring \"" + Escaped(directory) +
                            R"( -> Starting BrassOwlet\.\.\.)";
  const std::string cycle =
      "\r\n\r\n" + start + "\r\n\r\n" + Escaped(Failure(directory)) + "\r\n\r\n";
  // Whole cycles so far: how much the runtime has written out yet is its own affair.
  ASSERT_TRUE(WaitUntil([&] {
    return std::regex_search(ReadFileBytes(output), std::regex("^(" + cycle + "){2}"));
  })) << ReadFileBytes(output);
  const std::string written = ReadFileBytes(output);
  EXPECT_EQ(written.find("\r\r"), std::string::npos);
  EXPECT_EQ(std::regex_replace(written, std::regex("\r\n"), "").find('\n'), std::string::npos);
}

// With no line feed in it, the status line waits in the buffer until a whole block
// of them is written out together.
TEST_F(WindowsEndToEnd, StatusLinesToAFileAreWrittenABlockAtATime) {
  StartedProgram companion = StartProgram(Quoted(BuiltProgram(COMPANION_FILE)), directory_, false);
  CloseHandle(companion.process);
  ASSERT_TRUE(WaitUntil([] { return FindWindowA("BrassOwletTask", nullptr) != nullptr; }));
  // Long lines, so that a block fills within a few cycles.
  directory_ = DirectoryOfLength(root_, 250);
  const fs::path output = root_ / "output.txt";
  StartIntoFile(output);
  ASSERT_TRUE(WaitUntil([&] { return fs::file_size(output) > 0; }, std::chrono::seconds(60)));
  const std::string written = ReadFileBytes(output);
  EXPECT_EQ(written.size() % 4096, 0u) << written.size();
  // Whole lines only: the block may end within one.
  const std::string lines =
      std::regex_replace(written.substr(0, written.rfind('\r')), Clock, "<time>");
  const std::string status = "\r" + Status();
  std::string repeated;
  while (repeated.size() < lines.size()) {
    repeated += status;
  }
  EXPECT_EQ(lines, repeated.substr(0, lines.size()));
  EXPECT_GT(lines.size(), 0u);
}

}  // namespace
