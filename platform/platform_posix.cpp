// The watchdog's questions answered on POSIX; the presence test is in x11_presence.cpp.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/platform.h"
#include "platform/x11_presence.h"

extern char** environ;

namespace {

constexpr long LaunchSucceeded = 33;
// The shell's catch-all: out of memory or resources.
constexpr long ShellOutOfResources = 0;

struct ShellError {
  int posixError;
  long shellError;
};

// What a failed start reports, in the numbers the Windows shell uses for the same
// cause, so that the log reads the same on every system.
constexpr ShellError ShellErrors[] = {
    {ENOENT, 2},   // file not found, also a script whose interpreter is missing
    {ENOTDIR, 3},  // path not found
    {ELOOP, 3},    {ENAMETOOLONG, 3}, {EACCES, 5},  // access denied, also a directory of that name
    {EPERM, 5},    {EISDIR, 5},       {ETXTBSY, 5}, {ENOMEM, 8},                 // out of memory
    {E2BIG, 8},    {EAGAIN, 8},       {EMFILE, 8},  {ENFILE, 8}, {ENOEXEC, 11},  // bad format
    {ELIBBAD, 11},
};

long ShellErrorFor(int posixError) {
  for (const ShellError& error : ShellErrors) {
    if (error.posixError == posixError) {
      return error.shellError;
    }
  }
  return ShellOutOfResources;
}

const char* DisplayName() {
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && display[0] != '\0' ? display : "(DISPLAY is not set)";
}

}  // namespace

void PreparePlatform() {
  // A reader that went away must not end the watchdog: writes then fail quietly.
  signal(SIGPIPE, SIG_IGN);
  // Started programs are reaped by the system, so none is ever left a zombie.
  signal(SIGCHLD, SIG_IGN);
  if (!ConnectWindowSystem()) {
    // Without a window system every cycle would start BrassOwlet again, forever.
    std::fprintf(stderr,
                 "BrassOwletMonitor: cannot reach the X display %s, which it needs to see "
                 "BrassOwlet's window.\n",
                 DisplayName());
    std::exit(1);
  }
}

void CaptureCurrentDirectory(char* buffer, std::size_t bufferLength) {
  if (getcwd(buffer, bufferLength) == nullptr) {
    buffer[0] = '\0';
  }
}

void EnterDirectory(const char* directory) {
  if (chdir(directory) != 0) {
    return;  // the current directory stays as it was
  }
}

LocalTime ReadLocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  auto word = [](int field) { return static_cast<unsigned short>(field); };
  return {word(local.tm_year + 1900), word(local.tm_mon + 1), word(local.tm_mday),
          word(local.tm_hour),        word(local.tm_min),     word(local.tm_sec)};
}

long LaunchProgram(const char* programFile) {
  // Detached: a session of its own, no descriptor of ours, and the signal
  // dispositions and mask a freshly started program expects.
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&files, STDERR_FILENO + 1);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Every bit set: sigfillset leaves out the C library's own two signals, which the
  // library would then leave ignored in the started program.
  sigset_t allSignals;
  std::memset(&allSignals, 0xff, sizeof allSignals);
  sigset_t noSignals;
  sigemptyset(&noSignals);
  posix_spawnattr_setsigdefault(&attributes, &allSignals);
  posix_spawnattr_setsigmask(&attributes, &noSignals);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  // A name without a slash is taken relative to the current directory; posix_spawn,
  // unlike posix_spawnp, never searches PATH.
  char* const arguments[] = {const_cast<char*>(programFile), nullptr};
  pid_t child = 0;
  const int error = posix_spawn(&child, programFile, &files, &attributes, arguments, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&files);
  return error == 0 ? LaunchSucceeded : ShellErrorFor(error);
}

void PauseMilliseconds(unsigned milliseconds) {
  // An absolute deadline, so that a signal's interruption never shortens the pause.
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += milliseconds / 1000;
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

void SoundAlert() {
  // The terminal's bell, on the controlling terminal rather than into standard
  // output, which may be a file; without a terminal there is nothing to ring.
  const int terminal = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (terminal < 0) {
    return;
  }
  const ssize_t written = write(terminal, "\a", 1);
  static_cast<void>(written);
  close(terminal);
}

bool StandardOutputIsConsole() {
  // Nothing outside the watchdog can make its standard output something else, so
  // the answer is asked of the system once rather than on every write.
  static int console = -1;
  if (console == -1) {
    console = isatty(STDOUT_FILENO) == 1 ? 1 : 0;
  }
  return console == 1;
}
