#include "tests/support/processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

extern char** environ;

namespace {

pid_t Spawn(const std::string& program, const std::vector<std::string>& arguments,
            const std::string& directory, const std::vector<std::string>& extraEnvironment,
            int keepDescriptor, const std::string& standardOutput = {}) {
  std::vector<std::string> environment(extraEnvironment);
  for (char** variable = environ; *variable != nullptr; ++variable) {
    environment.emplace_back(*variable);
  }
  std::vector<char*> environmentPointers;
  for (std::string& variable : environment) {
    environmentPointers.push_back(variable.data());
  }
  environmentPointers.push_back(nullptr);
  std::vector<std::string> argumentStrings{program};
  argumentStrings.insert(argumentStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argumentPointers;
  for (std::string& argument : argumentStrings) {
    argumentPointers.push_back(argument.data());
  }
  argumentPointers.push_back(nullptr);

  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
  if (standardOutput.empty()) {
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
  } else {
    posix_spawn_file_actions_addopen(&files, 1, standardOutput.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
  if (!directory.empty()) {
    posix_spawn_file_actions_addchdir_np(&files, directory.c_str());
  }
  if (keepDescriptor < 0) {
    posix_spawn_file_actions_addclosefrom_np(&files, 3);
  }
  // A test that prepared the platform ignores SIGCHLD, which would otherwise pass
  // on to the program (Xvfb then cannot wait for its keymap compiler).
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGCHLD);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t process = -1;
  const int error = posix_spawnp(&process, program.c_str(), &files, &attributes,
                                 argumentPointers.data(), environmentPointers.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&files);
  return error == 0 ? process : -1;
}

}  // namespace

pid_t StartProcess(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& directory, const std::vector<std::string>& extraEnvironment,
                   const std::string& standardOutput) {
  return Spawn(program, arguments, directory, extraEnvironment, -1, standardOutput);
}

void StopProcess(pid_t process) {
  if (process <= 0) {
    return;
  }
  kill(process, SIGKILL);
  // Where children are reaped by the system, waitpid returns at once: the process
  // is gone only once /proc says so.
  waitpid(process, nullptr, 0);
  WaitUntil([process] { return !ProcessExists(process); });
}

bool ProcessExists(pid_t process) {
  // A zombie still exists to kill(); its state in /proc tells it apart.
  std::ifstream status("/proc/" + std::to_string(process) + "/stat");
  std::string pid, name, state;
  if (!(status >> pid >> name >> state)) {
    return false;
  }
  return state != "Z" && state != "X";
}

XServer StartXServer(const std::string& display) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
    return {};
  }
  fcntl(pipeEnds[1], F_SETFD, 0);  // only the writing end goes to the server
  // Xvfb writes the number of its display to the descriptor once it accepts
  // clients; without one named, it picks a free one.
  std::vector<std::string> arguments{
      "-displayfd", std::to_string(pipeEnds[1]), "-nolisten", "tcp", "-screen", "0", "640x480x24"};
  if (!display.empty()) {
    arguments.insert(arguments.begin(), display);
  }
  XServer server;
  server.process = Spawn("Xvfb", arguments, {}, {}, pipeEnds[1]);
  close(pipeEnds[1]);
  std::string number;
  pollfd reader{pipeEnds[0], POLLIN, 0};
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < end) {
    if (poll(&reader, 1, 100) <= 0) {
      continue;
    }
    char buffer[16];
    const ssize_t length = read(pipeEnds[0], buffer, sizeof buffer);
    if (length <= 0) {
      break;
    }
    number.append(buffer, static_cast<std::size_t>(length));
  }
  close(pipeEnds[0]);
  if (number.find('\n') == std::string::npos) {
    StopProcess(server.process);
    return {};
  }
  server.display = ":" + number.substr(0, number.find('\n'));
  return server;
}

XServer WithXServer::server_;

void WithXServer::SetUpTestSuite() {
  server_ = StartXServer();
  ASSERT_FALSE(server_.display.empty()) << "Xvfb did not start";
  setenv("DISPLAY", server_.display.c_str(), 1);
}

void WithXServer::TearDownTestSuite() {
  StopProcess(server_.process);
}

std::size_t ZombieChildren(pid_t process) {
  std::size_t zombies = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    std::ifstream stat(entry.path() / "stat");
    const std::string line((std::istreambuf_iterator<char>(stat)),
                           std::istreambuf_iterator<char>());
    const std::size_t end = line.rfind(')');
    char state = 0;
    int parent = 0;
    if (end != std::string::npos &&
        std::sscanf(line.c_str() + end + 1, " %c %d", &state, &parent) == 2 && parent == process &&
        state == 'Z') {
      ++zombies;
    }
  }
  return zombies;
}
