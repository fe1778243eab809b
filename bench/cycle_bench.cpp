// One whole watch cycle without its pause, in each of its two branches, and the log
// append on an empty log and on a very large one.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "bench/window_crowds.h"
#include "platform/platform.h"
#include "reporting/reporting.h"
#include "watchdog/watchdog.h"

namespace fs = std::filesystem;

namespace {

fs::path benchDirectory;

fs::path StatusFile() {
  return benchDirectory / "status.txt";
}
fs::path LogFile() {
  return benchDirectory / EventLogFileName;
}

// Standard output is a file, as for a watchdog whose output is redirected; it is
// emptied before each benchmark so that it never grows large.
void EmptyStandardOutput() {
  std::fflush(stdout);
  if (std::freopen(StatusFile().c_str(), "w", stdout) == nullptr) {
    std::exit(1);
  }
}

// The present branch: the clock, the texts, the presence test and the status line.
void CycleWithTheWindowPresent(benchmark::State& state) {
  ShowWindowCrowd(1, true);
  EmptyStandardOutput();
  for (auto _ : state) {
    RunWatchCycle();
  }
}

// The recovery branch when BrassOwlet.exe is missing: the texts, the log, a launch
// that fails, and its report.
void CycleWithEveryLaunchFailing(benchmark::State& state) {
  EndWindowCrowd();
  EmptyStandardOutput();
  fs::remove(LogFile());
  for (auto _ : state) {
    RunWatchCycle();
  }
}

void LogAppend(benchmark::State& state) {
  const auto startingSize = static_cast<off_t>(state.range(0));
  fs::remove(LogFile());
  std::ofstream{LogFile()};
  // Sparse: the size without the disk space.
  if (truncate(LogFile().c_str(), startingSize) != 0) {
    state.SkipWithError("cannot size the log");
    return;
  }
  for (auto _ : state) {
    AppendLogRecord("12/11/26 06:52:38 - Monitoring \"/opt/BrassOwlet -> Starting BrassOwlet...");
  }
  state.counters["log_MiB"] = static_cast<double>(startingSize >> 20);
}

}  // namespace

BENCHMARK(CycleWithTheWindowPresent)->UseRealTime();
BENCHMARK(CycleWithEveryLaunchFailing)->UseRealTime();
BENCHMARK(LogAppend)->Arg(0)->Arg(1L << 30)->UseRealTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchDirectory = fs::temp_directory_path() / ("cycle_bench." + std::to_string(getpid()));
  fs::create_directories(benchDirectory);
  fs::current_path(benchDirectory);
  // The results go where standard output went; standard output itself becomes the
  // watchdog's file.
  // Appended to, so that a file holding what came before is not emptied.
  std::ofstream results("/dev/fd/" + std::to_string(dup(STDOUT_FILENO)), std::ios::app);
  benchmark::ConsoleReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
  reporter.SetOutputStream(&results);
  reporter.SetErrorStream(&std::cerr);
  StartWatchdog();
  benchmark::RunSpecifiedBenchmarks(&reporter);
  EndWindowCrowd();
  benchmark::Shutdown();
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(benchDirectory);
}
