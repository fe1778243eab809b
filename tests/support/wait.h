// Waiting on a condition with a deadline, never for a fixed time.
#pragma once

#include <chrono>
#include <functional>

// Polls condition until it holds or the deadline passes; true when it held.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds deadline = std::chrono::seconds(10));
