// A platform test that runs in a fresh directory of its own, removed with all it
// holds afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <system_error>

#include "platform/platform.h"
#include "tests/support/temporary_directory.h"

class InTemporaryDirectory : public testing::Test {
 protected:
  void SetUp() override {
    directory_ = MakeTemporaryDirectory("platform");
    std::filesystem::current_path(directory_);
  }
  void TearDown() override {
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

  // Captures the current directory from within directories whose paths have each
  // of lengths (0: the fresh directory itself) into a buffer of 255 bytes: a path
  // that fits with its terminator is taken whole, a longer one leaves it empty.
  void ExpectCaptureTakesOnlyWhatFits(std::initializer_list<std::size_t> lengths) {
    for (const std::size_t length : lengths) {
      const std::filesystem::path directory =
          length == 0 ? directory_ : DirectoryOfLength(directory_, length);
      SCOPED_TRACE(directory.string().size());
      std::filesystem::current_path(directory);
      char buffer[256];
      std::memset(buffer, 'x', sizeof buffer);
      CaptureCurrentDirectory(buffer, 255);
      EXPECT_EQ(std::string(buffer), directory.string().size() <= 254 ? directory.string() : "");
    }
  }

  std::filesystem::path directory_;
};
