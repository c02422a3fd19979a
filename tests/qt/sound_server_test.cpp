// Playing recordings on a real sound server: a private PulseAudio server
// with a null sink whose monitor is recorded, so a test can tell what was
// heard.  The server is killed, stopped and started again under the quiz.
#include <QThread>
#include <QTimer>

#include <chrono>
#include <optional>
#include <sstream>

#include "runtime/qt/wave.h"
#include "tests/qt/qt_fixture.h"
#include "tests/qt/sound_server.h"

namespace lq::testing {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// stderr held exactly one line, and it begins with `start`.
::testing::AssertionResult OneLine(const std::string& err, const std::string& start) {
  const std::vector<std::string> lines = Lines(err);
  if (lines.size() == 1 && lines[0].rfind(start, 0) == 0) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "expected one line beginning \"" << start
                                       << "\", stderr was:\n" << err;
}

const char* const kBack = "letter-quiz: the sound server is back; recordings are heard again";

std::vector<std::int16_t> Samples(const std::string& wave) {
  qt::DecodedWave pcm;
  std::string error;
  EXPECT_TRUE(qt::DecodeWave(wave, pcm, &error)) << error;
  return pcm.samples;
}

class SoundServerTest : public QtRuntimeTest {
 protected:
  void SetUp() override {
    const std::string missing = SoundServer::Missing();
    if (!missing.empty()) GTEST_SKIP() << "no private sound server here: " << missing << " missing";
    server_.emplace();
    QtRuntimeTest::SetUp();
  }

  void TearDown() override {
    QtRuntimeTest::TearDown();  // the runtime's client goes first
    server_.reset();
  }

  struct Play {
    int status = 0;
    std::chrono::nanoseconds took{};
    std::string err;  // what the runtime said on stderr
  };

  Play PlayRecording(const std::string& wave) {
    Play p;
    ::testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    p.status = runtime_->PlayWaveFromMemory(wave, 4);
    p.took = std::chrono::steady_clock::now() - start;
    p.err = ::testing::internal::GetCapturedStderr();
    return p;
  }

  // Plays `wave` while the sink is recorded; true when the recording's
  // samples were heard, whole.  The capture lags the sink a little, so it
  // is read until they show or a generous bound has passed.
  bool PlayHeard(const std::string& wave, Play* play) {
    std::string error;
    if (!server_->StartCapture(&error)) {
      ADD_FAILURE() << error;
      return false;
    }
    *play = PlayRecording(wave);
    const std::vector<std::int16_t> samples = Samples(wave);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool heard = false;
    while (!heard && std::chrono::steady_clock::now() < deadline) {
      QThread::msleep(50);
      heard = Contains(server_->Captured(), samples);
    }
    server_->StopCapture();
    return heard;
  }

