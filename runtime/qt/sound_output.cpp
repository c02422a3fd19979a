// The sound server's client (see sound_output.h): the connection on libpulse's
// own thread, one playback stream at a time, and its news for the Qt thread.
#include "runtime/qt/sound_output.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <vector>

#include "runtime/qt/wave.h"

namespace lq::qt {

namespace {

// The latency asked of the server: short, so that a recording starts soon
// after the call and the drain's report comes close to its end.
constexpr pa_usec_t kTargetLatencyUs = 40'000;
// How far ahead of the server's requests samples are written: far enough
// that a busy machine never starves the stream, well inside the server's
// own limit for what a stream may hold (4 MiB).
constexpr std::size_t kWriteAheadBytes = 1 << 20;

class Lock {
 public:
  explicit Lock(pa_threaded_mainloop* loop) : loop_(loop) {
    if (loop_ != nullptr) pa_threaded_mainloop_lock(loop_);
  }
  ~Lock() {
    if (loop_ != nullptr) pa_threaded_mainloop_unlock(loop_);
  }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  pa_threaded_mainloop* loop_;
};

}  // namespace

// Everything below is touched by both threads: the sound thread in its
// callbacks, which run with the main loop's lock held, and the caller's
// thread, which takes that lock.
struct SoundOutput::State {
  std::function<void()> wake;
  pa_threaded_mainloop* loop = nullptr;
  pa_context* context = nullptr;
  std::string why_down = "not connected yet";

  pa_stream* stream = nullptr;
  std::vector<std::uint8_t> bytes;  // the recording's samples
  std::size_t written = 0;
  std::size_t frame = 0;
  Play play = Play::kNone;
  std::string why_failed;
  pa_operation* drain = nullptr;
  pa_operation* timing = nullptr;
  std::optional<std::chrono::steady_clock::time_point> began;

  Link LinkNow() const {
    if (context == nullptr) return Link::kDown;
    switch (pa_context_get_state(context)) {
      case PA_CONTEXT_READY:
        return Link::kUp;
      case PA_CONTEXT_CONNECTING:
      case PA_CONTEXT_AUTHORIZING:
      case PA_CONTEXT_SETTING_NAME:
        return Link::kConnecting;
      default:
        return Link::kDown;
    }
  }

  std::string ContextError() const {
    return context != nullptr ? pa_strerror(pa_context_errno(context)) : "not connected";
  }

  void Fail(const std::string& why) {
    if (play != Play::kFailed) why_failed = why;
    play = Play::kFailed;
  }

  static void Cancel(pa_operation*& op) {
    if (op == nullptr) return;
    pa_operation_cancel(op);
    pa_operation_unref(op);
    op = nullptr;
  }

  void StopStream() {
    Cancel(drain);
    Cancel(timing);
    if (stream != nullptr) {
      pa_stream_set_state_callback(stream, nullptr, nullptr);
      pa_stream_set_write_callback(stream, nullptr, nullptr);
      pa_stream_set_started_callback(stream, nullptr, nullptr);
      const pa_stream_state_t s = pa_stream_get_state(stream);
      if (s == PA_STREAM_CREATING || s == PA_STREAM_READY) pa_stream_disconnect(stream);
      pa_stream_unref(stream);
      stream = nullptr;
    }
    bytes.clear();
    bytes.shrink_to_fit();
    written = 0;
    began.reset();
    play = Play::kNone;
  }

  void DropContext() {
    StopStream();
    if (context == nullptr) return;
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
    context = nullptr;
  }

  // ---- callbacks, on the sound thread -------------------------------------

  static void OnContextState(pa_context* c, void* user) {
    auto* s = static_cast<State*>(user);
    switch (pa_context_get_state(c)) {
      case PA_CONTEXT_READY:
        break;
      case PA_CONTEXT_FAILED:
      case PA_CONTEXT_TERMINATED:
        s->why_down = pa_strerror(pa_context_errno(c));
        if (s->stream != nullptr) s->Fail(s->why_down);
        break;
      default:
        return;
    }
    s->wake();
  }

  static void OnStreamState(pa_stream* st, void* user) {
    auto* s = static_cast<State*>(user);
    if (st != s->stream) return;
    switch (pa_stream_get_state(st)) {
      case PA_STREAM_FAILED:
      case PA_STREAM_TERMINATED:
        s->Fail(s->ContextError());
        break;
      case PA_STREAM_READY:
        break;  // the latency is known from now on
      default:
        return;
    }
    s->wake();
  }

