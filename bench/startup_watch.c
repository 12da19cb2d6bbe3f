// Starts a program and times it from exec to the MapNotify of its top-level
// window (a direct child of the root of WIDTH x HEIGHT), then reads its peak
// resident memory one second later and ends it.
// Usage: startup_watch WIDTH HEIGHT PROGRAM [ARGS...]
// Prints "MILLISECONDS VMHWM_KB"; exit code 1 when no such window maps
// within 20 seconds.
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static long PeakKb(pid_t pid) {
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
  FILE* f = fopen(path, "r");
  if (!f) return -1;
  char line[256];
  long kb = -1;
  while (fgets(line, sizeof line, f))
    if (strncmp(line, "VmHWM:", 6) == 0) kb = strtol(line + 6, NULL, 10);
  fclose(f);
  return kb;
}

static void Stop(pid_t pid) {
  kill(pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid, NULL, WNOHANG) == pid) return;
    usleep(20000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, NULL, 0);
}

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: %s WIDTH HEIGHT PROGRAM [ARGS...]\n", argv[0]);
    return 2;
  }
  const int width = atoi(argv[1]);
  const int height = atoi(argv[2]);
  Display* display = XOpenDisplay(NULL);
  for (int i = 0; !display && i < 50; ++i) {
    usleep(100000);
    display = XOpenDisplay(NULL);
  }
  if (!display) {
    fprintf(stderr, "startup_watch: no display\n");
    return 2;
  }
  const Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, False);

  const double start = Now();
  const pid_t pid = fork();
  if (pid == 0) {
    close(ConnectionNumber(display));
    execv(argv[3], argv + 3);
    _exit(127);
  }

  const int fd = ConnectionNumber(display);
  double mapped = -1;
  while (mapped < 0 && Now() - start < 20000) {
    if (!XPending(display)) {
      fd_set read;
      FD_ZERO(&read);
      FD_SET(fd, &read);
      struct timeval wait = {0, 100000};
      select(fd + 1, &read, NULL, NULL, &wait);
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    if (event.type != MapNotify || event.xmap.event != root) continue;
    const double at = Now();
    XWindowAttributes a;
    if (XGetWindowAttributes(display, event.xmap.window, &a) && a.width == width && a.height == height) mapped = at;
  }
  if (mapped < 0) {
    Stop(pid);
    fprintf(stderr, "startup_watch: no %dx%d window from %s\n", width, height, argv[3]);
    return 1;
  }
  usleep(1000000);
  const long kb = PeakKb(pid);
  Stop(pid);
  printf("%.2f %ld\n", mapped - start, kb);
  XCloseDisplay(display);
  return 0;
}
