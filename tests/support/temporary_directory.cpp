#include "tests/support/temporary_directory.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>

std::filesystem::path MakeTemporaryDirectory(const std::string& purpose) {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::filesystem::path directory =
      std::filesystem::temp_directory_path() /
      ("brassowlet-" + purpose + "-" + std::to_string(stamp) + "-" + std::to_string(++counter));
  std::filesystem::create_directories(directory);
  return directory;
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << bytes;
}

std::filesystem::path DirectoryOfLength(const std::filesystem::path& base, std::size_t length) {
  std::filesystem::path path = base;
  while (path.string().size() < length) {
    // Names of 100 while more than 200 characters are missing, so that the last
    // name is never empty and none is too long.
    const std::size_t missing = length - path.string().size() - 1;
    path /= std::string(missing > 200 ? 100 : missing, 'd');
  }
  std::filesystem::create_directories(path);
  return path;
}
