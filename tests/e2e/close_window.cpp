// close_window TITLE SECONDS PROGRAM [ARG...]: starts PROGRAM on the X display, waits up to SECONDS
// for a top-level window named TITLE, asks it to close as a window manager would (WM_DELETE_WINDOW)
// and reports what happened on standard output:
//   title: <the window's name>      once the window was found
//   status: <exit status>           when the program ended by itself or after the request
//   timeout: <what was still missing>
// Used on a virtual X server of its own (cmake/with-xvfb), where no window manager runs, to close
// a real window the way a user does.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Windows come and go while the tree is walked (SDL makes and destroys helper windows as it
// starts): a request about one that has just gone fails with BadWindow, and Xlib's default handler
// would end this program for it. Such a request simply finds nothing.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

// The first window below `parent` whose WM_NAME is `title`, or 0.
Window find_window(Display* display, Window parent, const char* title) {
  Window root, parent_of, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, parent, &root, &parent_of, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < count && !found; ++i) {
    char* name = nullptr;
    if (XFetchName(display, children[i], &name) && name) {
      if (std::strcmp(name, title) == 0) found = children[i];
      XFree(name);
    }
    if (!found) found = find_window(display, children[i], title);
  }
  if (children) XFree(children);
  return found;
}

void request_close(Display* display, Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &event);
  XFlush(display);
}

// Exit status of the child once it has ended, -1 while it runs, -2 when it died of a signal.
int poll_child(pid_t child) {
  int status = 0;
  if (waitpid(child, &status, WNOHANG) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: close_window TITLE SECONDS PROGRAM [ARG...]\n");
    return 2;
  }
  const char* title = argv[1];
  const auto limit = Clock::now() + std::chrono::seconds(std::atoi(argv[2]));

  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::printf("timeout: no X display\n");
    return 1;
  }
  XSetErrorHandler(ignore_x_error);
  pid_t child = fork();
  if (child == 0) {
    execv(argv[3], argv + 3);
    _exit(127);
  }

  int status = -1;
  Window window = 0;
  while (!window && Clock::now() < limit && (status = poll_child(child)) == -1) {
    window = find_window(display, DefaultRootWindow(display), title);
    if (!window) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (window) {
    std::printf("title: %s\n", title);
    request_close(display, window);
    while (Clock::now() < limit && (status = poll_child(child)) == -1)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (status == -1) {
    std::printf("timeout: %s\n", window ? "the program did not end" : "no such window");
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  } else {
    std::printf("status: %d\n", status);
  }
  XCloseDisplay(display);
  return 0;
}
