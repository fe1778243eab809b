// The POSIX platform for real: directories, the clock, starting programs, the pause,
// and the presence test against a private X server.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "platform/platform.h"
#include "tests/support/in_temporary_directory.h"
#include "tests/support/processes.h"
#include "tests/support/temporary_directory.h"
#include "tests/support/x11_round_trips.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

class PosixPlatform : public InTemporaryDirectory {};

TEST_F(PosixPlatform, CaptureTakesADirectoryThatFitsAndLeavesALongerOneEmpty) {
  ExpectCaptureTakesOnlyWhatFits({0, 254, 255, 256, 4000});
}

TEST_F(PosixPlatform, EnterDirectoryMovesThereAndLeavesTheCurrentOneOnFailure) {
  const fs::path inner = directory_ / "inner";
  fs::create_directory(inner);
  EnterDirectory(inner.c_str());
  EXPECT_EQ(fs::current_path(), inner);
  EnterDirectory("");
  EnterDirectory((directory_ / "missing").c_str());
  EXPECT_EQ(fs::current_path(), inner);
}

TEST_F(PosixPlatform, LocalTimeHoldsTheCalendarFieldsOfTheLocalZone) {
  const char* savedZone = std::getenv("TZ");
  const std::string saved = savedZone != nullptr ? savedZone : "";
  // Fourteen hours ahead of UTC moves the date as well as the hour.
  setenv("TZ", "<+14>-14", 1);
  tzset();
  std::time_t before = std::time(nullptr);
  LocalTime local{};
  std::time_t after = 0;
  do {  // read within one second, so the comparison is exact
    before = std::time(nullptr);
    local = ReadLocalTime();
    after = std::time(nullptr);
  } while (before != after);
  const std::time_t shifted = before + 14 * 3600;
  std::tm expected{};
  gmtime_r(&shifted, &expected);
  EXPECT_EQ(local.year, expected.tm_year + 1900);
  EXPECT_EQ(local.month, expected.tm_mon + 1);
  EXPECT_EQ(local.day, expected.tm_mday);
  EXPECT_EQ(local.hour, expected.tm_hour);
  EXPECT_EQ(local.minute, expected.tm_min);
  EXPECT_EQ(local.second, expected.tm_sec);
  if (savedZone != nullptr) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

TEST_F(PosixPlatform, FailedStartsReturnTheShellsErrorNumbers) {
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> make;  // makes BrassOwlet.exe in the directory
    const char* programFile;
    long expected;
  };
  auto file = [](const std::string& bytes, fs::perms permissions) {
    return [bytes, permissions](const fs::path& at) {
      WriteFileBytes(at / "BrassOwlet.exe", bytes);
      fs::permissions(at / "BrassOwlet.exe", permissions);
    };
  };
  const fs::perms executable =
      fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read;
  const fs::perms readable = fs::perms::owner_read | fs::perms::owner_write;
  const Case cases[] = {
      {"missing", [](const fs::path&) {}, "BrassOwlet.exe", 2},
      {"not executable", file("#!/bin/sh\n", readable), "BrassOwlet.exe", 5},
      {"a directory", [](const fs::path& at) { fs::create_directory(at / "BrassOwlet.exe"); },
       "BrassOwlet.exe", 5},
      {"not a program",
       file(std::string("\x7f"
                        "ELF garbage",
                        12),
            executable),
       "BrassOwlet.exe", 11},
      {"interpreter missing", file("#!/nonexistent/interpreter\n", executable), "BrassOwlet.exe",
       2},
      {"path through a file", file("", readable), "BrassOwlet.exe/BrassOwlet.exe", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path at = MakeTemporaryDirectory("launch");
    c.make(at);
    fs::current_path(at);
    EXPECT_EQ(LaunchProgram(c.programFile), c.expected);
    fs::current_path(directory_);
    fs::remove_all(at);
  }
}

TEST_F(PosixPlatform, LaunchNeverSearchesThePath) {
  const fs::path elsewhere = MakeTemporaryDirectory("path");
  WriteFileBytes(elsewhere / "BrassOwlet.exe", "#!/bin/sh\nexit 0\n");
  fs::permissions(elsewhere / "BrassOwlet.exe", fs::perms::owner_all);
  const std::string savedPath = std::getenv("PATH");
  setenv("PATH", elsewhere.c_str(), 1);
  EXPECT_EQ(LaunchProgram("BrassOwlet.exe"), 2);
  setenv("PATH", savedPath.c_str(), 1);
  fs::remove_all(elsewhere);
}

extern "C" void CountSignal(int) {}

// Signals arrive every 20 ms without SA_RESTART, as a child's end or a resized
// terminal would; the pause still lasts its whole length.
TEST_F(PosixPlatform, ThePauseIsNotShortenedBySignals) {
  struct sigaction action {};
  action.sa_handler = CountSignal;
  struct sigaction saved {};
  sigaction(SIGALRM, &action, &saved);
  const itimerval every20ms{{0, 20000}, {0, 20000}};
  setitimer(ITIMER_REAL, &every20ms, nullptr);
  const auto start = std::chrono::steady_clock::now();
  PauseMilliseconds(300);
  const auto paused = std::chrono::steady_clock::now() - start;
  const itimerval stop{};
  setitimer(ITIMER_REAL, &stop, nullptr);
  sigaction(SIGALRM, &saved, nullptr);
  EXPECT_GE(paused, std::chrono::milliseconds(300));
}

std::map<std::string, std::string> ReadReport(const fs::path& path) {
  std::map<std::string, std::string> report;
  std::ifstream file(path);
  std::string key, value;
  while (file >> key && std::getline(file >> std::ws, value)) {
    report[key] += report.count(key) != 0 ? "," + value : value;
  }
  return report;
}

class PosixPresence : public WithXServer {
 protected:
  static void SetUpTestSuite() {
    WithXServer::SetUpTestSuite();
    PreparePlatform();
  }
  void TearDown() override {
    for (const pid_t process : started_) {
      StopProcess(process);
    }
    ASSERT_TRUE(WaitUntil([] { return !TopLevelWindowExists("BrassOwletTask"); }));
  }
  void StartCompanion(const std::vector<std::string>& options) {
    started_.push_back(StartProcess(COMPANION_PATH, options));
  }
  void StopLastCompanion() {
    StopProcess(started_.back());
    started_.pop_back();
  }

  std::vector<pid_t> started_;
};

TEST_F(PosixPresence, AStartedProgramIsDetachedWithNothingOfOurs) {
  const fs::path directory = MakeTemporaryDirectory("detached");
  fs::copy_file(COMPANION_PATH, directory / "BrassOwlet.exe");
  const fs::path reportPath = directory / "report.txt";
  setenv("BRASSOWLET_COMPANION_REPORT", reportPath.c_str(), 1);
  // What a watchdog may carry: an inherited descriptor, blocked and ignored signals.
  const int inherited = dup(0);
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  sigprocmask(SIG_BLOCK, &blocked, nullptr);
  signal(SIGHUP, SIG_IGN);

  fs::current_path(directory);
  const long result = LaunchProgram("BrassOwlet.exe");

  sigprocmask(SIG_UNBLOCK, &blocked, nullptr);
  signal(SIGHUP, SIG_DFL);
  close(inherited);
  unsetenv("BRASSOWLET_COMPANION_REPORT");
  EXPECT_GT(result, 32);
  ASSERT_TRUE(WaitUntil([&] { return TopLevelWindowExists("BrassOwletTask"); }));
  const auto report = ReadReport(reportPath);
  const pid_t companion = std::atoi(report.at("pid").c_str());
  started_.push_back(companion);
  EXPECT_EQ(report.at("sid"), report.at("pid"));
  EXPECT_EQ(report.at("fd"), "0 /dev/null,1 /dev/null,2 /dev/null");
  EXPECT_EQ(report.at("SigBlk:"), "0000000000000000");
  EXPECT_EQ(report.at("SigIgn:"), "0000000000000000");
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(directory);
}

TEST_F(PosixPresence, AStartedProgramThatEndsIsNeverLeftAZombie) {
  const fs::path directory = MakeTemporaryDirectory("zombie");
  WriteFileBytes(directory / "BrassOwlet.exe", "#!/bin/sh\necho $$ > pid.txt\n");
  fs::permissions(directory / "BrassOwlet.exe", fs::perms::owner_all);
  fs::current_path(directory);
  EXPECT_GT(LaunchProgram("BrassOwlet.exe"), 32);
  ASSERT_TRUE(WaitUntil(
      [&] { return ReadFileBytes(directory / "pid.txt").find('\n') != std::string::npos; }));
  const pid_t program = std::atoi(ReadFileBytes(directory / "pid.txt").c_str());
  EXPECT_TRUE(WaitUntil([&] { return !fs::exists("/proc/" + std::to_string(program)); }))
      << "process " << program << " is still there";
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(directory);
}

TEST_F(PosixPresence, ATopLevelWindowOfTheClassCountsWhetherShownOrNot) {
  EXPECT_FALSE(TopLevelWindowExists("BrassOwletTask"));
  // Whatever its title, too.
  for (const auto& options : {std::vector<std::string>{}, std::vector<std::string>{"--unmapped"},
                              std::vector<std::string>{"--title", ""},
                              std::vector<std::string>{"--title", "Another program"}}) {
    SCOPED_TRACE(testing::PrintToString(options));
    StartCompanion(options);
    EXPECT_TRUE(WaitUntil([] { return TopLevelWindowExists("BrassOwletTask"); }));
    // The class is compared without regard to case; another class is not ours.
    EXPECT_TRUE(TopLevelWindowExists("brassowlettask"));
    EXPECT_FALSE(TopLevelWindowExists("BrassOwletTas"));
    EXPECT_FALSE(TopLevelWindowExists("brassowlet"));
    StopLastCompanion();
    EXPECT_TRUE(WaitUntil([] { return !TopLevelWindowExists("BrassOwletTask"); }));
  }
}

// The parent of the first window found whose WM_CLASS names windowClass, walking
// the whole tree; none when there is no such window.
xcb_window_t ParentOfWindowWithClass(const std::string& windowClass) {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  std::vector<xcb_window_t> pending{xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root};
  xcb_window_t parent = XCB_WINDOW_NONE;
  while (!pending.empty() && parent == XCB_WINDOW_NONE) {
    const xcb_window_t window = pending.back();
    pending.pop_back();
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
    if (tree == nullptr) {
      continue;
    }
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
      xcb_get_property_reply_t* property = xcb_get_property_reply(
          connection,
          xcb_get_property(connection, 0, children[i], XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64),
          nullptr);
      if (property != nullptr) {
        const std::string value(static_cast<const char*>(xcb_get_property_value(property)),
                                static_cast<std::size_t>(xcb_get_property_value_length(property)));
        if (value.find('\0' + windowClass + '\0') != std::string::npos) {
          parent = window;
        }
        std::free(property);
      }
      pending.push_back(children[i]);
    }
    std::free(tree);
  }
  xcb_disconnect(connection);
  return parent;
}

