// Reporting for real, on real files and a redirected standard output, with the
// platform's beep and directory changes scripted.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "reporting/reporting.h"
#include "tests/support/scripted_platform.h"
#include "tests/support/temporary_directory.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include "tests/support/windows_processes.h"
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
int dup(int descriptor) {
  return _dup(descriptor);
}
int dup2(int from, int to) {
  return _dup2(from, to);
}
int close(int descriptor) {
  return _close(descriptor);
}
int open(const char* path, int flags, int mode) {
  return _open(path, flags, mode);
}
// Standard output is in text mode there: each line feed goes out as CR LF.
const std::string LineEnd = "\r\n";
#else
const std::string LineEnd = "\n";
#endif

// Points the process's standard output at a file for as long as it lives.
class StandardOutputToFile {
 public:
  explicit StandardOutputToFile(const fs::path& file) {
    std::fflush(stdout);
    saved_ = dup(1);
    const int descriptor = open(file.string().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(descriptor, 1);
    close(descriptor);
  }
  ~StandardOutputToFile() {
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
  }

 private:
  int saved_;
};

class Reporting : public testing::Test {
 protected:
  void SetUp() override {
    ResetScript();
    directory_ = MakeTemporaryDirectory("reporting");
    const std::string text = directory_.string();
    ASSERT_LT(text.size(), TextBufferSize);
    std::memcpy(StartupDirectory, text.c_str(), text.size() + 1);
    // Elsewhere, so that a record lands in the StartupDirectory only by going there.
    fs::current_path(fs::temp_directory_path());
  }
  void TearDown() override {
    fs::current_path(fs::temp_directory_path());
    fs::permissions(directory_, fs::perms::all);
    fs::remove_all(directory_);
  }
  fs::path LogPath() const { return directory_ / "BrassOwletMonitor Log.txt"; }

  fs::path directory_;
};

TEST_F(Reporting, FirstRecordCreatesTheLogAndLaterOnesAppendWithCrLf) {
  AppendLogRecord("07/14/11 09:05:07 - Monitoring \"C:\\Tools -> Starting BrassOwlet...");
  AppendLogRecord("100% %s %n done");
  AppendLogRecord("");
  EXPECT_EQ(ReadFileBytes(LogPath()),
            "07/14/11 09:05:07 - Monitoring \"C:\\Tools -> Starting BrassOwlet...\r\n"
            "100% %s %n done\r\n"
            "\r\n");
  EXPECT_EQ(Calls, (std::vector<Call>{{"EnterDirectory", directory_.string()},
                                      {"EnterDirectory", directory_.string()},
                                      {"EnterDirectory", directory_.string()}}));
}

TEST_F(Reporting, RecordsGoAfterWhateverTheLogHoldsLeavingItUnchanged) {
  const std::string foreign("foreign\r\nbytes\0\xff with no line end", 33);
  WriteFileBytes(LogPath(), foreign);
  AppendLogRecord("record");
  EXPECT_EQ(ReadFileBytes(LogPath()), foreign + "record\r\n");
}

TEST_F(Reporting, ALogThatCannotBeOpenedCostsTheRecordAndNothingElse) {
  fs::create_directory(LogPath());
  AppendLogRecord("lost");
  EXPECT_TRUE(fs::is_directory(LogPath()));
  EXPECT_TRUE(fs::is_empty(LogPath()));
}

#ifdef _WIN32
TEST_F(Reporting, AReadOnlyLogStaysAsItWas) {
  if (ReadOnlyFilesCanBeWritten(directory_)) {
    GTEST_SKIP() << "this system lets the test write read-only files (Wine run by root)";
  }
  WriteFileBytes(LogPath(), "kept\r\n");
  fs::permissions(LogPath(), fs::perms::owner_write, fs::perm_options::remove);
  AppendLogRecord("lost");
  EXPECT_EQ(ReadFileBytes(LogPath()), "kept\r\n");
  fs::permissions(LogPath(), fs::perms::owner_write, fs::perm_options::add);
}

// Another program holds the log open and shares it only for reading.
TEST_F(Reporting, ALogLockedByAnotherProgramStaysAsItWas) {
  WriteFileBytes(LogPath(), "kept\r\n");
  const HANDLE holder = CreateFileA(LogPath().string().c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  AppendLogRecord("lost");
  CloseHandle(holder);
  EXPECT_EQ(ReadFileBytes(LogPath()), "kept\r\n");
  AppendLogRecord("next");
  EXPECT_EQ(ReadFileBytes(LogPath()), "kept\r\nnext\r\n");
}
#else
// The owner of the directory is root in CI, where permissions would not stop a
// write: the record is appended by a process that runs as nobody.
TEST_F(Reporting, AReadOnlyLogStaysAsItWas) {
  WriteFileBytes(LogPath(), "kept\r\n");
  fs::permissions(LogPath(),
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(directory_, fs::perms::all);
  const pid_t child = fork();
  if (child == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
      _exit(3);
    }
    AppendLogRecord("lost");
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFileBytes(LogPath()), "kept\r\n");
}
#endif

TEST_F(Reporting, ARemovedLogIsCreatedAgainByTheNextRecord) {
  AppendLogRecord("first");
  fs::rename(LogPath(), directory_ / "rotated.txt");
  AppendLogRecord("second");
  EXPECT_EQ(ReadFileBytes(directory_ / "rotated.txt"), "first\r\n");
  EXPECT_EQ(ReadFileBytes(LogPath()), "second\r\n");
}

TEST_F(Reporting, ConsoleTextsGoOutUnchangedWithLineFeedsAddedByConsoleLine) {
  const fs::path output = directory_ / "stdout.txt";
  {
    StandardOutputToFile redirect(output);
    ConsoleWrite("\r100% %s %d");
    ConsoleLine("");
    ConsoleLine("\n");
    ConsoleLine("line");
  }
  EXPECT_EQ(ReadFileBytes(output), "\r100% %s %d" + LineEnd + LineEnd + LineEnd + "line" + LineEnd);
}

// On a console each text shows when the call returns; a file keeps its block
// buffering until the stream is flushed.
TEST_F(Reporting, ConsoleTextShowsAtOnceOnlyOnAConsole) {
  for (const bool console : {true, false}) {
    SCOPED_TRACE(console);
    Script.standardOutputIsConsole = console;
    const fs::path output = directory_ / "stdout.txt";
    StandardOutputToFile redirect(output);
    ConsoleWrite("\rstatus without a line feed");
    EXPECT_EQ(ReadFileBytes(output), console ? "\rstatus without a line feed" : "");
    std::fflush(stdout);
    EXPECT_EQ(ReadFileBytes(output), "\rstatus without a line feed");
  }
}

}  // namespace
