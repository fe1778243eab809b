// A platform whose answers a test scripts, and which keeps every call made to it
// (and, in the cycle's tests, to reporting) in the order they came.
#pragma once

#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include "platform/platform.h"

struct Call {
  std::string operation;
  std::string argument;
  bool operator==(const Call& other) const {
    return operation == other.operation && argument == other.argument;
  }
};
void PrintTo(const Call& call, std::ostream* out);

struct PlatformScript {
  std::string currentDirectory = "/srv/owl";
  LocalTime time{2011, 7, 14, 9, 5, 7};
  std::deque<bool> windowPresent;  // one answer per presence test; missing once used up
  std::deque<long> launchResults;  // one result per launch; 42 once used up
  bool standardOutputIsConsole = false;
};

extern PlatformScript Script;
extern std::vector<Call> Calls;

void ResetScript();
void Record(const char* operation, std::string argument = {});