xcb_window_t RootWindow() {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  xcb_disconnect(connection);
  return root;
}

// A manager that lists its clients (openbox) and one that does not (twm): either
// way the companion's window sits inside a frame, and still counts.
TEST_F(PosixPresence, UnderReparentingWindowManagersOnlyTheClientWindowCounts) {
  const fs::path directory = MakeTemporaryDirectory("manager");
  // Placed without asking, and without grabbing the server meanwhile.
  WriteFileBytes(directory / "twmrc", "RandomPlacement\nNoGrabServer\n");
  const std::vector<std::vector<std::string>> managers = {
      {"twm", "-f", (directory / "twmrc").string()},
      {"openbox", "--sm-disable"},
  };
  const xcb_window_t root = RootWindow();
  auto framed = [root](const char* windowClass) {
    const xcb_window_t parent = ParentOfWindowWithClass(windowClass);
    return parent != XCB_WINDOW_NONE && parent != root;
  };
  for (const auto& manager : managers) {
    SCOPED_TRACE(manager.front());
    const pid_t managerProcess =
        StartProcess(manager.front(), {manager.begin() + 1, manager.end()}, directory.string());
    StartCompanion({});
    ASSERT_TRUE(WaitUntil([&] { return framed("BrassOwletTask"); }));
    // A manager lists its client a moment after it has framed it.
    EXPECT_TRUE(WaitUntil([] { return TopLevelWindowExists("BrassOwletTask"); }));
    StopLastCompanion();
    ASSERT_TRUE(WaitUntil([] { return !TopLevelWindowExists("BrassOwletTask"); }));

    StartCompanion({"--as-child"});
    ASSERT_TRUE(WaitUntil([&] { return framed("BrassOwletHost"); }));
    ASSERT_TRUE(WaitUntil([] { return TopLevelWindowExists("BrassOwletHost"); }));
    EXPECT_FALSE(TopLevelWindowExists("BrassOwletTask"));
    StopLastCompanion();
    StopProcess(managerProcess);
  }
  fs::remove_all(directory);
}

