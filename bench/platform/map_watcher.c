/* Watches an X display for the first top-level window whose title contains
 * a given text being mapped, and prints the CLOCK_MONOTONIC time of that
 * moment in seconds. The run script reads the same clock just before it
 * starts the program, so the difference is start to window mapped.
 *
 * Usage: map_watcher TITLE_PART TIMEOUT_SECONDS
 * Prints "ready" once it listens, then "mapped <seconds> 0x<window>".
 * Exit 1 on timeout. DISPLAY comes from the environment. */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double now_seconds(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

/* The window's title: _NET_WM_NAME (UTF-8, what Qt sets) or WM_NAME. */
static int title_contains(Display* display, Window window, const char* part) {
  int found = 0;
  Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Atom net_name = XInternAtom(display, "_NET_WM_NAME", False);
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = NULL;
  if (XGetWindowProperty(display, window, net_name, 0, 1024, False, utf8, &type, &format, &count,
                         &after, &data) == Success && data) {
    found = strstr((const char*)data, part) != NULL;
    XFree(data);
    if (found) return 1;
  }
  char* name = NULL;
  if (XFetchName(display, window, &name) && name) {
    found = strstr(name, part) != NULL;
    XFree(name);
  }
  return found;
}

static int ignore_errors(Display* display, XErrorEvent* error) {
  (void)display;
  (void)error;
  return 0; /* a window may be gone before its title is read */
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: map_watcher TITLE_PART TIMEOUT_SECONDS\n");
    return 2;
  }
  const char* part = argv[1];
  const double deadline = now_seconds() + atof(argv[2]);
  Display* display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "map_watcher: cannot open display\n");
    return 2;
  }
  XSetErrorHandler(ignore_errors);
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);
  printf("ready\n");
  fflush(stdout);

  struct pollfd descriptor = {ConnectionNumber(display), POLLIN, 0};
  for (;;) {
    while (XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type != MapNotify) continue;
      const double at = now_seconds();
      if (title_contains(display, event.xmap.window, part)) {
        printf("mapped %.6f 0x%lx\n", at, (unsigned long)event.xmap.window);
        fflush(stdout);
        XCloseDisplay(display);
        return 0;
      }
    }
    const double left = deadline - now_seconds();
    if (left <= 0) break;
    poll(&descriptor, 1, (int)(left * 1000) + 1);
  }
  fprintf(stderr, "map_watcher: no window titled like '%s' was mapped\n", part);
  XCloseDisplay(display);
  return 1;
}
