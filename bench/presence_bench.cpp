// The presence test against an X server holding N top-level windows, beside the way
// common command-line window-search tools do it: one synchronous class query per
// window. Each reports its time and its round trips to the server per test.

#include <benchmark/benchmark.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/window_crowds.h"
#include "platform/platform.h"
#include "tests/support/x11_round_trips.h"

namespace {

constexpr char WatchedClass[] = "BrassOwletTask";

// The class name is the second of WM_CLASS's two strings.
bool NamesClass(const xcb_get_property_reply_t* reply, const char* windowClass) {
  const auto* value = static_cast<const char*>(xcb_get_property_value(reply));
  const auto length = static_cast<std::size_t>(xcb_get_property_value_length(reply));
  const auto* instanceEnd = static_cast<const char*>(std::memchr(value, '\0', length));
  if (instanceEnd == nullptr) {
    return false;
  }
  const std::string className(instanceEnd + 1, value + length);
  return strcasecmp(className.c_str(), windowClass) == 0;
}

// The baseline: the root's children, then each one's class, asked and awaited in turn.
bool BaselineWindowExists(xcb_connection_t* connection, xcb_window_t root,
                          const char* windowClass) {
  xcb_query_tree_reply_t* tree =
      xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr);
  if (tree == nullptr) {
    return false;
  }
  bool found = false;
  const xcb_window_t* children = xcb_query_tree_children(tree);
  for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, children[i], XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64),
        nullptr);
    found = reply != nullptr && NamesClass(reply, windowClass);
    std::free(reply);
  }
  std::free(tree);
  return found;
}

template <typename Presence>
void MeasurePresence(benchmark::State& state, Presence windowExists) {
  const auto windows = static_cast<int>(state.range(0));
  const bool withWatched = state.range(1) != 0;
  ShowWindowCrowd(windows, withWatched);
  unsigned long roundTrips = 0;
  for (auto _ : state) {
    ResetX11RoundTrips();
    if (windowExists() != withWatched) {
      state.SkipWithError("the presence test gave the wrong answer");
      break;
    }
    roundTrips += X11RoundTrips();
  }
  state.counters["round_trips"] =
      benchmark::Counter(static_cast<double>(roundTrips), benchmark::Counter::kAvgIterations);
  state.counters["windows"] = windows;
}

void RegisterSideBySide() {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  // Ours and the baseline one after the other on the same crowd of windows.
  for (const int windows : {0, 10, 100, 1000, 10000}) {
    // The watched window, when there is one, is the last of the crowd.
    for (const int withWatched : {0, 1}) {
      if (windows == 0 && withWatched == 1) {
        continue;
      }
      benchmark::RegisterBenchmark("PresenceTest",
                                   [](benchmark::State& state) {
                                     MeasurePresence(
                                         state, [] { return TopLevelWindowExists(WatchedClass); });
                                   })
          ->Args({windows, withWatched})
          ->UseRealTime();
      benchmark::RegisterBenchmark("PerWindowBaseline",
                                   [connection, root](benchmark::State& state) {
                                     MeasurePresence(state, [&] {
                                       return BaselineWindowExists(connection, root, WatchedClass);
                                     });
                                   })
          ->Args({windows, withWatched})
          ->UseRealTime();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  PreparePlatform();
  RegisterSideBySide();
  benchmark::RunSpecifiedBenchmarks();
  EndWindowCrowd();
  benchmark::Shutdown();
}
