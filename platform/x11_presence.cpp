// A window counts as top-level when it is a child of the root window or, under a
// reparenting window manager, the client window (the one carrying WM_STATE) inside
// a root child's frame, or a client that an EWMH manager lists in _NET_CLIENT_LIST.
// Requests are sent in batches and their replies read afterwards, so a scan waits
// on the server a fixed number of times whatever the number of windows. The window
// found last is asked about in the first batch: while it stays a top-level window
// of the class, that batch is the whole scan.

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/x11_presence.h"

namespace {

constexpr std::size_t ScanBatch = 16384;
// WM_CLASS is two short strings; a longer value is read only in part.
constexpr std::uint32_t MaxClassLongs = 64;
// How far below a root child the client window of a frame may sit.
constexpr int MaxFrameDepth = 4;

xcb_connection_t* connection = nullptr;
xcb_window_t rootWindow;
xcb_atom_t clientListAtom;
xcb_atom_t wmStateAtom;

// Fixed storage for one scan, reused by every scan.
xcb_get_property_cookie_t classCookies[ScanBatch];
xcb_get_property_cookie_t stateCookies[ScanBatch];
xcb_query_tree_cookie_t treeCookies[ScanBatch];
xcb_window_t frames[ScanBatch];
std::size_t frameCount;
xcb_window_t frameChildren[ScanBatch];
// The window that the last scan found, or none.
xcb_window_t lastFound = XCB_WINDOW_NONE;

xcb_atom_t InternAtomReply(xcb_intern_atom_cookie_t cookie) {
  xcb_atom_t atom = XCB_ATOM_NONE;
  if (xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr)) {
    atom = reply->atom;
    std::free(reply);
  }
  return atom;
}

void Disconnect() {
  xcb_disconnect(connection);
  connection = nullptr;
}

bool EqualIgnoringAsciiCase(const char* a, const char* b, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) {
      return false;
    }
  }
  return true;
}

// WM_CLASS holds the instance name and then the class name, each ended by a NUL
// (some programs leave off the last one).
bool ClassMatches(const xcb_get_property_reply_t* reply, const char* windowClass) {
  if (reply == nullptr || reply->format != 8) {
    return false;
  }
  const auto* value = static_cast<const char*>(xcb_get_property_value(reply));
  const auto length = static_cast<std::size_t>(xcb_get_property_value_length(reply));
  const auto* instanceEnd = static_cast<const char*>(std::memchr(value, '\0', length));
  if (instanceEnd == nullptr) {
    return false;
  }
  const char* className = instanceEnd + 1;
  const auto remaining = static_cast<std::size_t>(value + length - className);
  const auto* classEnd = static_cast<const char*>(std::memchr(className, '\0', remaining));
  if (classEnd == nullptr && reply->bytes_after != 0) {
    return false;  // cut off by the bounded read: no name that long is ours
  }
  const std::size_t classLength =
      classEnd != nullptr ? static_cast<std::size_t>(classEnd - className) : remaining;
  return classLength == std::strlen(windowClass) &&
         EqualIgnoringAsciiCase(className, windowClass, classLength);
}

xcb_get_property_reply_t* PropertyReply(xcb_get_property_cookie_t cookie) {
  xcb_generic_error_t* error = nullptr;
  xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, &error);
  std::free(error);  // a window that vanished during the scan simply has no property
  return reply;
}

bool HasProperty(const xcb_get_property_reply_t* reply) {
  return reply != nullptr && reply->type != XCB_ATOM_NONE;
}

void AddFrame(xcb_window_t window) {
  if (frameCount < ScanBatch) {
    frames[frameCount++] = window;
  }
}

// The windows of one level of a scan: at the top, the root's children and the
// clients a window manager lists, read in place from their replies.
struct WindowList {
  const xcb_window_t* first;
  std::size_t firstCount;
  const xcb_window_t* second;
  std::size_t secondCount;
};

xcb_window_t WindowAt(const WindowList& list, std::size_t index) {
  return index < list.firstCount ? list.first[index] : list.second[index - list.firstCount];
}