  static void OnStarted(pa_stream* st, void* user) {
    auto* s = static_cast<State*>(user);
    if (st != s->stream || s->began) return;
    s->began = std::chrono::steady_clock::now();
  }

  static void OnWrite(pa_stream* st, std::size_t requested, void* user) {
    auto* s = static_cast<State*>(user);
    if (st != s->stream || s->play != Play::kStarting) return;
    const std::size_t ahead = std::max<std::size_t>(kWriteAheadBytes / s->frame, 1) * s->frame;
    const std::size_t n = std::min(s->bytes.size() - s->written, std::max(requested, ahead));
    if (n > 0) {
      if (pa_stream_write(st, s->bytes.data() + s->written, n, nullptr, 0,
                          PA_SEEK_RELATIVE) < 0) {
        s->Fail(s->ContextError());
        s->wake();
        return;
      }
      s->written += n;
    }
    if (s->written < s->bytes.size()) return;
    // All of it is with the server: the drain reports when it has played.
    s->play = Play::kDraining;
    s->drain = pa_stream_drain(st, &OnDrained, s);
    if (s->drain == nullptr) s->Fail(s->ContextError());
    s->wake();
  }

  static void OnDrained(pa_stream* st, int success, void* user) {
    auto* s = static_cast<State*>(user);
    if (s->drain != nullptr) {
      pa_operation_unref(s->drain);
      s->drain = nullptr;
    }
    if (st != s->stream) return;
    if (success == 0) {
      s->Fail(s->ContextError());
      s->wake();
      return;
    }
    // What the output still holds: a fresh report of the latency.
    s->timing = pa_stream_update_timing_info(st, &OnTiming, s);
    if (s->timing == nullptr) {
      s->play = Play::kDrained;
      s->wake();
    }
  }

  static void OnTiming(pa_stream* st, int, void* user) {
    auto* s = static_cast<State*>(user);
    if (s->timing != nullptr) {
      pa_operation_unref(s->timing);
      s->timing = nullptr;
    }
    if (st != s->stream || s->play != Play::kDraining) return;
    s->play = Play::kDrained;
    s->wake();
  }
};

SoundOutput::SoundOutput(std::function<void()> wake) : state_(std::make_unique<State>()) {
  state_->wake = std::move(wake);
}

SoundOutput::~SoundOutput() {
  if (state_->loop == nullptr) return;
  {
    Lock lock(state_->loop);
    state_->DropContext();
  }
  pa_threaded_mainloop_stop(state_->loop);
  pa_threaded_mainloop_free(state_->loop);
}

SoundOutput::Link SoundOutput::Connect() {
  State& s = *state_;
  if (s.loop == nullptr) {
    s.loop = pa_threaded_mainloop_new();
    if (s.loop == nullptr) {
      s.why_down = "cannot start the sound client";
      return Link::kDown;
    }
    pa_threaded_mainloop_set_name(s.loop, "lq-sound");
    if (pa_threaded_mainloop_start(s.loop) < 0) {
      pa_threaded_mainloop_free(s.loop);
      s.loop = nullptr;
      s.why_down = "cannot start the sound client's thread";
      return Link::kDown;
    }
  }
  Lock lock(s.loop);
  const Link now = s.LinkNow();
  if (now != Link::kDown) return now;
  s.DropContext();
  pa_proplist* props = pa_proplist_new();
  pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "letter-quiz");
  pa_proplist_sets(props, PA_PROP_APPLICATION_ID, "letter-quiz");
  s.context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(s.loop),
                                           "letter-quiz", props);
  pa_proplist_free(props);
  if (s.context == nullptr) {
    s.why_down = "cannot make a sound server client";
    return Link::kDown;
  }
  pa_context_set_state_callback(s.context, &State::OnContextState, &s);
  // Never start a server: without one the quiz plays silence.
  if (pa_context_connect(s.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    s.why_down = s.ContextError();
    s.DropContext();
    return Link::kDown;
  }
  return s.LinkNow();
}

SoundOutput::Link SoundOutput::link() const {
  Lock lock(state_->loop);
  return state_->LinkNow();
}

