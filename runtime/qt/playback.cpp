// Playback and pauses: the Qt runtime's busy time.
//
// Everything that makes the program wait lives here, so its timing can be
// read in one place.  Each wait is a nested event loop that keeps the
// window painted and drops user input (see QtRuntime::eventFilter).  A
// wait ends on its own condition, re-checked every time a timer wakes it;
// a timer that wakes early only re-arms for the rest.  All timers are
// precise: a coarse Qt timer may fire up to 5 % early.
//
// - Pause: until a deadline `units` milliseconds after the call.
// - PlayWaveFromMemory: until the sink has taken all of the sound and the
//   sound's duration plus the output's own buffer has passed since the
//   start, so the last sample has left the output.  A guard one second
//   later ends the wait only when the output stops reporting.
// - No audio output: the recording's duration, as a pause.
// - The first paint: LoadForm waits, briefly, until the window has been
//   painted once, so the window shows before the first sound's output is
//   opened.
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMediaDevices>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <climits>

#include "runtime/qt/qt_runtime.h"
#include "runtime/qt/report.h"
#include "runtime/qt/wave.h"

namespace lq::qt {

namespace {

// Past the sound's end: an output that has stopped reporting.
constexpr std::int64_t kAudioGuardMs = 1000;
constexpr std::int64_t kMaxOutputLatencyMs = 500;
// The output buffer asked for: short, so that the sound's end is near the
// moment the sink has taken the last data.
constexpr int kOutputBufferMs = 100;
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

void QtRuntime::WaitWithoutAudio(int duration_ms, const std::string& why) {
  if (!said_no_audio_) {
    said_no_audio_ = true;
    Report(why + "; recordings are replaced by silence of the same length");
  }
  BusyFor(duration_ms);
}

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

int QtRuntime::PlayWaveFromMemory(const std::string& wave, std::int32_t flags) {
  if (flags != 4) return kErrInvalidArgument;  // from memory, waiting
  DecodedWave pcm;
  std::string error;
  if (!DecodeWave(wave, pcm, &error)) {
    Report("cannot play a recording: " + error);
    return kErrAudio;
  }
  if (closed_ || pcm.frames == 0) return kOk;
  const int duration_ms = pcm.DurationMs();

  QAudioFormat format;
  format.setSampleRate(pcm.sample_rate);
  format.setChannelCount(pcm.channels);
  format.setSampleFormat(QAudioFormat::Int16);
  const QAudioDevice device = QMediaDevices::defaultAudioOutput();
  if (device.isNull()) {
    WaitWithoutAudio(duration_ms, "no audio output");
    return kOk;
  }
  if (!device.isFormatSupported(format)) {
    WaitWithoutAudio(duration_ms, "the audio output cannot play " +
                                      std::to_string(pcm.sample_rate) + " Hz 16-bit");
    return kOk;
  }

  QByteArray bytes(reinterpret_cast<const char*>(pcm.samples.data()),
                   static_cast<qsizetype>(pcm.samples.size() * sizeof(std::int16_t)));
  QBuffer source(&bytes);
  source.open(QIODevice::ReadOnly);
  QAudioSink sink(device, format);
  const int bytes_per_second = format.bytesForFrames(pcm.sample_rate);
  if (bytes_per_second > 0) sink.setBufferSize(bytes_per_second * kOutputBufferMs / 1000);

  bool drained = false;
  std::function<void()> poke;
  QObject context;  // ends the connection with this call
  connect(&sink, &QAudioSink::stateChanged, &context, [&](QAudio::State state) {
    if (state == QAudio::IdleState || state == QAudio::StoppedState) {
      drained = true;
      if (poke) poke();
    }
  });
  QElapsedTimer clock;
  clock.start();
  sink.start(&source);
  if (sink.error() != QAudio::NoError || sink.state() == QAudio::StoppedState) {
    sink.disconnect(&context);
    sink.stop();
    WaitWithoutAudio(duration_ms, "the audio output does not start");
    return kOk;
  }
  // The sound, then what the output still holds once the sink has taken
  // the last data.
  std::int64_t play_ms = duration_ms;
  if (bytes_per_second > 0) {
    play_ms += std::clamp<std::int64_t>(
        std::int64_t{sink.bufferSize()} * 1000 / bytes_per_second, 0, kMaxOutputLatencyMs);
  }
  const std::int64_t guard_ms = play_ms + kAudioGuardMs;
  bool stuck = false;
  RunBusy(
      [&]() -> std::int64_t {
        const std::int64_t now_ns = clock.nsecsElapsed();
        const std::int64_t play_ns = play_ms * 1'000'000;
        const std::int64_t guard_ns = guard_ms * 1'000'000;
        if (drained && now_ns >= play_ns) return -1;
        if (now_ns >= guard_ns) {
          stuck = true;
          return -1;
        }
        // Early, or played but not yet drained: wait the rest.
        return CeilMs((now_ns < play_ns ? play_ns : guard_ns) - now_ns);
      },
      &poke);
  sink.disconnect(&context);
  sink.stop();
  if (stuck && !said_output_stuck_) {
    said_output_stuck_ = true;
    Report("the audio output stopped reporting its progress; a recording was cut off "
           "after its time");
  }
  return kOk;
}

}  // namespace lq::qt