// While no server answers the window counts as missing; once one is back on the
// display, the next test connects again and finds the window.
TEST_F(PosixPresence, AnXServerThatGoesAwayIsConnectedAgainWhenItIsBack) {
  ASSERT_FALSE(TopLevelWindowExists("BrassOwletTask"));  // connected to the first server
  StopProcess(server_.process);
  EXPECT_FALSE(TopLevelWindowExists("BrassOwletTask"));
  EXPECT_FALSE(TopLevelWindowExists("BrassOwletTask"));

  server_ = StartXServer(server_.display);
  ASSERT_FALSE(server_.display.empty()) << "Xvfb did not start again";
  StartCompanion({});
  EXPECT_TRUE(WaitUntil([] { return TopLevelWindowExists("BrassOwletTask"); }));
}

TEST_F(PosixPresence, TheCompanionCanShowItsWindowLateAndEndByItself) {
  StartCompanion({"--delay-ms", "1000", "--exit-after-ms", "300"});
  const pid_t companion = started_.back();
  EXPECT_FALSE(TopLevelWindowExists("BrassOwletTask"));
  EXPECT_TRUE(WaitUntil([] { return TopLevelWindowExists("BrassOwletTask"); }));
  EXPECT_TRUE(WaitUntil(
      [&] { return !TopLevelWindowExists("BrassOwletTask") && !ProcessExists(companion); }));
}

