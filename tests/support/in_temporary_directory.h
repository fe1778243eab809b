// A test that runs in a fresh directory of its own, removed with all it holds
// afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

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

  std::filesystem::path directory_;
};
