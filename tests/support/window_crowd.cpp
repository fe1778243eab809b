// Fills the X server with top-level windows of another class, the way a busy
// desktop does, for the presence test's measurements: window_crowd N [--with-watched]
// makes N windows, the last of them of the watched class when asked, says "ready"
// on standard output once the server holds them all, and keeps them until it is ended.

#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char CrowdClass[] = "crowd\0CrowdWindow";
constexpr char WatchedClass[] = "brassowlet\0BrassOwletTask";

void MakeWindow(xcb_connection_t* connection, const xcb_screen_t* screen, const char* wmClass,
                std::size_t wmClassSize) {
  const xcb_window_t window = xcb_generate_id(connection);
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
                      8, static_cast<std::uint32_t>(wmClassSize), wmClass);
  xcb_map_window(connection, window);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: window_crowd N [--with-watched]\n");
    return 2;
  }
  const long count = std::strtol(argv[1], nullptr, 10);
  const bool withWatched = argc > 2 && std::strcmp(argv[2], "--with-watched") == 0;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection)) {
    std::fprintf(stderr, "window_crowd: no X server\n");
    return 1;
  }
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  for (long i = 0; i < count; ++i) {
    const bool watched = withWatched && i == count - 1;
    MakeWindow(connection, screen, watched ? WatchedClass : CrowdClass,
               watched ? sizeof WatchedClass : sizeof CrowdClass);
  }
  // A reply comes after every request before it has been carried out.
  std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    pause();
  }
}
