// BrassOwlet's stand-in on X11: one top-level window of class "BrassOwletTask",
// shown until it is closed through the window manager or the program is signalled.
//
// Its options, for tests and demos, are in companion_options.h.
// With BRASSOWLET_COMPANION_REPORT set to a file name, it first writes there what it
// was started with: its session, descriptors, blocked and ignored signals.

#include <dirent.h>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "companion/companion_options.h"

namespace {

void WriteStartReport(const char* path) {
  std::FILE* report = std::fopen(path, "w");
  if (report == nullptr) {
    return;
  }
  std::fprintf(report, "pid %d\nsid %d\n", static_cast<int>(getpid()), static_cast<int>(getsid(0)));
  // The descriptors the program was started with; the report itself and the
  // directory listing are ours.
  const int reportDescriptor = fileno(report);
  if (DIR* descriptors = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(descriptors)) {
      const int descriptor = std::atoi(entry->d_name);
      if (entry->d_name[0] == '.' || descriptor == reportDescriptor ||
          descriptor == dirfd(descriptors)) {
        continue;
      }
      char link[64];
      char target[512] = {};
      std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
      const ssize_t length = readlink(link, target, sizeof target - 1);
      std::fprintf(report, "fd %d %s\n", descriptor, length > 0 ? target : "?");
    }
    closedir(descriptors);
  }
  if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
      if (std::strncmp(line, "SigBlk:", 7) == 0 || std::strncmp(line, "SigIgn:", 7) == 0) {
        std::fputs(line, report);
      }
    }
    std::fclose(status);
  }
  std::fclose(report);
}

long MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

void SleepMs(long milliseconds) {
  const timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  nanosleep(&pause, nullptr);
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      connection,
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return atom;
}

void SetStringProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                       const char* value, std::size_t length) {
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, property, XCB_ATOM_STRING, 8,
                      static_cast<std::uint32_t>(length), value);
}

xcb_window_t CreateWindow(xcb_connection_t* connection, xcb_window_t parent,
                          const xcb_screen_t* screen, const char* wmClass,
                          std::size_t wmClassLength, const char* title) {
  const xcb_window_t window = xcb_generate_id(connection);
  const std::uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, parent, 40, 40, 320, 120, 1,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                    XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
  SetStringProperty(connection, window, XCB_ATOM_WM_CLASS, wmClass, wmClassLength);
  SetStringProperty(connection, window, XCB_ATOM_WM_NAME, title, std::strlen(title));
  return window;
}

bool IsDeleteRequest(const xcb_generic_event_t* event, xcb_atom_t deleteWindow) {
  if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) {
    return false;
  }
  const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
  return message->data.data32[0] == deleteWindow;
}

}  // namespace

int main(int argc, char** argv) {
  CompanionOptions options;
  if (!ParseCompanionOptions(argc, argv, options)) {
    std::fprintf(stderr, "BrassOwlet: unknown option\n");
    return 2;
  }
  if (const char* reportPath = std::getenv("BRASSOWLET_COMPANION_REPORT")) {
    WriteStartReport(reportPath);
  }
  if (options.delayMs > 0) {
    SleepMs(options.delayMs);
  }
  int screenNumber = 0;
  xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(connection)) {
    std::fprintf(stderr, "BrassOwlet: cannot reach the X display\n");
    return 1;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screenNumber && screens.rem > 1; ++i) {
    xcb_screen_next(&screens);
  }
  const xcb_screen_t* screen = screens.data;

  static const char taskClass[] = "brassowlet\0BrassOwletTask";
  static const char hostClass[] = "brassowlet-host\0BrassOwletHost";
  xcb_window_t topLevel = 0;
  if (options.asChild) {
    topLevel =
        CreateWindow(connection, screen->root, screen, hostClass, sizeof hostClass, options.title);
    const xcb_window_t child =
        CreateWindow(connection, topLevel, screen, taskClass, sizeof taskClass, options.title);
    xcb_map_window(connection, child);
  } else {
    topLevel =
        CreateWindow(connection, screen->root, screen, taskClass, sizeof taskClass, options.title);
  }
  const xcb_atom_t protocols = Atom(connection, "WM_PROTOCOLS");
  const xcb_atom_t deleteWindow = Atom(connection, "WM_DELETE_WINDOW");
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, topLevel, protocols, XCB_ATOM_ATOM, 32, 1,
                      &deleteWindow);
  if (!options.unmapped) {
    xcb_map_window(connection, topLevel);
  }
  xcb_flush(connection);

  const long exitAt = options.exitAfterMs >= 0 ? MonotonicMs() + options.exitAfterMs : -1;
  pollfd server{xcb_get_file_descriptor(connection), POLLIN, 0};
  for (;;) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
      const bool closing = IsDeleteRequest(event, deleteWindow);
      std::free(event);
      if (closing) {
        xcb_disconnect(connection);
        return 0;
      }
    }
    if (xcb_connection_has_error(connection)) {
      return 1;
    }
    const long now = MonotonicMs();
    if (exitAt >= 0 && now >= exitAt) {
      xcb_disconnect(connection);
      return 0;
    }
    poll(&server, 1, exitAt >= 0 ? static_cast<int>(exitAt - now) : -1);
  }
}
