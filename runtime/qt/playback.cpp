// Playback and pauses: the Qt runtime's busy time.
//
// Everything that makes the program wait lives here, so its timing can be
// read in one place.  Each wait is a nested event loop that keeps the
// window painted and drops user input (see QtRuntime::eventFilter).  A
// wait ends on its own condition, re-checked every time a timer wakes it
// or the sound thread has news; a timer that wakes early only re-arms for
// the rest.  All timers are precise: a coarse Qt timer may fire up to 5 %
// early.
//
// - Pause: until a deadline `units` milliseconds after the call.
// - PlayWaveFromMemory: the whole recording is handed to the sound server,
//   which is then asked to drain the stream; the play ends when the drain
//   has completed and the latency the server reports then (what the output
//   still holds) has passed, so the last sample has been played out before
//   the stream goes.  A guard about a second past the recording's length
//   plus the reported latency ends the wait when the server stops
//   answering; the connection is then dropped and made again later.
// - No sound server (none at start, lost, or not answering): the
//   recording's length in silence, counted from the call, so the quiz
//   keeps its rhythm.  Every play tries to connect again first; a refused
//   connection costs no waiting.  stderr says once that the sound is gone
//   and once that it is back.
// - The first paint: LoadForm waits, briefly, until the window has been
//   painted once, so the window shows before the first sound's output is
//   opened.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <climits>

#include "runtime/qt/qt_runtime.h"
#include "runtime/qt/report.h"
#include "runtime/qt/sound_output.h"
#include "runtime/qt/wave.h"

