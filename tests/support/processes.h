// Processes for the POSIX tests: a private X server, helper programs, and waiting
// on conditions with a deadline.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/wait.h"

// Starts program with arguments, its output on /dev/null or in the file
// standardOutput, in directory when one is given, with extraEnvironment
// ("NAME=value") added to ours.
pid_t StartProcess(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& directory = {},
                   const std::vector<std::string>& extraEnvironment = {},
                   const std::string& standardOutput = {});

// Ends a process started by the test and collects it.
void StopProcess(pid_t process);

bool ProcessExists(pid_t process);

// Children of process that have ended and not been collected.
std::size_t ZombieChildren(pid_t process);

// A headless X server on a display that no one else uses.
struct XServer {
  pid_t process = -1;
  std::string display;  // ":N"
};

// On display (":N") when one is given, else on the first free one.
XServer StartXServer(const std::string& display = {});

// A suite with an X server of its own, named in DISPLAY for the tests and for all
// they start.
class WithXServer : public testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

  static XServer server_;
};