// Asks every window for its class (and, inside frames, for WM_STATE), all requests
// first, then every reply. At depth 0 any window with the class counts; deeper,
// only a client window, one carrying WM_STATE. A window with neither property is a
// window manager's frame to look into next. WM_STATE is not asked of the root's
// children: a client window there has a class, or none worth looking into, and the
// question would double the requests of every scan.
bool AnyWindowHasClass(const WindowList& windows, const char* windowClass, bool exploreFrames,
                       int depth) {
  const std::size_t count = windows.firstCount + windows.secondCount;
  const bool askState = exploreFrames && depth > 0;
  bool found = false;
  for (std::size_t start = 0; start < count; start += ScanBatch) {
    const std::size_t batch = count - start < ScanBatch ? count - start : ScanBatch;
    for (std::size_t i = 0; i < batch; ++i) {
      const xcb_window_t window = WindowAt(windows, start + i);
      classCookies[i] = xcb_get_property(connection, 0, window, XCB_ATOM_WM_CLASS,
                                         XCB_GET_PROPERTY_TYPE_ANY, 0, MaxClassLongs);
      if (askState) {
        stateCookies[i] =
            xcb_get_property(connection, 0, window, wmStateAtom, XCB_GET_PROPERTY_TYPE_ANY, 0, 0);
      }
    }
    for (std::size_t i = 0; i < batch; ++i) {
      xcb_get_property_reply_t* classReply = PropertyReply(classCookies[i]);
      xcb_get_property_reply_t* stateReply = askState ? PropertyReply(stateCookies[i]) : nullptr;
      const bool isClient = depth == 0 || HasProperty(stateReply);
      if (isClient && ClassMatches(classReply, windowClass)) {
        found = true;
        lastFound = WindowAt(windows, start + i);
      }
      if (exploreFrames && !HasProperty(classReply) && !HasProperty(stateReply)) {
        AddFrame(WindowAt(windows, start + i));
      }
      std::free(classReply);
      std::free(stateReply);
    }
  }
  return found;
}

// Looks one level further into the frames found so far: their children become the
// windows to ask, and those that are frames again the next level's frames.
bool AnyFrameChildHasClass(const char* windowClass, int depth) {
  const std::size_t levelFrames = frameCount;
  for (std::size_t i = 0; i < levelFrames; ++i) {
    treeCookies[i] = xcb_query_tree(connection, frames[i]);
  }
  std::size_t childCount = 0;
  for (std::size_t i = 0; i < levelFrames; ++i) {
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, treeCookies[i], nullptr);
    if (tree == nullptr) {
      continue;
    }
    const xcb_window_t* children = xcb_query_tree_children(tree);
    const int length = xcb_query_tree_children_length(tree);
    for (int c = 0; c < length && childCount < ScanBatch; ++c) {
      frameChildren[childCount++] = children[c];
    }
    std::free(tree);
  }
  frameCount = 0;
  return AnyWindowHasClass({frameChildren, childCount, nullptr, 0}, windowClass, true, depth);
}

// What the first batch asks about the window found last; the replies say whether
// it is still what the full scan would count.
struct LastFoundCookies {
  xcb_query_tree_cookie_t tree;
  xcb_get_property_cookie_t windowClass;
  xcb_get_property_cookie_t state;
};

LastFoundCookies AskAboutLastFound() {
  return {xcb_query_tree(connection, lastFound),
          xcb_get_property(connection, 0, lastFound, XCB_ATOM_WM_CLASS, XCB_GET_PROPERTY_TYPE_ANY,
                           0, MaxClassLongs),
          xcb_get_property(connection, 0, lastFound, wmStateAtom, XCB_GET_PROPERTY_TYPE_ANY, 0, 0)};
}

bool IsListed(xcb_window_t window, const xcb_window_t* clients, std::size_t clientCount) {
  for (std::size_t i = 0; i < clientCount; ++i) {
    if (clients[i] == window) {
      return true;
    }
  }
  return false;
}