namespace lq::qt {

namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;
// Past the recording's length and the reported latency: a server that has
// stopped answering.
constexpr std::int64_t kAudioGuardNs = 1000 * kNsPerMs;
// A reported latency above this is not believed for the guard.
constexpr std::int64_t kMaxLatencyNs = 5000 * kNsPerMs;
// How long a connection that the server took but does not answer on may
// hold up a play.  A refused one ends the wait at once.
constexpr std::int64_t kConnectGuardNs = 1000 * kNsPerMs;
// How long the start waits for the window's first paint at most.
constexpr std::int64_t kFirstPaintGuardMs = 500;

// Whole milliseconds, rounded up, so a wake never comes before its time.
std::int64_t CeilMs(std::int64_t ns) { return (ns + 999'999) / 1'000'000; }

}  // namespace

void QtRuntime::RunBusy(const std::function<std::int64_t()>& step,
                        std::function<void()>* poke) {
  if (closed_) return;
  QEventLoop loop;
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  bool over = false;
  bool running = false;
  const std::function<void()> check = [&] {
    if (over) return;
    const std::int64_t wait_ms = closed_ ? -1 : step();
    if (wait_ms < 0) {
      over = true;
      wake.stop();
      if (running) loop.quit();
      return;
    }
    wake.start(static_cast<int>(std::min<std::int64_t>(wait_ms, INT_MAX)));
  };
  connect(&wake, &QTimer::timeout, &loop, [&check] { check(); });
  check();
  if (over) return;
  if (poke != nullptr) *poke = check;
  QEventLoop* outer = busy_loop_;
  busy_loop_ = &loop;
  ++busy_;
  running = true;
  loop.exec();
  running = false;
  --busy_;
  busy_loop_ = outer;
  if (poke != nullptr) *poke = nullptr;
}

void QtRuntime::BusyFor(std::int64_t ms) {
  if (closed_ || ms <= 0) return;
  const QDeadlineTimer deadline(std::chrono::milliseconds(ms), Qt::PreciseTimer);
  RunBusy([&]() -> std::int64_t {
    const std::int64_t left = deadline.remainingTimeNSecs();
    return left <= 0 ? -1 : CeilMs(left);
  });
}

void QtRuntime::Pause(std::int32_t units) { BusyFor(units); }

void QtRuntime::WaitForFirstPaint() {
  if (painted_ || window_ == nullptr || closed_) return;
  QElapsedTimer clock;
  clock.start();
  RunBusy(
      [&]() -> std::int64_t {
        if (painted_) return -1;
        const std::int64_t left = kFirstPaintGuardMs - clock.elapsed();
        return left <= 0 ? -1 : left;
      },
      &on_paint_);
}

SoundOutput& QtRuntime::Sound() {
  if (sound_ == nullptr) {
    // News from the sound thread re-checks the wait that runs, if any, on
    // this thread.
    sound_ = std::make_unique<SoundOutput>([this] {
      QMetaObject::invokeMethod(
          this, [this] { if (sound_poke_) sound_poke_(); }, Qt::QueuedConnection);
    });
  }
  return *sound_;
}

void QtRuntime::SoundIsUp() {
  if (heard_ == Heard::kDown) {
    Report("the sound server is back; recordings are heard again");
  }
  heard_ = Heard::kUp;
}

void QtRuntime::SoundIsDown(const std::string& why) {
  if (heard_ == Heard::kUnknown) {
    Report("no sound server (" + why +
           "); recordings are replaced by silence of the same length");
  } else if (heard_ == Heard::kUp) {
    Report("the sound went away (" + why +
           "); recordings are replaced by silence of the same length until it is back");
  }
  heard_ = Heard::kDown;
}

int QtRuntime::PlayWaveFromMemory(const std::string& wave, std::int32_t flags) {
  if (flags != 4) return kErrInvalidArgument;  // from memory, waiting
  DecodedWave pcm;
  std::string error;
  if (!DecodeWave(wave, pcm, &error)) {
    Report("cannot play a recording: " + error);
    return kErrAudio;
  }
  if (closed_ || pcm.frames == 0) return kOk;
  const std::int64_t length_ns =
      (pcm.frames * 1'000'000'000 + pcm.sample_rate - 1) / pcm.sample_rate;

  // One clock for this call and the sound thread's reports.
  using Clock = std::chrono::steady_clock;
  const Clock::time_point call = Clock::now();
  const auto since_call = [call](Clock::time_point t) -> std::int64_t {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t - call).count();
  };
  SoundOutput& out = Sound();
  // An attempt that the server took but never answered is given up for a
  // fresh one, which the server may answer by now.
  if (out.link() == SoundOutput::Link::kConnecting &&
      connecting_since_.nsecsElapsed() >= kConnectGuardNs) {
    out.Drop();
  }
  const bool was_connecting = out.link() == SoundOutput::Link::kConnecting;
  if (out.Connect() == SoundOutput::Link::kConnecting && !was_connecting) {
    connecting_since_.start();
  }

  enum class Phase { kConnect, kPlay, kPlayOut, kSilence } phase = Phase::kConnect;
  std::int64_t started_ns = 0;  // when the stream was asked for
  std::int64_t latency_ns = 0;  // the output's, the largest reported
  std::int64_t end_ns = 0;      // kPlayOut: when the output has played it all
  const auto step = [&]() -> std::int64_t {
    const std::int64_t now = since_call(Clock::now());
    if (phase == Phase::kConnect) {
      const SoundOutput::Link link = out.link();
      if (link == SoundOutput::Link::kUp) {
        SoundIsUp();
        std::string why;
        if (out.Start(pcm, &why)) {
          phase = Phase::kPlay;
          started_ns = now;
        } else {
          if (!said_unplayable_) {
            said_unplayable_ = true;
            Report("the sound server cannot play a recording (" + why +
                   "); it is replaced by silence of the same length");
          }
          phase = Phase::kSilence;
        }
      } else if (link == SoundOutput::Link::kDown) {
        SoundIsDown(out.why_down());
        phase = Phase::kSilence;
      } else if (connecting_since_.nsecsElapsed() >= kConnectGuardNs) {
        SoundIsDown("the sound server takes the connection but does not answer");
        phase = Phase::kSilence;
      } else {
        return CeilMs(kConnectGuardNs - connecting_since_.nsecsElapsed());
      }
    }
    if (phase == Phase::kPlay) {
      const SoundOutput::Play play = out.play();
      const std::int64_t output_us = out.output_latency_us();
      if (output_us > 0) {
        latency_ns = std::max(latency_ns, std::min(output_us * 1000, kMaxLatencyNs));
      }
      if (play == SoundOutput::Play::kFailed) {
        if (out.link() == SoundOutput::Link::kUp) {
          if (!said_unplayable_) {
            said_unplayable_ = true;
            Report("the sound server could not play a recording (" + out.why_failed() +
                   "); it is replaced by silence of the same length");
          }
        } else {
          SoundIsDown(out.why_down());
        }
        out.Stop();
        phase = Phase::kSilence;
      } else if (play == SoundOutput::Play::kDrained) {
        // The server has taken the last sample; the output plays what it
        // still holds.  And nothing has played out sooner than its length
        // after the server began playing it.
        end_ns = now + std::max<std::int64_t>(out.latency_us(), 0) * 1000;
        const auto began = out.began();
        end_ns = std::max(end_ns, (began ? since_call(*began) : started_ns) + length_ns);
        end_ns = std::min(end_ns, started_ns + length_ns + latency_ns + kAudioGuardNs);
        phase = Phase::kPlayOut;
      } else {
        const std::int64_t guard_ns = started_ns + length_ns + latency_ns + kAudioGuardNs;
        if (now < guard_ns) return CeilMs(guard_ns - now);
        // The server stopped answering (stopped, or hung): drop the
        // connection, so the next play makes a new one.
        out.Drop();
        SoundIsDown("the sound server stopped answering");
        return -1;
      }
    }
    if (phase == Phase::kPlayOut) return now >= end_ns ? -1 : CeilMs(end_ns - now);
    // Silence: the recording's length, counted from the call.
    return now >= length_ns ? -1 : CeilMs(length_ns - now);
  };
  RunBusy(step, &sound_poke_);
  out.Stop();
  return kOk;
}

}  // namespace lq::qt
