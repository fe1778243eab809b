// The companion's test options, the same on every system:
//   --delay-ms N       wait N milliseconds before the window appears
//   --exit-after-ms N  end by itself N milliseconds after the window appeared
//   --unmapped         create the window but never show it
//   --as-child         put the window of that class inside a top-level window of
//                      another class, where it must not count as top-level
//   --title T          title the window T rather than "BrassOwlet"
#pragma once

#include <cstdlib>
#include <cstring>

struct CompanionOptions {
  long delayMs = 0;
  long exitAfterMs = -1;
  bool unmapped = false;
  bool asChild = false;
  const char* title = "BrassOwlet";
};

// False when an argument is not one of the options.
inline bool ParseCompanionOptions(int argc, char** argv, CompanionOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--delay-ms") == 0 && hasValue) {
      options.delayMs = std::atol(argv[++i]);
    } else if (std::strcmp(argv[i], "--exit-after-ms") == 0 && hasValue) {
      options.exitAfterMs = std::atol(argv[++i]);
    } else if (std::strcmp(argv[i], "--title") == 0 && hasValue) {
      options.title = argv[++i];
    } else if (std::strcmp(argv[i], "--unmapped") == 0) {
      options.unmapped = true;
    } else if (std::strcmp(argv[i], "--as-child") == 0) {
      options.asChild = true;
    } else {
      return false;
    }
  }
  return true;
}
