// Times a program's start on an X server up to its first paint: starts the
// program, waits for its window to be mapped, then reads a grid of the
// window's pixels every millisecond until one is no longer the black of an
// unpainted window (run the X server with a black root, e.g. Xvfb -br).
// Prints "<map_ms> <paint_ms>" (CLOCK_MONOTONIC, from just before the
// program was started), then ends the program with SIGTERM.
//
// usage: lq_first_paint PROGRAM [ARGS...]
// Exit status: 0 when the window was painted, 1 when it was not within 30 s
// or the program ended first, 2 on bad arguments or no X server.
#include <xcb/xcb.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace {

std::int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

void SleepMs(int ms) {
  const timespec ts{0, ms * 1'000'000L};
  nanosleep(&ts, nullptr);
}

constexpr std::int64_t kTimeoutNs = 30'000'000'000;
constexpr int kGrid = 6;

// True when any grid point of the window is not black.
bool Painted(xcb_connection_t* x, xcb_window_t window, int width, int height) {
  std::vector<xcb_get_image_cookie_t> cookies;
  for (int gy = 0; gy < kGrid; ++gy) {
    for (int gx = 0; gx < kGrid; ++gx) {
      const auto px = static_cast<std::int16_t>((2 * gx + 1) * width / (2 * kGrid));
      const auto py = static_cast<std::int16_t>((2 * gy + 1) * height / (2 * kGrid));
      cookies.push_back(
          xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, window, px, py, 1, 1, ~0u));
    }
  }
  bool painted = false;
  for (const auto& cookie : cookies) {
    xcb_get_image_reply_t* reply = xcb_get_image_reply(x, cookie, nullptr);
    if (reply == nullptr) continue;
    const std::uint8_t* data = xcb_get_image_data(reply);
    const int length = xcb_get_image_data_length(reply);
    for (int i = 0; i < length && i < 3; ++i) {
      if (data[i] != 0) painted = true;
    }
    std::free(reply);
  }
  return painted;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: lq_first_paint PROGRAM [ARGS...]\n");
    return 2;
  }
  xcb_connection_t* x = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(x)) {
    std::fprintf(stderr, "lq_first_paint: cannot open the display\n");
    return 2;
  }
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
  const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(x);

  const std::int64_t start = MonotonicNs();
  pid_t child = 0;
  if (posix_spawnp(&child, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
    std::fprintf(stderr, "lq_first_paint: cannot start %s\n", argv[1]);
    return 2;
  }

  int status = 1;
  xcb_window_t window = 0;
  std::int64_t mapped = 0;
  int width = 0, height = 0;
  for (;;) {
    const std::int64_t now = MonotonicNs();
    if (now - start > kTimeoutNs) {
      std::fprintf(stderr, "lq_first_paint: no paint within 30 s\n");
      break;
    }
    int wstatus = 0;
    if (waitpid(child, &wstatus, WNOHANG) == child) {
      std::fprintf(stderr, "lq_first_paint: the program ended before its first paint\n");
      child = 0;
      break;
    }
    while (xcb_generic_event_t* event = xcb_poll_for_event(x)) {
      if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && window == 0) {
        const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
        if (!map->override_redirect) {
          window = map->window;
          mapped = MonotonicNs();
          xcb_get_geometry_reply_t* geometry =
              xcb_get_geometry_reply(x, xcb_get_geometry(x, window), nullptr);
          if (geometry != nullptr) {
            width = geometry->width;
            height = geometry->height;
            std::free(geometry);
          }
        }
      }
      std::free(event);
    }
    if (xcb_connection_has_error(x)) {
      std::fprintf(stderr, "lq_first_paint: lost the display\n");
      break;
    }
    if (window != 0 && width > 0 && height > 0 && Painted(x, window, width, height)) {
      const std::int64_t painted = MonotonicNs();
      std::printf("%.1f %.1f\n", static_cast<double>(mapped - start) / 1e6,
                  static_cast<double>(painted - start) / 1e6);
      status = 0;
      break;
    }
    SleepMs(1);
  }
  if (child != 0) {
    kill(child, SIGTERM);
    int wstatus = 0;
    waitpid(child, &wstatus, 0);
  }
  xcb_disconnect(x);
  return status;
}
