// Looking for the watchdog's texts in what it wrote.
#pragma once

#include <cstddef>
#include <string>

// A time of day as the texts show it, as a pattern.
inline constexpr char ClockPattern[] = R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)";

// text as a pattern that matches it and nothing else.
std::string Escaped(const std::string& text);

// How many times part occurs in text.
std::size_t Count(const std::string& text, const std::string& part);