// Still of the class, and still a root child, a listed client, or a client inside a
// frame; a window that has gone answers with errors and is none of these.
bool LastFoundStillCounts(const LastFoundCookies& cookies, const char* windowClass,
                          const WindowList& topLevel) {
  xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, cookies.tree, nullptr);
  xcb_get_property_reply_t* classReply = PropertyReply(cookies.windowClass);
  xcb_get_property_reply_t* stateReply = PropertyReply(cookies.state);
  const bool topLevelWindow = (tree != nullptr && tree->parent == rootWindow) ||
                              HasProperty(stateReply) ||
                              IsListed(lastFound, topLevel.second, topLevel.secondCount);
  const bool counts = topLevelWindow && ClassMatches(classReply, windowClass);
  std::free(tree);
  std::free(classReply);
  std::free(stateReply);
  return counts;
}

bool ScanForClass(const char* windowClass) {
  const xcb_query_tree_cookie_t treeCookie = xcb_query_tree(connection, rootWindow);
  const xcb_get_property_cookie_t listCookie =
      xcb_get_property(connection, 0, rootWindow, clientListAtom, XCB_ATOM_WINDOW, 0, ScanBatch);
  const bool askedAboutLastFound = lastFound != XCB_WINDOW_NONE;
  const LastFoundCookies lastFoundCookies =
      askedAboutLastFound ? AskAboutLastFound() : LastFoundCookies{};
  xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, treeCookie, nullptr);
  xcb_get_property_reply_t* clientList = PropertyReply(listCookie);
  const bool hasClientList =
      clientList != nullptr && clientList->type == XCB_ATOM_WINDOW && clientList->format == 32;

  WindowList topLevel{nullptr, 0, nullptr, 0};
  if (tree != nullptr) {
    topLevel.first = xcb_query_tree_children(tree);
    topLevel.firstCount = static_cast<std::size_t>(xcb_query_tree_children_length(tree));
  }
  if (hasClientList) {
    topLevel.second = static_cast<const xcb_window_t*>(xcb_get_property_value(clientList));
    topLevel.secondCount =
        static_cast<std::size_t>(xcb_get_property_value_length(clientList)) / sizeof(xcb_window_t);
  }
  bool found = askedAboutLastFound && LastFoundStillCounts(lastFoundCookies, windowClass, topLevel);
  if (!found) {
    lastFound = XCB_WINDOW_NONE;
    frameCount = 0;
    // With a client list the manager has said which windows are its clients;
    // without one, the clients are looked for inside the root's unnamed children.
    found = AnyWindowHasClass(topLevel, windowClass, !hasClientList, 0);
  }
  std::free(tree);
  std::free(clientList);
  for (int depth = 1; !found && frameCount > 0 && depth <= MaxFrameDepth; ++depth) {
    found = AnyFrameChildHasClass(windowClass, depth);
  }
  return found;
}

// Errors of requests that carried no reply, and events, would otherwise pile up.
void DropQueuedEvents() {
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
    std::free(event);
  }
}

}  // namespace

bool ConnectWindowSystem() {
  int screenNumber = 0;
  xcb_connection_t* opened = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(opened)) {
    xcb_disconnect(opened);
    return false;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(opened));
  for (int i = 0; i < screenNumber && screens.rem > 1; ++i) {
    xcb_screen_next(&screens);
  }
  connection = opened;
  rootWindow = screens.data->root;
  const xcb_intern_atom_cookie_t listCookie =
      xcb_intern_atom(connection, 0, std::strlen("_NET_CLIENT_LIST"), "_NET_CLIENT_LIST");
  const xcb_intern_atom_cookie_t stateCookie =
      xcb_intern_atom(connection, 0, std::strlen("WM_STATE"), "WM_STATE");
  clientListAtom = InternAtomReply(listCookie);
  wmStateAtom = InternAtomReply(stateCookie);
  return true;
}

bool TopLevelWindowExists(const char* windowClass) {
  if (connection == nullptr && !ConnectWindowSystem()) {
    return false;
  }
  const bool found = ScanForClass(windowClass);
  DropQueuedEvents();
  if (xcb_connection_has_error(connection)) {
    // The server went away: nothing it said can be trusted, and a later cycle
    // connects again.
    Disconnect();
    lastFound = XCB_WINDOW_NONE;
    return false;
  }
  return found;
}
