// A fresh directory for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>

std::filesystem::path MakeTemporaryDirectory(const std::string& purpose);
std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// A directory under base whose absolute path is exactly length characters long.
std::filesystem::path DirectoryOfLength(const std::filesystem::path& base, std::size_t length);
