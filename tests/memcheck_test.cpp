// The real program under valgrind's memcheck, through cycles with BrassOwlet's
// window present and then missing: no error, nothing lost.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "tests/support/processes.h"
#include "tests/support/temporary_directory.h"
#include "tests/support/text_patterns.h"

namespace fs = std::filesystem;

namespace {

class Memcheck : public WithXServer {};

TEST_F(Memcheck, TheProgramMakesNoMemoryErrorAndLosesNothingOverItsCycles) {
  const fs::path directory = MakeTemporaryDirectory("memcheck");
  const fs::path report = directory / "valgrind.txt";
  // Its window goes by itself after a few of the watchdog's cycles.
  const pid_t companion = StartProcess(COMPANION_PATH, {"--exit-after-ms", "4000"});
  ASSERT_TRUE(WaitUntil([] { return TopLevelWindowExists("BrassOwletTask"); }));
  // Its own log file: standard error is the program's, and the summary comes when
  // the program ends on a signal as well.
  const pid_t monitor =
      StartProcess(VALGRIND_PATH,
                   {"--leak-check=full", "--errors-for-leak-kinds=definite,indirect",
                    "--log-file=" + report.string(), MONITOR_PATH},
                   directory.string());
  // Cycles with the window, then a few without it.
  const fs::path log = directory / "BrassOwletMonitor Log.txt";
  ASSERT_TRUE(
      WaitUntil([&] { return Count(ReadFileBytes(log), "\r\n") >= 3; }, std::chrono::seconds(30)));
  kill(monitor, SIGINT);
  int status = 0;
  waitpid(monitor, &status, 0);
  StopProcess(companion);
  const std::string findings = ReadFileBytes(report);
  EXPECT_NE(findings.find("ERROR SUMMARY: 0 errors"), std::string::npos) << findings;
  EXPECT_NE(findings.find("definitely lost: 0 bytes"), std::string::npos) << findings;
  EXPECT_NE(findings.find("indirectly lost: 0 bytes"), std::string::npos) << findings;
  fs::remove_all(directory);
}

}  // namespace
