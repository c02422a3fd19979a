// Playing recordings from memory and pausing: bad buffers, input dropped
// while busy, the window closed while busy.
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>
#include <QWheelEvent>

#include <climits>
#include <cstdint>

#include "runtime/qt/wave.h"
#include "tests/qt/qt_fixture.h"

namespace lq::testing {
namespace {

using Log = std::vector<std::string>;

// Ten seconds past the end of a wait: a wait that ends that late did not
// end on its own condition, however busy the machine.
constexpr qint64 kLongPastNs = 10'000'000'000;

TEST(WaveTest, DecodesThePcmAndAdpcmRecordings) {
  qt::DecodedWave pcm;
  std::string error;
  ASSERT_TRUE(qt::DecodeWave(EmbeddedContent(":hey"), pcm, &error)) << error;
  EXPECT_EQ(pcm.sample_rate, 22050);
  EXPECT_EQ(pcm.channels, 1);
  EXPECT_EQ(pcm.frames, (25654 - 46) / 2);
  EXPECT_EQ(pcm.samples.size(), static_cast<std::size_t>(pcm.frames));
  EXPECT_EQ(pcm.DurationMs(), 581);

  qt::DecodedWave adpcm;
  ASSERT_TRUE(qt::DecodeWave(EmbeddedContent(":online"), adpcm, &error)) << error;
  EXPECT_EQ(adpcm.sample_rate, 11025);
  EXPECT_EQ(adpcm.channels, 1);
  // Whole blocks: 36 of 500 samples, of which the last 222 pad the sound.
  EXPECT_EQ(adpcm.frames, 36 * 500);
  EXPECT_NE(std::count(adpcm.samples.begin(), adpcm.samples.end(), 0),
            static_cast<std::ptrdiff_t>(adpcm.samples.size()));
}

std::vector<std::pair<std::string, std::string>> BadBuffers() {
  const std::string hey = EmbeddedContent(":hey");
  std::string other_riff = hey;
  other_riff.replace(8, 4, "AVI ");
  std::string bad_format = hey;
  bad_format[20] = 0x55;  // a format tag libsndfile has no decoder for
  bad_format[21] = 0x7A;
  return {
      {"empty", ""},
      {"text", "this is not a sound at all, only words"},
      {"RIFF alone", "RIFF"},
      {"header cut", hey.substr(0, 30)},
      {"data cut", hey.substr(0, 1000)},
      {"no samples left", hey.substr(0, 46)},
      {"RIFF, not WAVE", other_riff},
      {"unknown format tag", bad_format},
  };
}

using PlaybackTest = QtRuntimeTest;

TEST_F(PlaybackTest, UndecodableBuffersFailAtOnce) {
  for (const auto& [what, buffer] : BadBuffers()) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(runtime_->PlayWaveFromMemory(buffer, 4), kErrAudio) << what;
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("cannot play"), std::string::npos) << what << ": " << err;
  }
  EXPECT_EQ(runtime_->PlayWaveFromMemory(EmbeddedContent(":hey"), 0), kErrInvalidArgument);
}

// The tests have no sound server, so a play is silence of the recording's
// length: it returns once that has passed, and not long after.
TEST_F(PlaybackTest, PlaysARecordingToItsEnd) {
  for (const char* name : {":hey", ":online"}) {
    const std::string wave = EmbeddedContent(name);
    qt::DecodedWave pcm;
    std::string error;
    ASSERT_TRUE(qt::DecodeWave(wave, pcm, &error)) << name << ": " << error;
    const qint64 length_ns = pcm.frames * 1'000'000'000 / pcm.sample_rate;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(runtime_->PlayWaveFromMemory(wave, 4), kOk) << name;
    const qint64 took_ns = clock.nsecsElapsed();
    EXPECT_GE(took_ns, length_ns) << name;
    EXPECT_LT(took_ns, length_ns + kLongPastNs) << name << ": it played on past its end";
  }
  EXPECT_EQ(runtime_->TestKeepRunning(), -1);
}

TEST_F(PlaybackTest, PauseWaitsTheMilliseconds) {
  QElapsedTimer clock;
  clock.start();
  runtime_->Pause(440);
  const qint64 took_ns = clock.nsecsElapsed();
  EXPECT_GE(took_ns, 440'000'000);
  EXPECT_LT(took_ns, 440'000'000 + kLongPastNs) << "the pause went on";
}

// A pause of no time, or less, returns at once: it runs no event loop, so
// a timer that was due before the call has not fired when it returns.
TEST_F(PlaybackTest, APauseOfNoTimeRunsNoEventLoop) {
  for (const std::int32_t units : {0, -5, INT32_MIN}) {
    QObject context;
    bool loop_ran = false;
    QTimer::singleShot(0, &context, [&] { loop_ran = true; });
    runtime_->Pause(units);
    EXPECT_FALSE(loop_ran) << "Pause(" << units << ") ran the event loop";
    QCoreApplication::processEvents();
    EXPECT_TRUE(loop_ran) << units;  // the timer was due
  }
}

