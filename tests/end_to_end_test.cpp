// The real program in a pseudo-terminal, in a fresh directory, against a private X
// server and the real companion.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/processes.h"
#include "tests/support/temporary_directory.h"
#include "tests/support/text_patterns.h"

namespace fs = std::filesystem;

namespace {

// The watchdog on a pseudo-terminal: what a person would see, byte for byte (the
// terminal turns each line feed into CR LF, and the beep arrives as BEL).
struct Terminal {
  pid_t process = -1;
  int master = -1;
  std::string output;
};

// The program under test: the one built here, or, named in BRASSOWLET_MONITOR, an
// installed one.
const char* MonitorPath() {
  const char* installed = std::getenv("BRASSOWLET_MONITOR");
  return installed != nullptr ? installed : MONITOR_PATH;
}

// inChild runs in the new process just before the program: to change who it runs
// as, say.
Terminal StartInTerminal(const fs::path& directory, const std::vector<std::string>& arguments = {},
                         const std::vector<std::string>& environment = {},
                         const std::function<void()>& inChild = {}) {
  Terminal terminal;
  terminal.process = forkpty(&terminal.master, nullptr, nullptr, nullptr);
  if (terminal.process == 0) {
    if (chdir(directory.c_str()) != 0) {
      _exit(126);
    }
    if (inChild) {
      inChild();
    }
    for (const std::string& variable : environment) {
      putenv(const_cast<char*>(variable.c_str()));
    }
    std::vector<char*> argv{const_cast<char*>(MonitorPath())};
    for (const std::string& argument : arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    execv(MonitorPath(), argv.data());
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

  // The texts as patterns, for the directory as the watchdog shows it (by default
  // the test's own).
  std::string Shown() const { return directory_.string(); }
  std::string Timestamp(const std::string& shown) const {
    return std::string(ClockPattern) + " - Monitoring \"" + Escaped(shown);
  }
  std::string Timestamp() const { return Timestamp(Shown()); }
  std::string StatusLine() const { return "\r" + Timestamp() + R"( -> BrassOwlet is running\.)"; }
  std::string StartMessage(const std::string& shown) const {
    return Timestamp(shown) + R"( -> Starting BrassOwlet\.\.\.)";
  }
  std::string StartMessage() const { return StartMessage(Shown()); }
  std::string FailureMessage(const std::string& shown, int error = 2) const {
    return "Unable to launch " + Escaped(shown + "/BrassOwlet.exe") + R"( \(Error #)" +
           std::to_string(error) + R"(\))";
  }
  std::string FailureMessage() const { return FailureMessage(Shown()); }
  // A failed cycle as the terminal shows it.
  std::string FailedCycle(const std::string& shown, int error = 2) const {
    return "\r\n\r\n\a" + StartMessage(shown) + "\r\n\a\r\n" + FailureMessage(shown, error) +
           "\r\n\r\n";
  }
  std::string LoggedPair(const std::string& shown, int error = 2) const {
    return StartMessage(shown) + "\r\n" + FailureMessage(shown, error) + "\r\n";
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
  EXPECT_TRUE(std::regex_match(cycles, std::regex("(" + FailedCycle(Shown()) + "){3,}"))) << cycles;

  // Stopped at any point, the log holds whole records: a start and a failure per cycle,
  // and at most a last start whose launch had not yet been tried.
  const std::string log = ReadFileBytes(LogPath());
  EXPECT_TRUE(std::regex_match(
      log, std::regex("(" + LoggedPair(Shown()) + "){3,}(" + StartMessage() + "\r\n)?")))
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

// Reads until `cycles` failed cycles have been shown, then ends the watchdog.
bool ShowsFailedCycles(Terminal& terminal, int cycles) {
  const bool shown = ReadUntil(terminal, [cycles](const std::string& output) {
    return Count(output, ")\r\n\r\n") >= static_cast<std::size_t>(cycles);
  });
  Stop(terminal);
  return shown;
}

TEST_F(EndToEnd, UnusableProgramFilesAreReportedWithTheirErrorNumberEveryCycle) {
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> make;  // makes BrassOwlet.exe
    int error;
  };
  auto file = [](const std::string& bytes, fs::perms permissions) {
    return [bytes, permissions](const fs::path& at) {
      WriteFileBytes(at, bytes);
      fs::permissions(at, permissions);
    };
  };
  const Case cases[] = {
      {"not executable", file("#!/bin/sh\n", fs::perms::owner_read), 5},
      {"a directory", [](const fs::path& at) { fs::create_directory(at); }, 5},
      {"not a program",
       file("\x7f"
            "ELF and no more",
            fs::perms::owner_all),
       11},
      {"a script whose interpreter is missing",
       file("#!/missing/interpreter\n", fs::perms::owner_all), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.make(directory_ / "BrassOwlet.exe");
    terminal_ = StartInTerminal(directory_);
    ASSERT_TRUE(ShowsFailedCycles(terminal_, 2)) << terminal_.output;
    EXPECT_TRUE(std::regex_search(terminal_.output,
                                  std::regex("^(" + FailedCycle(Shown(), c.error) + "){2}")))
        << terminal_.output;
    EXPECT_TRUE(std::regex_match(
        ReadFileBytes(LogPath()),
        std::regex("(" + LoggedPair(Shown(), c.error) + ")+(" + StartMessage() + "\r\n)?")))
        << ReadFileBytes(LogPath());
    fs::remove_all(directory_);
    fs::create_directories(directory_);
  }
}

// Every text shows the starting directory whole, whatever its bytes; a directory
// too long to capture (255 characters or more) shows as nothing at all.
TEST_F(EndToEnd, StartingDirectoriesAreShownWholeOrPastTheLimitNotAtAll) {
  struct Case {
    const char* what;
    std::string name;    // of a directory under the test's own, or empty
    std::size_t length;  // of the whole path, when no name is given
  };
  const Case cases[] = {
      {"percent signs", "100% %s %n %d", 0},
      {"double quotes", "say \"hello\"", 0},
      {"backslashes", "back\\slash\\", 0},
      {"spaces", " spaced  out ", 0},
      {"bytes beyond ASCII", "caf\xc3\xa9 \xff\xfe", 0},
      {"198 characters", "", 198},
      {"212 characters", "", 212},
      {"224 characters", "", 224},
      {"254 characters, the longest held", "", 254},
      {"255 characters", "", 255},
      {"4000 characters", "", 4000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path start =
        c.name.empty() ? DirectoryOfLength(directory_, c.length) : directory_ / c.name;
    fs::create_directories(start);
    const std::string shown = start.string().size() <= 254 ? start.string() : "";
    terminal_ = StartInTerminal(start);
    ASSERT_TRUE(ShowsFailedCycles(terminal_, 1)) << terminal_.output;
    EXPECT_TRUE(std::regex_search(terminal_.output, std::regex("^" + FailedCycle(shown))))
        << terminal_.output;
    // With nothing captured, the log stays in the current directory: the same one.
    EXPECT_TRUE(std::regex_search(ReadFileBytes(start / "BrassOwletMonitor Log.txt"),
                                  std::regex("^" + LoggedPair(shown))));
    fs::remove_all(directory_);
    fs::create_directories(directory_);
  }
}

// Whatever happens to the log, the console goes on unchanged, and every record
// that can be written is written whole.
TEST_F(EndToEnd, LogFaultsCostRecordsAndNothingElse) {
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> before;              // done to the log before the start
    std::function<void(const fs::path&)> during;              // done after the first record
    std::function<std::string(const std::string&)> expected;  // the log, from the record pattern
  };
  const Case cases[] = {
      {"missing: created", [](const fs::path&) {}, [](const fs::path&) {},
       [](const std::string& pair) { return "(" + pair + ")+"; }},
      {"foreign bytes with no final line end",
       [](const fs::path& log) { WriteFileBytes(log, std::string("foreign\0\xff bytes", 15)); },
       [](const fs::path&) {},
       [](const std::string& pair) {
         return std::string("foreign\\x00\\xff bytes") + "(" + pair + ")+";
       }},
      {"a directory of that name", [](const fs::path& log) { fs::create_directory(log); },
       [](const fs::path&) {}, [](const std::string&) { return std::string(); }},
      {"deleted between records", [](const fs::path&) {},
       [](const fs::path& log) { fs::remove(log); },
       [](const std::string& pair) { return "(" + pair + ")+"; }},
      {"replaced between records", [](const fs::path&) {},
       [](const fs::path& log) { WriteFileBytes(log, "new\r\n"); },
       [](const std::string& pair) { return "new\r\n(" + pair + ")+"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.before(LogPath());
    terminal_ = StartInTerminal(directory_);
    ASSERT_TRUE(ReadUntil(terminal_, Contains(")\r\n\r\n", 1))) << terminal_.output;
    c.during(LogPath());
    const std::size_t seen = Count(terminal_.output, ")\r\n\r\n");
    ASSERT_TRUE(ShowsFailedCycles(terminal_, static_cast<int>(seen) + 2)) << terminal_.output;
    EXPECT_TRUE(
        std::regex_search(terminal_.output, std::regex("^(" + FailedCycle(Shown()) + "){3}")))
        << terminal_.output;
    // The last start may have been logged before its failure was.
    const std::string log = fs::is_directory(LogPath()) ? "" : ReadFileBytes(LogPath());
    const std::string expected = c.expected(LoggedPair(Shown()));
    EXPECT_TRUE(std::regex_match(
        log, std::regex(expected.empty() ? "" : expected + "(" + StartMessage() + "\r\n)?")))
        << log;
    fs::remove_all(directory_);
    fs::create_directories(directory_);
  }
}

// As nobody, since root writes read-only files all the same.
TEST_F(EndToEnd, AReadOnlyLogStaysAsItWasWhileTheConsoleGoesOn) {
  WriteFileBytes(LogPath(), "kept\r\n");
  fs::permissions(LogPath(),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(directory_, fs::perms::all);
  terminal_ = StartInTerminal(directory_, {}, {}, [] {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
      _exit(125);
    }
  });
  ASSERT_TRUE(ShowsFailedCycles(terminal_, 2)) << terminal_.output;
  EXPECT_TRUE(std::regex_search(terminal_.output, std::regex("^(" + FailedCycle(Shown()) + "){2}")))
      << terminal_.output;
  EXPECT_EQ(ReadFileBytes(LogPath()), "kept\r\n");
}

// A small file system of the test's own, filled up; only root may mount one.
TEST_F(EndToEnd, AFullDiskCostsRecordsWhileTheCycleGoesOn) {
  const fs::path disk = directory_ / "disk";
  fs::create_directory(disk);
  if (geteuid() != 0 ||
      std::system(
          ("mount -t tmpfs -o size=64k tmpfs '" + disk.string() + "' 2>/dev/null").c_str()) != 0) {
    GTEST_SKIP() << "mounting a small file system needs root";
  }
  // Full to the last block: dd stops when no room is left.
  EXPECT_NE(
      std::system(
          ("dd if=/dev/zero of='" + (disk / "filler").string() + "' bs=1k 2>/dev/null").c_str()),
      0);
  terminal_ = StartInTerminal(disk);
  ASSERT_TRUE(ReadUntil(terminal_, Contains(")\r\n\r\n", 2))) << terminal_.output;
  const std::string whileFull = ReadFileBytes(disk / "BrassOwletMonitor Log.txt");
  fs::remove(disk / "filler");
  const std::size_t seen = Count(terminal_.output, ")\r\n\r\n");
  const bool shown = ShowsFailedCycles(terminal_, static_cast<int>(seen) + 2);
  const std::string log = ReadFileBytes(disk / "BrassOwletMonitor Log.txt");
  EXPECT_EQ(std::system(("umount '" + disk.string() + "'").c_str()), 0);
  ASSERT_TRUE(shown) << terminal_.output;
  EXPECT_EQ(whileFull, "");
  EXPECT_TRUE(
      std::regex_search(terminal_.output, std::regex("^(" + FailedCycle(disk.string()) + ")+")));
  // Once there is room, whole records again.
  EXPECT_TRUE(std::regex_match(log, std::regex("(" + LoggedPair(disk.string()) + ")+(" +
                                               StartMessage(disk.string()) + "\r\n)?")))
      << log;
}

TEST_F(EndToEnd, EndingSignalsEndTheWatchdogAndLeaveTheCompanionRunning) {
  PlaceCompanion();
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    terminal_ = StartInTerminal(directory_, {}, {ReportSetting()});
    ASSERT_TRUE(ReadUntil(terminal_, Contains("is running."))) << terminal_.output;
    companions_.push_back(StartedCompanion());
    kill(terminal_.process, signal);
    int status = 0;
    ASSERT_EQ(waitpid(terminal_.process, &status, 0), terminal_.process);
    terminal_.process = -1;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_TRUE(ProcessExists(companions_.back()));
    EXPECT_TRUE(TopLevelWindowExists("BrassOwletTask"));
    Stop(terminal_);
  }
}

// Signals that do not end the watchdog neither shorten a cycle nor change what it
// shows: no more status lines than seconds passed.
TEST_F(EndToEnd, HarmlessSignalsNeitherShortenACycleNorChangeTheOutput) {
  companions_.push_back(StartProcess(COMPANION_PATH, {}));
  ASSERT_TRUE(WaitUntil([] { return TopLevelWindowExists("BrassOwletTask"); }));
  terminal_ = StartInTerminal(directory_);
  ASSERT_TRUE(ReadUntil(terminal_, Contains("is running.")));
  const std::size_t before = terminal_.output.size();
  ReadUntil(terminal_, [&](const std::string& output) {
    for (const int signal : {SIGCHLD, SIGWINCH, SIGCONT}) {
      kill(terminal_.process, signal);
    }
    return Count(output.substr(before), "is running.") >= 4;
  });
  const std::string during = terminal_.output.substr(before);
  ASSERT_TRUE(
      std::regex_match(during.substr(0, during.rfind('\r')), std::regex("(" + StatusLine() + ")+")))
      << during;
  // Each status line is a second later than the one before.
  std::vector<std::string> times;
  const std::regex clock(ClockPattern);
  for (auto at = std::sregex_iterator(during.begin(), during.end(), clock);
       at != std::sregex_iterator(); ++at) {
    times.push_back(at->str());
  }
  for (std::size_t i = 1; i < times.size(); ++i) {
    EXPECT_LT(times[i - 1], times[i]) << "two cycles within one second";
  }
  EXPECT_TRUE(ProcessExists(terminal_.process));
}

TEST_F(EndToEnd, UnwritableOrAbsentOutputsDoNotStopTheWatchdog) {
  struct Case {
    const char* what;
    std::function<void()> inChild;  // arranges standard output and the terminal
  };
  const Case cases[] = {
      {"standard output a pipe whose reader is gone",
       [] {
         int ends[2];
         if (pipe(ends) != 0) {
           _exit(124);
         }
         close(ends[0]);
         dup2(ends[1], 1);
         close(ends[1]);
       }},
      {"standard output /dev/null",
       [] {
         const int null = open("/dev/null", O_WRONLY);
         dup2(null, 1);
         close(null);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    terminal_ = StartInTerminal(directory_, {}, {}, c.inChild);
    // The log is where the watchdog's progress shows when its output goes nowhere.
    EXPECT_TRUE(WaitUntil([&] { return Count(ReadFileBytes(LogPath()), "(Error #2)") >= 3; },
                          std::chrono::seconds(20)));
    EXPECT_TRUE(ProcessExists(terminal_.process));
    EXPECT_TRUE(std::regex_match(
        ReadFileBytes(LogPath()),
        std::regex("(" + LoggedPair(Shown()) + ")+(" + StartMessage() + "\r\n)?")));
    Stop(terminal_);
    fs::remove(LogPath());
  }
}

// The terminal stays standard output, but is no longer the controlling one: there
// is no beep, and nothing else changes.
TEST_F(EndToEnd, WithoutAControllingTerminalOnlyTheBeepIsGone) {
  terminal_ = StartInTerminal(directory_, {}, {}, [] {
    // Giving it up hangs up the session's foreground, which is this process.
    signal(SIGHUP, SIG_IGN);
    ioctl(0, TIOCNOTTY);
    signal(SIGHUP, SIG_DFL);
  });
  ASSERT_TRUE(ShowsFailedCycles(terminal_, 2)) << terminal_.output;
  const std::string quiet =
      "\r\n\r\n" + StartMessage() + "\r\n\r\n" + FailureMessage() + "\r\n\r\n";
  EXPECT_TRUE(std::regex_search(terminal_.output, std::regex("^(" + quiet + "){2}")))
      << terminal_.output;
  EXPECT_EQ(terminal_.output.find('\a'), std::string::npos);
}

// BrassOwlet.exe as a script that starts the companion with options.
void PlaceCompanionWith(const fs::path& directory, const std::string& options) {
  WriteFileBytes(directory / "BrassOwlet.exe",
                 "#!/bin/sh\nexec '" COMPANION_PATH "' " + options + "\n");
  fs::permissions(directory / "BrassOwlet.exe", fs::perms::owner_all);
}

TEST_F(EndToEnd, ACompanionThatEndsByItselfIsStartedAgain) {
  PlaceCompanionWith(directory_, "--exit-after-ms 1500");
  terminal_ = StartInTerminal(directory_);
  ASSERT_TRUE(ReadUntil(terminal_, [](const std::string& output) {
    const std::size_t again = output.find("Starting BrassOwlet...", output.find("is running."));
    return again != std::string::npos && output.find("is running.", again) != std::string::npos;
  })) << terminal_.output;
  EXPECT_TRUE(std::regex_search(
      terminal_.output,
      std::regex("^(\r\n\r\n\a" + StartMessage() + "\r\n)+(" + StatusLine() + ")+\r?\n\r\n\a" +
                 StartMessage() + "\r\n(" + StatusLine() + ")")))
      << terminal_.output;
}

// Started again on every cycle until a window shows, and none of the programs
// started on the way is left a zombie.
TEST_F(EndToEnd, ACompanionSlowToShowItsWindowIsStartedEachCycleUntilItDoes) {
  PlaceCompanionWith(directory_, "--delay-ms 2000 --exit-after-ms 1500");
  terminal_ = StartInTerminal(directory_);
  ASSERT_TRUE(ReadUntil(terminal_, Contains("is running."))) << terminal_.output;
  EXPECT_TRUE(std::regex_search(terminal_.output, std::regex("^(\r\n\r\n\a" + StartMessage() +
                                                             "\r\n){2,}(" + StatusLine() + ")")))
      << terminal_.output;
  // The companions end by themselves; by then none may be waiting to be collected.
  EXPECT_TRUE(WaitUntil([] { return !TopLevelWindowExists("BrassOwletTask"); }));
  EXPECT_TRUE(WaitUntil([&] { return ZombieChildren(terminal_.process) == 0; }));
}

// The X server goes away while the watchdog runs and comes back on the same
// display: the watchdog keeps starting BrassOwlet while none answers, and finds its
// window again once one does.
TEST_F(EndToEnd, AnXServerKilledMidRunIsFoundAgainWhenItIsBack) {
  XServer own = StartXServer();
  PlaceCompanion();
  terminal_ = StartInTerminal(directory_, {}, {"DISPLAY=" + own.display});
  ASSERT_TRUE(ReadUntil(terminal_, Contains("is running."))) << terminal_.output;
  StopProcess(own.process);
  const std::size_t gone = terminal_.output.size();
  ASSERT_TRUE(ReadUntil(terminal_, [gone](const std::string& output) {
    return Count(output.substr(gone), "Starting BrassOwlet...") >= 2;
  })) << terminal_.output;
  own = StartXServer(own.display);
  const std::size_t back = terminal_.output.size();
  EXPECT_TRUE(ReadUntil(terminal_, [back](const std::string& output) {
    return output.find("is running.", back) != std::string::npos;
  })) << terminal_.output.substr(back);
  EXPECT_TRUE(ProcessExists(terminal_.process));
  Stop(terminal_);
  StopProcess(own.process);
}

// Started in the root directory, whose own separator and the one before the file
// make two. The log then lands in the root: the test runs where it may write
// there, and takes it away.
TEST_F(EndToEnd, TheRootDirectoryShowsTwoSeparatorsBeforeTheFile) {
  const fs::path log = "/BrassOwletMonitor Log.txt";
  if (access("/", W_OK) != 0 || fs::exists(log) || fs::exists("/BrassOwlet.exe")) {
    GTEST_SKIP() << "the root directory is not ours to write in";
  }
  terminal_ = StartInTerminal("/");
  const bool shown = ShowsFailedCycles(terminal_, 1);
  const std::string logged = ReadFileBytes(log);
  fs::remove(log);
  ASSERT_TRUE(shown) << terminal_.output;
  const std::string failure = R"(Unable to launch //BrassOwlet\.exe \(Error #2\))";
  EXPECT_TRUE(std::regex_search(terminal_.output, std::regex("^\r\n\r\n\a" + StartMessage("/") +
                                                             "\r\n\a\r\n" + failure + "\r\n\r\n")))
      << terminal_.output;
  EXPECT_TRUE(std::regex_search(logged, std::regex("^" + StartMessage("/") + "\r\n" + failure)))
      << logged;
}

}  // namespace