  std::optional<SoundServer> server_;
};

std::chrono::nanoseconds LengthOf(const std::string& wave) {
  qt::DecodedWave pcm;
  EXPECT_TRUE(qt::DecodeWave(wave, pcm, nullptr));
  return std::chrono::nanoseconds(pcm.frames * 1'000'000'000 / pcm.sample_rate);
}

TEST_F(SoundServerTest, ARecordingIsPlayedWholeAndTheCallEndsAfterIt) {
  std::string error;
  ASSERT_TRUE(server_->Start(&error)) << error;
  const std::string hey = EmbeddedContent(":hey");
  for (int round = 0; round < 2; ++round) {
    Play play;
    EXPECT_TRUE(PlayHeard(hey, &play)) << "round " << round << ": not heard whole";
    EXPECT_EQ(play.status, kOk);
    EXPECT_GE(play.took, LengthOf(hey));
    EXPECT_LT(play.took, LengthOf(hey) + std::chrono::seconds(10));
    EXPECT_EQ(play.err, "") << "nothing is said per play";
  }
  // The stream is gone once the call has returned.
  EXPECT_EQ(server_->SinkInputs(), std::vector<std::string>{});
}

TEST_F(SoundServerTest, AServerKilledDuringAPlayEndsItAndTheNextPlayAfterItsReturnIsHeard) {
  std::string error;
  ASSERT_TRUE(server_->Start(&error)) << error;
  const std::string hey = EmbeddedContent(":hey");
  Play play;
  ASSERT_TRUE(PlayHeard(hey, &play));

  // Killed once the stream plays.
  const std::string shinsin = EmbeddedContent(":shinsin");
  bool killed = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!killed && !server_->SinkInputs().empty()) {
      server_->Kill();
      killed = true;
    }
  });
  poll.start(20);
  play = PlayRecording(shinsin);
  poll.stop();
  ASSERT_TRUE(killed) << "the stream never reached the server";
  EXPECT_EQ(play.status, kOk);
  EXPECT_GE(play.took, LengthOf(shinsin)) << "the rest of it is silence";
  EXPECT_EQ(runtime_->TestKeepRunning(), -1);
  EXPECT_TRUE(OneLine(play.err, "letter-quiz: the sound went away ("));

  // Without the server: silence of the recording's length, nothing said.
  play = PlayRecording(hey);
  EXPECT_EQ(play.status, kOk);
  EXPECT_GE(play.took, LengthOf(hey));
  EXPECT_EQ(play.err, "");

  // Back on the same socket: the first play is heard, and said so once.
  ASSERT_TRUE(server_->Start(&error)) << error;
  EXPECT_TRUE(PlayHeard(hey, &play));
  EXPECT_TRUE(OneLine(play.err, kBack));
  EXPECT_TRUE(PlayHeard(hey, &play));
  EXPECT_EQ(play.err, "");
}

TEST_F(SoundServerTest, NoServerAtStartIsSaidOnceAndOneThatComesLaterIsUsed) {
  const std::string hey = EmbeddedContent(":hey");
  Play play = PlayRecording(hey);
  EXPECT_EQ(play.status, kOk);
  EXPECT_GE(play.took, LengthOf(hey)) << "silence of the recording's length";
  EXPECT_TRUE(OneLine(play.err, "letter-quiz: no sound server ("));
  play = PlayRecording(hey);
  EXPECT_EQ(play.err, "");

  std::string error;
  ASSERT_TRUE(server_->Start(&error)) << error;
  EXPECT_TRUE(PlayHeard(hey, &play));
  EXPECT_TRUE(OneLine(play.err, kBack));
}

// A stopped server answers nothing: the play ends by its guard, the
// following ones do not wait on it, and once it runs again it is heard.
TEST_F(SoundServerTest, AServerThatStopsAnsweringDoesNotHoldTheQuiz) {
  std::string error;
  ASSERT_TRUE(server_->Start(&error)) << error;
  const std::string hey = EmbeddedContent(":hey");
  Play play;
  ASSERT_TRUE(PlayHeard(hey, &play));

  server_->Freeze();
  play = PlayRecording(hey);
  EXPECT_EQ(play.status, kOk);
  EXPECT_LT(play.took, LengthOf(hey) + std::chrono::seconds(30));
  EXPECT_EQ(runtime_->TestKeepRunning(), -1);
  EXPECT_TRUE(OneLine(play.err,
                      "letter-quiz: the sound went away (the sound server stopped answering)"));
  // Still stopped: the next plays keep the rhythm and say nothing more.
  for (int i = 0; i < 2; ++i) {
    play = PlayRecording(hey);
    EXPECT_EQ(play.status, kOk);
    EXPECT_GE(play.took, LengthOf(hey));
    EXPECT_EQ(play.err, "");
  }

  server_->Thaw();
  EXPECT_TRUE(PlayHeard(hey, &play)) << "the first play after the server ran again";
  EXPECT_TRUE(OneLine(play.err, kBack));
}

}  // namespace
}  // namespace lq::testing
