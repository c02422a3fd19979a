// Records a sound server's source (for the playback bench: a null sink's
// monitor) and notes, after every read, when the last sample read was
// heard, on CLOCK_MONOTONIC, so that a sound found in the capture can be
// put on the same clock as the calls that played it.
//
// usage: lq_capture --device NAME --rate HZ --out FILE.s16 --times FILE
//
// FILE.s16 is raw signed 16-bit little-endian mono at HZ; holes the server
// reports are written as silence, so sample n is always n / HZ seconds
// after sample 0.  FILE (the times) holds lines of
//   connected <monotonic_ns>
//   read <frames_so_far> <monotonic_ns> <latency_us>
// where latency_us (signed) is how long before <monotonic_ns> the last of
// <frames_so_far> frames was heard: the server's record latency, which for
// a monitor is negative by what the sink still holds.  So frame n was heard
// at monotonic_ns - latency_us * 1000 - (frames_so_far - 1 - n) / HZ.
//
// Runs until SIGTERM or SIGINT, or until the server goes away; exits 0
// then, 1 when it could not record at all, 2 on bad arguments.
#include <pulse/pulseaudio.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <time.h>
#include <vector>

namespace {

std::int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

struct Capture {
  pa_mainloop* loop = nullptr;
  pa_context* context = nullptr;
  pa_stream* stream = nullptr;
  std::string device;
  pa_sample_spec spec{};
  std::FILE* out = nullptr;
  std::FILE* times = nullptr;
  std::int64_t frames = 0;
  bool recorded = false;
  int status = 0;
};

void Quit(Capture& c, int status) {
  c.status = status;
  pa_mainloop_quit(c.loop, status);
}

void OnRead(pa_stream* s, size_t /*bytes*/, void* userdata) {
  auto& c = *static_cast<Capture*>(userdata);
  for (;;) {
    const void* data = nullptr;
    size_t length = 0;
    if (pa_stream_peek(s, &data, &length) < 0) {
      std::fprintf(stderr, "lq_capture: reading: %s\n",
                   pa_strerror(pa_context_errno(c.context)));
      Quit(c, 1);
      return;
    }
    if (length == 0) break;
    if (data != nullptr) {
      std::fwrite(data, 1, length, c.out);
    } else {
      // A hole: silence of its length keeps the sample clock.
      const std::vector<char> zeros(length, 0);
      std::fwrite(zeros.data(), 1, length, c.out);
    }
    pa_stream_drop(s);
    c.frames += static_cast<std::int64_t>(length / pa_frame_size(&c.spec));
  }
  pa_usec_t latency = 0;
  int negative = 0;
  const std::int64_t now = MonotonicNs();
  if (pa_stream_get_latency(s, &latency, &negative) == 0) {
    const long long signed_us =
        negative ? -static_cast<long long>(latency) : static_cast<long long>(latency);
    std::fprintf(c.times, "read %lld %lld %lld\n", static_cast<long long>(c.frames),
                 static_cast<long long>(now), signed_us);
  }
  c.recorded = true;
}

void OnStreamState(pa_stream* s, void* userdata) {
  auto& c = *static_cast<Capture*>(userdata);
  switch (pa_stream_get_state(s)) {
    case PA_STREAM_READY:
      std::fprintf(c.times, "connected %lld\n", static_cast<long long>(MonotonicNs()));
      std::fflush(c.times);
      break;
    case PA_STREAM_FAILED:
      std::fprintf(stderr, "lq_capture: the recording stream failed: %s\n",
                   pa_strerror(pa_context_errno(c.context)));
      Quit(c, c.recorded ? 0 : 1);
      break;
    default:
      break;
  }
}

void OnContextState(pa_context* ctx, void* userdata) {
  auto& c = *static_cast<Capture*>(userdata);
  switch (pa_context_get_state(ctx)) {
    case PA_CONTEXT_READY: {
      c.stream = pa_stream_new(ctx, "lq-capture", &c.spec, nullptr);
      if (c.stream == nullptr) {
        Quit(c, 1);
        return;
      }
      pa_stream_set_state_callback(c.stream, OnStreamState, &c);
      pa_stream_set_read_callback(c.stream, OnRead, &c);
      pa_buffer_attr attr{};
      attr.maxlength = static_cast<std::uint32_t>(-1);
      attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(10'000, &c.spec));
      const auto flags = static_cast<pa_stream_flags_t>(
          PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
          PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_DONT_MOVE);
      if (pa_stream_connect_record(c.stream, c.device.c_str(), &attr, flags) < 0) {
        std::fprintf(stderr, "lq_capture: cannot record %s: %s\n", c.device.c_str(),
                     pa_strerror(pa_context_errno(ctx)));
        Quit(c, 1);
      }
      break;
    }
    case PA_CONTEXT_FAILED:
      std::fprintf(stderr, "lq_capture: the sound server went away: %s\n",
                   pa_strerror(pa_context_errno(ctx)));
      Quit(c, c.recorded ? 0 : 1);
      break;
    case PA_CONTEXT_TERMINATED:
      Quit(c, 0);
      break;
    default:
      break;
  }
}

void OnSignal(pa_mainloop_api* /*api*/, pa_signal_event* /*event*/, int /*sig*/,
              void* userdata) {
  Quit(*static_cast<Capture*>(userdata), 0);
}

int Usage() {
  std::fprintf(stderr,
               "usage: lq_capture --device NAME --rate HZ --out FILE.s16 --times FILE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Capture c;
  std::string out_path, times_path;
  int rate = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view arg = argv[i];
    const char* value = argv[i + 1];
    if (arg == "--device") {
      c.device = value;
    } else if (arg == "--rate") {
      rate = std::atoi(value);
    } else if (arg == "--out") {
      out_path = value;
    } else if (arg == "--times") {
      times_path = value;
    } else {
      return Usage();
    }
  }
  if (argc % 2 != 1 || c.device.empty() || rate <= 0 || out_path.empty() ||
      times_path.empty()) {
    return Usage();
  }
  c.spec.format = PA_SAMPLE_S16LE;
  c.spec.rate = static_cast<std::uint32_t>(rate);
  c.spec.channels = 1;
  c.out = std::fopen(out_path.c_str(), "wb");
  c.times = std::fopen(times_path.c_str(), "w");
  if (c.out == nullptr || c.times == nullptr) {
    std::fprintf(stderr, "lq_capture: cannot write %s or %s\n", out_path.c_str(),
                 times_path.c_str());
    return 1;
  }

  c.loop = pa_mainloop_new();
  pa_mainloop_api* api = pa_mainloop_get_api(c.loop);
  pa_signal_init(api);
  pa_signal_new(SIGTERM, OnSignal, &c);
  pa_signal_new(SIGINT, OnSignal, &c);
  c.context = pa_context_new(api, "lq-capture");
  pa_context_set_state_callback(c.context, OnContextState, &c);
  if (pa_context_connect(c.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    std::fprintf(stderr, "lq_capture: no sound server: %s\n",
                 pa_strerror(pa_context_errno(c.context)));
    return 1;
  }
  int ret = 0;
  pa_mainloop_run(c.loop, &ret);

  if (c.stream != nullptr) {
    pa_stream_disconnect(c.stream);
    pa_stream_unref(c.stream);
  }
  pa_context_disconnect(c.context);
  pa_context_unref(c.context);
  pa_signal_done();
  pa_mainloop_free(c.loop);
  const bool failed = std::ferror(c.out) != 0 || std::ferror(c.times) != 0;
  const bool closed = std::fclose(c.out) == 0;
  const bool written = std::fclose(c.times) == 0 && closed && !failed;
  if (!written) {
    std::fprintf(stderr, "lq_capture: writing the capture failed\n");
    return 1;
  }
  return c.status;
}