TEST_F(PosixPresence, AChildWindowOfTheClassDoesNotCount) {
  StartCompanion({"--as-child"});
  // Its host window is top-level, so once that is seen the child exists too.
  ASSERT_TRUE(WaitUntil([] { return TopLevelWindowExists("BrassOwletHost"); }));
  EXPECT_FALSE(TopLevelWindowExists("BrassOwletTask"));
}

// However many windows the server holds, a scan waits on it at most twice: once for
// the root's children, once for all of their classes. Once the window has been
// found, the next scan finds it again with one wait.
TEST_F(PosixPresence, ThePresenceTestWaitsOnTheServerTwiceWhateverTheNumberOfWindows) {
  const fs::path directory = MakeTemporaryDirectory("crowd");
  struct Crowd {
    int windows;
    bool withWatched;
    unsigned long roundTrips;
    unsigned long roundTripsOnceFound;
  };
  // With no window at all there are no classes to ask for.
  for (const Crowd crowd : {Crowd{0, false, 1, 1}, Crowd{1, true, 2, 1}, Crowd{1000, false, 2, 2},
                            Crowd{1000, true, 2, 1}, Crowd{5000, true, 2, 1}}) {
    SCOPED_TRACE(testing::Message() << crowd.windows << " windows, watched " << crowd.withWatched);
    const fs::path ready = directory / "ready.txt";
    fs::remove(ready);
    std::vector<std::string> arguments{std::to_string(crowd.windows)};
    if (crowd.withWatched) {
      arguments.push_back("--with-watched");
    }
    started_.push_back(StartProcess(WINDOW_CROWD_PATH, arguments, {}, {}, ready.string()));
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(ready) == "ready\n"; }));

    ResetX11RoundTrips();
    EXPECT_EQ(TopLevelWindowExists("BrassOwletTask"), crowd.withWatched);
    EXPECT_EQ(X11RoundTrips(), crowd.roundTrips);
    ResetX11RoundTrips();
    EXPECT_EQ(TopLevelWindowExists("BrassOwletTask"), crowd.withWatched);
    EXPECT_EQ(X11RoundTrips(), crowd.roundTripsOnceFound);
    StopLastCompanion();
  }
  fs::remove_all(directory);
}

// A window of our own making, changed between scans; each change is carried out by
// the server before the next scan asks.
class ChangingWindow {
 public:
  ChangingWindow() : connection_(xcb_connect(nullptr, nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    window_ = MakeWindow();
    host_ = MakeWindow();
    SetClass(window_, "brassowlet\0BrassOwletTask"s);
    SetClass(host_, "host\0Host"s);
    Sync();
  }
  ~ChangingWindow() { xcb_disconnect(connection_); }

  void SetClass(const std::string& wmClass) {
    SetClass(window_, wmClass);
    Sync();
  }
  void MoveInto(bool host) {
    xcb_reparent_window(connection_, window_, host ? host_ : root_, 0, 0);
    Sync();
  }
  void Destroy() {
    xcb_destroy_window(connection_, window_);
    Sync();
  }

 private:
  xcb_window_t MakeWindow() {
    const xcb_window_t window = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    return window;
  }
  void SetClass(xcb_window_t window, const std::string& wmClass) {
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS,
                        XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(wmClass.size() + 1),
                        wmClass.c_str());
  }
  // The reply comes once the server has carried out every request before it.
  void Sync() {
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
  }

  xcb_connection_t* connection_;
  xcb_window_t root_;
  xcb_window_t window_;
  xcb_window_t host_;
};

// The window found last is asked about first; it counts only while it is still a
// top-level window of the class, and the answer never lags a change.
TEST_F(PosixPresence, AWindowFoundBeforeCountsOnlyWhileStillTopLevelAndOfTheClass) {
  ChangingWindow window;
  EXPECT_TRUE(TopLevelWindowExists("BrassOwletTask"));
  EXPECT_TRUE(TopLevelWindowExists("BrassOwletTask"));
  window.SetClass("brassowlet\0SomethingElse"s);
  EXPECT_FALSE(TopLevelWindowExists("BrassOwletTask"));
  window.SetClass("brassowlet\0BrassOwletTask"s);
  EXPECT_TRUE(TopLevelWindowExists("BrassOwletTask"));
  window.MoveInto(true);
  EXPECT_FALSE(TopLevelWindowExists("BrassOwletTask"));
  window.MoveInto(false);
  EXPECT_TRUE(TopLevelWindowExists("BrassOwletTask"));
  window.Destroy();
  EXPECT_FALSE(TopLevelWindowExists("BrassOwletTask"));
}

}  // namespace
