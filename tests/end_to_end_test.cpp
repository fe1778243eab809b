// The real program in a pseudo-terminal, in a fresh directory, against a private X
// server and the real companion.

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/processes.h"
#include "tests/support/temporary_directory.h"

namespace fs = std::filesystem;

namespace {

const char ClockPattern[] = R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)";

std::string Escaped(const std::string& text) {
  static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
  return std::regex_replace(text, special, R"(\$&)");
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// The watchdog on a pseudo-terminal: what a person would see, byte for byte (the
// terminal turns each line feed into CR LF, and the beep arrives as BEL).
struct Terminal {
  pid_t process = -1;
  int master = -1;
  std::string output;
};

Terminal StartInTerminal(const fs::path& directory, const std::vector<std::string>& arguments = {},
                         const std::vector<std::string>& environment = {}) {
  Terminal terminal;
  terminal.process = forkpty(&terminal.master, nullptr, nullptr, nullptr);
  if (terminal.process == 0) {
    if (chdir(directory.c_str()) != 0) {
      _exit(126);
    }
    for (const std::string& variable : environment) {
      putenv(const_cast<char*>(variable.c_str()));
    }
    std::vector<char*> argv{const_cast<char*>(MONITOR_PATH)};
    for (const std::string& argument : arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    execv(MONITOR_PATH, argv.data());
    _exit(127);
  }
  return terminal;
}

// Reads what the terminal shows until condition holds on all of it, or the deadline.
bool ReadUntil(Terminal& terminal, const std::function<bool(const std::string&)>& condition,
               std::chrono::seconds deadline = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  pollfd reader{terminal.master, POLLIN, 0};
  while (!condition(terminal.output)) {
    if (std::chrono::steady_clock::now() >= end) {
      return false;
    }
    if (poll(&reader, 1, 50) <= 0) {
      continue;
    }
    char buffer[4096];
    const ssize_t length = read(terminal.master, buffer, sizeof buffer);
    if (length <= 0) {
      return condition(terminal.output);
    }
    terminal.output.append(buffer, static_cast<std::size_t>(length));
  }
  return true;
}

void Stop(Terminal& terminal) {
  if (terminal.process > 0) {
    kill(terminal.process, SIGTERM);
    waitpid(terminal.process, nullptr, 0);
    terminal.process = -1;
  }
  if (terminal.master >= 0) {
    close(terminal.master);
    terminal.master = -1;
  }
}

auto Contains(const std::string& part, std::size_t times = 1) {
  return [part, times](const std::string& output) { return Count(output, part) >= times; };
}

class EndToEnd : public WithXServer {
 protected:
  void SetUp() override { directory_ = MakeTemporaryDirectory("end-to-end"); }
  void TearDown() override {
    Stop(terminal_);
    for (const pid_t process : companions_) {
      StopProcess(process);
    }
    fs::remove_all(directory_);
  }

  void PlaceCompanion() { fs::copy_file(COMPANION_PATH, directory_ / "BrassOwlet.exe"); }
  // The companions the watchdog starts write their process ids here.
  std::string ReportSetting() const {
    return "BRASSOWLET_COMPANION_REPORT=" + (directory_ / "companion.txt").string();
  }
  pid_t StartedCompanion() const {
    const std::string report = ReadFileBytes(directory_ / "companion.txt");
    return report.rfind("pid ", 0) == 0 ? std::atoi(report.c_str() + 4) : -1;
  }

  std::string Timestamp() const {
    return std::string(ClockPattern) + " - Monitoring \"" + Escaped(directory_.string());
  }
  std::string StatusLine() const { return "\r" + Timestamp() + R"( -> BrassOwlet is running\.)"; }
  std::string StartMessage() const { return Timestamp() + R"( -> Starting BrassOwlet\.\.\.)"; }
  std::string FailureMessage() const {
    return "Unable to launch " + Escaped((directory_ / "BrassOwlet.exe").string()) +
           R"( \(Error #2\))";
  }
  fs::path LogPath() const { return directory_ / "BrassOwletMonitor Log.txt"; }

  fs::path directory_;
  Terminal terminal_;
  std::vector<pid_t> companions_;
};

TEST_F(EndToEnd, WindowPresentAtStartShowsOnlyTheStatusLineRewrittenInPlaceAndWritesNoLog) {
  companions_.push_back(StartProcess(COMPANION_PATH, {}));
  ASSERT_TRUE(WaitUntil([] { return TopLevelWindowExists("BrassOwletTask"); }));
  // Arguments are ignored.
  terminal_ = StartInTerminal(directory_, {"--help", "extra"});
  ASSERT_TRUE(ReadUntil(terminal_, Contains("is running.", 3))) << terminal_.output;
  const std::string shown = terminal_.output.substr(0, terminal_.output.rfind('\r'));
  EXPECT_TRUE(std::regex_match(shown, std::regex("(" + StatusLine() + ")+"))) << shown;
  EXPECT_FALSE(fs::exists(LogPath()));
}

TEST_F(EndToEnd, WindowMissingStartsTheCompanionThenShowsTheStatusLineBelowTheStartMessage) {
  PlaceCompanion();
  terminal_ = StartInTerminal(directory_, {}, {ReportSetting()});
  ASSERT_TRUE(ReadUntil(terminal_, Contains("is running.", 2))) << terminal_.output;
  companions_.push_back(StartedCompanion());
  const std::string shown = terminal_.output.substr(0, terminal_.output.rfind('\r'));
  // A companion slower than one cycle to show its window is started again, as it
  // should be; on an idle machine there is one start.
  EXPECT_TRUE(std::regex_match(
      shown, std::regex("(\r\n\r\n\a" + StartMessage() + "\r\n)+(" + StatusLine() + ")+")))
      << shown;
  EXPECT_TRUE(
      std::regex_match(ReadFileBytes(LogPath()), std::regex("(" + StartMessage() + "\r\n)+")))
      << ReadFileBytes(LogPath());
  EXPECT_TRUE(TopLevelWindowExists("BrassOwletTask"));
}

TEST_F(EndToEnd, AKilledCompanionIsStartedAgainOnTheNextCycle) {
  PlaceCompanion();
  terminal_ = StartInTerminal(directory_, {}, {ReportSetting()});
  ASSERT_TRUE(ReadUntil(terminal_, Contains("is running.")));
  const pid_t first = StartedCompanion();
  ASSERT_GT(first, 0);
  kill(first, SIGKILL);
  ASSERT_TRUE(ReadUntil(terminal_, Contains("Starting BrassOwlet...", 2), std::chrono::seconds(5)))
      << terminal_.output;
  const std::size_t restart = terminal_.output.rfind("Starting BrassOwlet...");
  ASSERT_TRUE(ReadUntil(terminal_, [restart](const std::string& output) {
    return output.find("is running.", restart) != std::string::npos;
  }));
  companions_.push_back(StartedCompanion());
  EXPECT_NE(companions_.back(), first);
  EXPECT_TRUE(ProcessExists(companions_.back()));
}

TEST_F(EndToEnd, CompanionMissingReportsError2EveryCycleOnTheConsoleAndInTheLog) {
  terminal_ = StartInTerminal(directory_);
  ASSERT_TRUE(ReadUntil(terminal_, Contains("(Error #2)\r\n\r\n", 3))) << terminal_.output;
  Stop(terminal_);
  const std::string& output = terminal_.output;
  const std::string cycles = output.substr(0, output.rfind("(Error #2)\r\n\r\n") + 14);
  const std::string failedCycle =
      "\r\n\r\n\a" + StartMessage() + "\r\n\a\r\n" + FailureMessage() + "\r\n\r\n";
  EXPECT_TRUE(std::regex_match(cycles, std::regex("(" + failedCycle + "){3,}"))) << cycles;

  // Stopped at any point, the log holds whole records: a start and a failure per cycle,
  // and at most a last start whose launch had not yet been tried.
  const std::string log = ReadFileBytes(LogPath());
  const std::string pair = StartMessage() + "\r\n" + FailureMessage() + "\r\n";
  EXPECT_TRUE(std::regex_match(log, std::regex("(" + pair + "){3,}(" + StartMessage() + "\r\n)?")))
      << log;
}

TEST_F(EndToEnd, NoReachableDisplayAtStartIsOneLineOnStandardErrorAndStatus1) {
  const std::string command = "cd '" + directory_.string() +
                              "' && DISPLAY=:31999 '" MONITOR_PATH "' 2>stderr.txt >stdout.txt";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(ReadFileBytes(directory_ / "stdout.txt"), "");
  const std::string error = ReadFileBytes(directory_ / "stderr.txt");
  EXPECT_EQ(Count(error, "\n"), 1u) << error;
  EXPECT_NE(error.find(":31999"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(LogPath()));
}

}  // namespace
