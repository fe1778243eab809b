#include "bench/window_crowds.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;

namespace {

pid_t crowdProcess = -1;
int crowdWindows = -1;
bool crowdWithWatched = false;

// The crowd says "ready" on its standard output once the server holds every window.
pid_t StartCrowd(int windows, bool withWatched) {
  int readyPipe[2];
  if (pipe(readyPipe) != 0) {
    std::perror("pipe");
    std::exit(1);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, readyPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, readyPipe[0]);
  std::string count = std::to_string(windows);
  char watched[] = "--with-watched";
  char* arguments[] = {const_cast<char*>(WINDOW_CROWD_PATH), count.data(),
                       withWatched ? watched : nullptr, nullptr};
  pid_t process = -1;
  if (posix_spawn(&process, WINDOW_CROWD_PATH, &actions, nullptr, arguments, environ) != 0) {
    std::perror("window_crowd");
    std::exit(1);
  }
  posix_spawn_file_actions_destroy(&actions);
  close(readyPipe[1]);
  char ready[8] = {};
  if (read(readyPipe[0], ready, sizeof ready - 1) <= 0 || std::strcmp(ready, "ready\n") != 0) {
    std::fprintf(stderr, "window_crowd did not get ready\n");
    std::exit(1);
  }
  close(readyPipe[0]);
  return process;
}

// The bench runs on a server of its own with no window manager, where the root's
// children are the crowd's windows and nothing else.
int RootChildren() {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  xcb_query_tree_reply_t* tree =
      xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr);
  const int children = tree != nullptr ? xcb_query_tree_children_length(tree) : 0;
  std::free(tree);
  xcb_disconnect(connection);
  return children;
}

}  // namespace

void ShowWindowCrowd(int windows, bool withWatched) {
  if (crowdProcess != -1 && windows == crowdWindows && withWatched == crowdWithWatched) {
    return;
  }
  EndWindowCrowd();
  crowdProcess = StartCrowd(windows, withWatched);
  crowdWindows = windows;
  crowdWithWatched = withWatched;
}

void EndWindowCrowd() {
  if (crowdProcess == -1) {
    return;
  }
  kill(crowdProcess, SIGTERM);
  waitpid(crowdProcess, nullptr, 0);
  crowdProcess = -1;
  // The server destroys a client's windows once it has noticed the client gone.
  while (RootChildren() != 0) {
    usleep(10000);
  }
}
