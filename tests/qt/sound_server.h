// A private PulseAudio server for the tests: its own folders and socket in a
// temporary folder, one null sink at 22,050 Hz mono (the letter recordings'
// own format, so what the sink plays is the recordings' samples as they
// are), no hardware, no session bus, never the desktop's own server.  The
// test process is pointed at it through PULSE_SERVER and friends, which the
// sound client reads whenever it connects.
#pragma once

#include <QProcess>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lq::testing {

class SoundServer {
 public:
  // Empty when pulseaudio, pactl and parec are all there; else what is
  // missing, for a skip message.
  static std::string Missing();

  SoundServer();
  ~SoundServer();

  // Starts the server (again, on the same socket) and waits until its sink
  // answers.  False, with *error, when it does not come up.
  bool Start(std::string* error);
  // SIGKILL, as a crash; waits until the process is gone.
  void Kill();
  // SIGSTOP and SIGCONT: a server that stops answering, and comes back.
  void Freeze();
  void Thaw();

  // Records the sink's monitor until StopCapture, which returns the
  // samples recorded (22,050 Hz mono 16-bit).
  bool StartCapture(std::string* error);
  std::vector<std::int16_t> StopCapture();
  // What the capture holds so far; it goes on.
  std::vector<std::int16_t> Captured() const;

  // The streams playing on the server now (pactl's sink-input lines).
  std::vector<std::string> SinkInputs();

 private:
  // Where a sound client finds this server: for this process, and for
  // the server and the tools (Environment).
  std::vector<std::pair<std::string, QString>> ClientEnvironment() const;
  QProcessEnvironment Environment() const;
  bool Pactl(const QStringList& args, QByteArray* out = nullptr);

  QTemporaryDir dir_;
  std::unique_ptr<QProcess> server_;
  std::unique_ptr<QProcess> capture_;
  std::vector<std::pair<std::string, std::string>> saved_env_;
};

// Whether `samples` stand in `capture`, whole and in order.
bool Contains(const std::vector<std::int16_t>& capture,
              const std::vector<std::int16_t>& samples);

}  // namespace lq::testing
