// The Windows platform for real: directories, starting programs and the presence
// test, against the companion's windows.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/in_temporary_directory.h"
#include "tests/support/temporary_directory.h"
#include "tests/support/wait.h"
#include "tests/support/windows_processes.h"

namespace fs = std::filesystem;

namespace {

class WindowsPlatform : public InTemporaryDirectory {
 protected:
  void TearDown() override {
    EndProgramsNamed("BrassOwlet.exe");
    SetEnvironmentVariableA("BRASSOWLET_COMPANION_REPORT", nullptr);
    InTemporaryDirectory::TearDown();
  }

  void StartCompanion(const std::string& options) {
    StartedProgram companion = StartProgram(
        "\"" + BuiltProgram(COMPANION_FILE).string() + "\" " + options, directory_, false);
    ASSERT_NE(companion.process, nullptr);
    CloseHandle(companion.process);
  }
};

TEST_F(WindowsPlatform, CaptureTakesADirectoryThatFitsAndLeavesALongerOneEmpty) {
  ExpectCaptureTakesOnlyWhatFits({0, 254, 255});
}

TEST_F(WindowsPlatform, EnterDirectoryMovesThereAndLeavesTheCurrentOneOnFailure) {
  const fs::path inner = directory_ / "inner";
  fs::create_directory(inner);
  EnterDirectory(inner.string().c_str());
  EXPECT_EQ(fs::current_path(), inner);
  EnterDirectory((directory_ / "missing").string().c_str());
  EXPECT_EQ(fs::current_path(), inner);
}

TEST_F(WindowsPlatform, FailedStartsReturnTheShellsErrorNumbers) {
  struct Case {
    const char* what;
    const char* contents;  // of BrassOwlet.exe, or none
    long expected;
  };
  const Case cases[] = {
      {"missing", nullptr, 2},
      {"not a program", "MZ but nothing a loader could use", 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path at = MakeTemporaryDirectory("launch");
    if (c.contents != nullptr) {
      WriteFileBytes(at / "BrassOwlet.exe", c.contents);
    }
    fs::current_path(at);
    EXPECT_EQ(LaunchProgram("BrassOwlet.exe"), c.expected);
    fs::current_path(directory_);
    fs::remove_all(at);
  }
}

// Through the shell, from the current directory, with no parameters, and shown.
TEST_F(WindowsPlatform, AStartedProgramRunsInTheCurrentDirectoryWithNoParameters) {
  fs::copy_file(BuiltProgram(COMPANION_FILE), directory_ / "BrassOwlet.exe");
  const fs::path report = directory_ / "companion.txt";
  SetEnvironmentVariableA("BRASSOWLET_COMPANION_REPORT", report.string().c_str());
  EXPECT_GT(LaunchProgram("BrassOwlet.exe"), 32);
  // Created first, shown a moment later.
  EXPECT_TRUE(WaitUntil([] { return IsWindowVisible(FindWindowA("BrassOwletTask", nullptr)); }));
  ASSERT_TRUE(WaitUntil(
      [&] { return ReadFileBytes(report).find("\ncommand line ") != std::string::npos; }));
  const std::string started = ReadFileBytes(report);
  EXPECT_NE(started.find("directory " + directory_.string() + "\n"), std::string::npos) << started;
  const std::string commandLine = started.substr(started.find("command line ") + 13);
  EXPECT_NE(commandLine.find("BrassOwlet.exe"), std::string::npos) << commandLine;
  EXPECT_EQ(commandLine.find_first_not_of(" \"\n", commandLine.find("BrassOwlet.exe") + 14),
            std::string::npos)
      << "parameters were passed: " << commandLine;
}

TEST_F(WindowsPlatform, ATopLevelWindowOfTheClassCountsWhetherShownOrNot) {
  EXPECT_FALSE(TopLevelWindowExists("BrassOwletTask"));
  // Whatever its title, too.
  for (const char* options : {"", "--unmapped", "--title \"\"", "--title \"Another program\""}) {
    SCOPED_TRACE(options);
    StartCompanion(options);
    EXPECT_TRUE(WaitUntil([] { return TopLevelWindowExists("BrassOwletTask"); }));
    EXPECT_FALSE(TopLevelWindowExists("BrassOwletTas"));
    EndProgramsNamed("BrassOwlet.exe");
    EXPECT_TRUE(WaitUntil([] { return !TopLevelWindowExists("BrassOwletTask"); }));
  }
}

TEST_F(WindowsPlatform, AChildWindowOfTheClassDoesNotCount) {
  StartCompanion("--as-child");
  ASSERT_TRUE(WaitUntil([] { return FindWindowA("BrassOwletHost", nullptr) != nullptr; }));
  const HWND host = FindWindowA("BrassOwletHost", nullptr);
  ASSERT_TRUE(WaitUntil([&] { return FindWindowExA(host, nullptr, "BrassOwletTask", nullptr); }));
  EXPECT_FALSE(TopLevelWindowExists("BrassOwletTask"));
}

TEST_F(WindowsPlatform, TheCompanionCanShowItsWindowLateAndEndByItself) {
  StartCompanion("--delay-ms 1000 --exit-after-ms 1000");
  EXPECT_FALSE(TopLevelWindowExists("BrassOwletTask"));
  EXPECT_TRUE(WaitUntil([] { return TopLevelWindowExists("BrassOwletTask"); }));
  EXPECT_TRUE(WaitUntil([] { return !TopLevelWindowExists("BrassOwletTask"); }));
}

TEST_F(WindowsPlatform, StandardOutputIsAConsoleOnlyWhenItIsOne) {
  // The tests' own output goes to a pipe; a console is the end-to-end tests' part.
  EXPECT_FALSE(StandardOutputIsConsole());
}

}  // namespace