std::string SoundOutput::why_down() const {
  Lock lock(state_->loop);
  return state_->why_down;
}

bool SoundOutput::Start(const DecodedWave& pcm, std::string* error) {
  State& s = *state_;
  Lock lock(s.loop);
  s.StopStream();
  if (s.LinkNow() != Link::kUp) {
    if (error != nullptr) *error = "not connected";
    return false;
  }
  pa_sample_spec spec{};
  spec.format = PA_SAMPLE_S16NE;
  spec.rate = static_cast<std::uint32_t>(std::max(pcm.sample_rate, 0));
  spec.channels = static_cast<std::uint8_t>(std::clamp(pcm.channels, 0, 255));
  if (pcm.channels > static_cast<int>(PA_CHANNELS_MAX) || pa_sample_spec_valid(&spec) == 0) {
    if (error != nullptr) {
      *error = std::to_string(pcm.channels) + " channels at " +
               std::to_string(pcm.sample_rate) + " Hz cannot be played";
    }
    return false;
  }
  s.stream = pa_stream_new(s.context, "recording", &spec, nullptr);
  if (s.stream == nullptr) {
    if (error != nullptr) *error = s.ContextError();
    return false;
  }
  const auto* first = reinterpret_cast<const std::uint8_t*>(pcm.samples.data());
  s.bytes.assign(first, first + pcm.samples.size() * sizeof(std::int16_t));
  s.frame = pa_frame_size(&spec);
  s.written = 0;
  s.why_failed.clear();
  s.play = Play::kStarting;
  pa_stream_set_state_callback(s.stream, &State::OnStreamState, &s);
  pa_stream_set_write_callback(s.stream, &State::OnWrite, &s);
  pa_stream_set_started_callback(s.stream, &State::OnStarted, &s);
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<std::uint32_t>(-1);
  attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetLatencyUs, &spec));
  attr.prebuf = static_cast<std::uint32_t>(-1);
  attr.minreq = static_cast<std::uint32_t>(-1);
  attr.fragsize = static_cast<std::uint32_t>(-1);
  const auto flags = static_cast<pa_stream_flags_t>(
      PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING);
  if (pa_stream_connect_playback(s.stream, nullptr, &attr, flags, nullptr, nullptr) < 0) {
    if (error != nullptr) *error = s.ContextError();
    s.StopStream();
    return false;
  }
  return true;
}

SoundOutput::Play SoundOutput::play() const {
  Lock lock(state_->loop);
  return state_->play;
}

std::string SoundOutput::why_failed() const {
  Lock lock(state_->loop);
  return state_->why_failed;
}

std::int64_t SoundOutput::latency_us() const {
  Lock lock(state_->loop);
  const State& s = *state_;
  if (s.stream == nullptr || pa_stream_get_state(s.stream) != PA_STREAM_READY) return -1;
  pa_usec_t usec = 0;
  int negative = 0;
  if (pa_stream_get_latency(s.stream, &usec, &negative) < 0) return -1;
  return negative != 0 ? 0 : static_cast<std::int64_t>(usec);
}

std::int64_t SoundOutput::output_latency_us() const {
  Lock lock(state_->loop);
  const State& s = *state_;
  if (s.stream == nullptr || pa_stream_get_state(s.stream) != PA_STREAM_READY) return -1;
  const pa_timing_info* timing = pa_stream_get_timing_info(s.stream);
  const pa_buffer_attr* attr = pa_stream_get_buffer_attr(s.stream);
  if (timing == nullptr || attr == nullptr) return -1;
  return static_cast<std::int64_t>(timing->sink_usec + timing->transport_usec +
                                   pa_bytes_to_usec(attr->tlength,
                                                    pa_stream_get_sample_spec(s.stream)));
}

std::optional<std::chrono::steady_clock::time_point> SoundOutput::began() const {
  Lock lock(state_->loop);
  return state_->began;
}

void SoundOutput::Stop() {
  if (state_->loop == nullptr) return;
  Lock lock(state_->loop);
  state_->StopStream();
}

void SoundOutput::Drop() {
  if (state_->loop == nullptr) return;
  Lock lock(state_->loop);
  state_->DropContext();
  state_->why_down = "the sound server stopped answering";
}

}  // namespace lq::qt
