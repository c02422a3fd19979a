// The sound server's client: one connection to the server (PulseAudio, or
// PipeWire's PulseAudio service) and at most one recording playing on it.
//
// libpulse runs its own thread (a threaded main loop).  Nothing here ever
// waits: every call starts something or reads how far it got, and `wake`
// is called from the sound thread whenever that changed, so the caller can
// look again.  The caller does the waiting, with its own bounds.
//
// The server is never started on demand (no autospawn).  A connection that
// failed or was lost is made again at the next Connect().
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace lq::qt {

struct DecodedWave;

class SoundOutput {
 public:
  enum class Link { kDown, kConnecting, kUp };
  enum class Play {
    kNone,      // no recording started
    kStarting,  // the stream is being set up, or the samples are being written
    kDraining,  // all of it written; the server is playing the rest
    kDrained,   // the server has taken all of it; what it still holds
                // plays out within latency_us()
    kFailed,    // the stream failed or the connection was lost
  };

  // `wake` is called on the sound thread; it must only hand the news over
  // to the thread that waits (it may not call back into this object).
  explicit SoundOutput(std::function<void()> wake);
  ~SoundOutput();
  SoundOutput(const SoundOutput&) = delete;
  SoundOutput& operator=(const SoundOutput&) = delete;

  // Starts connecting unless a connection is up or being made; returns the
  // state after that.  A refused connection is reported by a later link().
  Link Connect();
  Link link() const;
  // Why the last connection could not be made or was lost.
  std::string why_down() const;

  // Starts playing `pcm` (16-bit samples) on the default output; needs the
  // link up.  On false, *error says why (the server refused the format).
  bool Start(const DecodedWave& pcm, std::string* error);
  Play play() const;
  // Why the recording failed (kFailed).
  std::string why_failed() const;
  // How long the output still needs to play what it holds, as the server
  // reports it, in microseconds; -1 while it has reported nothing.
  std::int64_t latency_us() const;
  // The output's own latency (the sink's and the stream's buffer), without
  // the recording still queued; -1 while unknown.
  std::int64_t output_latency_us() const;
  // When the server said it began playing the recording (steady clock), if
  // it has said so.
  std::optional<std::chrono::steady_clock::time_point> began() const;
  // Ends the recording (at once, when it is still playing) and frees it.
  void Stop();
  // Stops and drops the connection; the next Connect() makes a new one.
  void Drop();

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace lq::qt
