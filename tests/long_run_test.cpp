// The program through hundreds of cycles (a build of it with a 20 ms pause), its
// every start of BrassOwlet ending at once: what it holds must not grow.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>

#include "tests/support/processes.h"
#include "tests/support/temporary_directory.h"
#include "tests/support/text_patterns.h"

namespace fs = std::filesystem;

namespace {

struct Footprint {
  std::size_t descriptors = 0;
  std::size_t heapBytes = 0;  // the size of the [heap] mapping
  std::size_t zombies = 0;    // children ended and not collected
};

Footprint FootprintOf(pid_t process) {
  Footprint footprint;
  const fs::path proc = "/proc/" + std::to_string(process);
  for ([[maybe_unused]] const auto& descriptor : fs::directory_iterator(proc / "fd")) {
    ++footprint.descriptors;
  }
  const std::string maps = ReadFileBytes(proc / "maps");
  std::smatch heap;
  if (std::regex_search(maps, heap, std::regex(R"(([0-9a-f]+)-([0-9a-f]+) [^\n]*\[heap\])"))) {
    footprint.heapBytes = std::stoul(heap[2], nullptr, 16) - std::stoul(heap[1], nullptr, 16);
  }
  footprint.zombies = ZombieChildren(process);
  return footprint;
}

class LongRun : public WithXServer {};

TEST_F(LongRun, ThreeHundredFailedRecoveriesLeaveDescriptorsHeapAndChildrenAsTheyWere) {
  const fs::path directory = MakeTemporaryDirectory("long-run");
  // Started every cycle, it ends at once without a window.
  WriteFileBytes(directory / "BrassOwlet.exe", "#!/bin/sh\nexit 1\n");
  fs::permissions(directory / "BrassOwlet.exe", fs::perms::owner_all);
  const fs::path log = directory / "BrassOwletMonitor Log.txt";
  const fs::path output = directory / "output.txt";
  const pid_t monitor = StartProcess(MONITOR_PATH, {}, directory.string(), {}, output.string());

  ASSERT_TRUE(
      WaitUntil([&] { return Count(ReadFileBytes(log), "\r\n") >= 50; }, std::chrono::seconds(60)));
  const Footprint early = FootprintOf(monitor);
  ASSERT_TRUE(WaitUntil([&] { return Count(ReadFileBytes(log), "\r\n") >= 350; },
                        std::chrono::seconds(120)));
  const Footprint late = FootprintOf(monitor);
  ASSERT_TRUE(ProcessExists(monitor));
  StopProcess(monitor);

  EXPECT_EQ(late.descriptors, early.descriptors);
  EXPECT_EQ(late.heapBytes, early.heapBytes);
  EXPECT_LE(late.zombies, 1u) << "a started program may be ending at that moment";
  EXPECT_LE(early.zombies, 1u);
  // Every record whole, one start per cycle, their times in order.
  const std::string text = ReadFileBytes(log);
  const std::string record = "(" + std::string(ClockPattern) + R"() - Monitoring ")" +
                             Escaped(directory.string()) + R"( -> Starting BrassOwlet\.\.\.\r\n)";
  EXPECT_TRUE(std::regex_match(text, std::regex("(" + record + ")+")));
  std::string previous;
  const std::regex recordPattern(record);
  for (auto at = std::sregex_iterator(text.begin(), text.end(), recordPattern);
       at != std::sregex_iterator(); ++at) {
    const std::string time = (*at)[1];
    EXPECT_LE(previous, time);
    previous = time;
  }

  // Standard output in a file is written a whole block at a time, and nothing in
  // the blocks written is lost or out of place.
  const std::string written = ReadFileBytes(output);
  ASSERT_GT(written.size(), 0u);
  EXPECT_EQ(written.size() % 4096, 0u) << written.size();
  const std::string lines = written.substr(0, written.rfind('\n') + 1);
  EXPECT_TRUE(std::regex_match(
      lines, std::regex("(\n\n" + record.substr(0, record.size() - 4) + "\n)+(\n)*")))
      << lines.substr(0, 300);
  fs::remove_all(directory);
}

}  // namespace