// Clicks, keys and the wheel while busy: all of them sent or posted and
// delivered within the busy time.
void SendInputWhileBusy(QWidget* lbl5, QWidget* lbl6, QPushButton* cmd1) {
  Click(lbl5);
  Click(cmd1);
  const QPointF at(lbl6->rect().center());
  QCoreApplication::postEvent(lbl6, new QMouseEvent(QEvent::MouseButtonPress, at,
                                                    lbl6->mapToGlobal(at), Qt::LeftButton,
                                                    Qt::LeftButton, Qt::NoModifier));
  QCoreApplication::postEvent(lbl6, new QMouseEvent(QEvent::MouseButtonRelease, at,
                                                    lbl6->mapToGlobal(at), Qt::LeftButton,
                                                    Qt::NoButton, Qt::NoModifier));
  QCoreApplication::sendPostedEvents();
  cmd1->setFocus(Qt::TabFocusReason);
  QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
  QKeyEvent space_up(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
  QApplication::sendEvent(cmd1, &space);
  QApplication::sendEvent(cmd1, &space_up);
  QWheelEvent wheel(at, lbl6->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(lbl6, &wheel);
}

TEST_F(PlaybackTest, InputDuringAPauseIsDropped) {
  bool sent = false;
  QTimer::singleShot(0, runtime_->window(), [&] {
    SendInputWhileBusy(W("lbl5"), W("lbl6"), Button("cmd1"));
    sent = true;
  });
  runtime_->Pause(300);
  ASSERT_TRUE(sent);
  QCoreApplication::processEvents();
  EXPECT_EQ(HandlerLog(), Log{});
  Click(W("lbl5"));  // and afterwards input counts again
  EXPECT_EQ(HandlerLog(), Log{"lbl5_Click"});
}

TEST_F(PlaybackTest, InputDuringAPlaybackIsDropped) {
  bool sent = false;
  QTimer::singleShot(0, runtime_->window(), [&] {
    SendInputWhileBusy(W("lbl5"), W("lbl6"), Button("cmd1"));
    sent = true;
  });
  EXPECT_EQ(runtime_->PlayWaveFromMemory(EmbeddedContent(":hey"), 4), kOk);
  ASSERT_TRUE(sent);
  QCoreApplication::processEvents();
  EXPECT_EQ(HandlerLog(), Log{});
}

TEST_F(PlaybackTest, NoHandlerRunsWhileBusy) {
  QWidget* window = runtime_->window();
  window->activateWindow();
  QCoreApplication::processEvents();
  Button("cmd1")->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(Button("cmd1")->hasFocus());
  QTimer::singleShot(0, window, [&] { Button("cmd2")->setFocus(Qt::TabFocusReason); });
  runtime_->Pause(100);
  EXPECT_TRUE(Button("cmd2")->hasFocus());
  EXPECT_EQ(HandlerLog(), Log{});  // cmd1 lost the focus, but no handler ran
}

TEST_F(PlaybackTest, TheWindowRepaintsWhileBusy) {
  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++paints;
      return false;
    }
  } counter;
  W("lbl55")->installEventFilter(&counter);
  QCoreApplication::processEvents();
  counter.paints = 0;
  ASSERT_EQ(runtime_->SetCaption(Ref("lbl55"), u"A"), kOk);
  runtime_->Pause(50);
  EXPECT_GT(counter.paints, 0);
  W("lbl55")->removeEventFilter(&counter);
}

// A mono 16-bit PCM WAVE image of `seconds` of a quiet tone.
std::string LongWave(int seconds) {
  const std::uint32_t rate = 22050;
  const std::uint32_t data = rate * 2 * static_cast<std::uint32_t>(seconds);
  std::string w;
  auto put32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) w.push_back(static_cast<char>(v >> (8 * i)));
  };
  auto put16 = [&](std::uint32_t v) {
    for (int i = 0; i < 2; ++i) w.push_back(static_cast<char>(v >> (8 * i)));
  };
  w += "RIFF";
  put32(38 + data);
  w += "WAVEfmt ";
  put32(18);
  put16(1);
  put16(1);
  put32(rate);
  put32(rate * 2);
  put16(2);
  put16(16);
  put16(0);
  w += "data";
  put32(data);
  for (std::uint32_t i = 0; i < data / 2; ++i) {
    put16(static_cast<std::uint16_t>(static_cast<std::int16_t>((i / 25) % 2 ? 300 : -300)));
  }
  return w;
}

// A close ends a 30 s recording long before its end, and nothing waits
// after it.
TEST_F(PlaybackTest, ClosingTheWindowEndsThePlaybackAndLaterWaits) {
  const std::string long_wave = LongWave(30);
  QTimer::singleShot(200, runtime_->window(), [&] { runtime_->window()->close(); });
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(runtime_->PlayWaveFromMemory(long_wave, 4), kOk);
  EXPECT_LT(clock.elapsed(), 5000) << "the recording played on after the close";
  EXPECT_EQ(runtime_->TestKeepRunning(), 0);

  // After the close neither a pause nor a recording runs an event loop.
  bool loop_ran = false;
  QTimer::singleShot(0, [&] { loop_ran = true; });
  runtime_->Pause(60000);
  EXPECT_EQ(runtime_->PlayWaveFromMemory(long_wave, 4), kOk);
  EXPECT_FALSE(loop_ran);
  EXPECT_LT(clock.elapsed(), 5000);
  // A bad buffer still fails.
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(runtime_->PlayWaveFromMemory("junk", 4), kErrAudio);
  ::testing::internal::GetCapturedStderr();
  QCoreApplication::processEvents();
  EXPECT_TRUE(loop_ran);
}

TEST_F(PlaybackTest, ClosingTheWindowEndsAPause) {
  QTimer::singleShot(200, runtime_->window(), [&] { runtime_->window()->close(); });
  QElapsedTimer clock;
  clock.start();
  runtime_->Pause(30000);
  EXPECT_LT(clock.elapsed(), 5000) << "the pause went on after the close";
  EXPECT_EQ(runtime_->TestKeepRunning(), 0);
}

}  // namespace
}  // namespace lq::testing
