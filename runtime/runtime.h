// The one interface between the quiz and the platform it runs on.
//
// Everything the program does outside plain computation goes through a
// Runtime: the window and its controls, the event loop, sound, files, the
// embedded resources, random numbers and pauses.  Two implementations exist:
// the Qt runtime that users run (runtime/qt) and a recording test double
// (runtime/double).
//
// Conventions
// - Control operations return an int status; a negative status is a failure.
// - The runtime's false and true are 0 and -1.
// - Texts of the program are 8-bit std::string; texts handed to controls are
//   UTF-16 std::u16string.
// - Sizes, values and extents are 32-bit floats; colours are 32-bit values
//   (high bit set: a system colour index, else RGB with red in the low byte).
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace lq {

inline constexpr std::int16_t kFalse = 0;
inline constexpr std::int16_t kTrue = -1;

// Status values the runtimes return.  Any negative value is a failure.
inline constexpr int kOk = 0;
inline constexpr int kErrInvalidControl = -1;   // no such control, or wrong kind
inline constexpr int kErrInvalidArgument = -2;  // e.g. non-finite font size
inline constexpr int kErrNotFound = -3;         // unknown resource or path
inline constexpr int kErrChannel = -4;          // channel misuse
inline constexpr int kErrIo = -5;               // file system failure
inline constexpr int kErrAudio = -6;            // buffer is not playable
inline constexpr int kErrForm = -7;             // malformed form definition

// A reference to the form or one of its controls.  0 refers to nothing;
// only the runtime hands out other values (LoadForm fills them).
using ControlRef = std::uint32_t;
inline constexpr ControlRef kNoControl = 0;

using Colour = std::uint32_t;

// Number of control references: the form and its 36 controls.
inline constexpr int kControlCount = 37;

// What the program hands to the runtime's start routine.
struct ProgramImage {
  // The embedded resource set, laid out as the build packs it.
  std::span<const std::uint8_t> resources;
  // The stored event table: count, name offsets, second-text offsets,
  // handler indexes (into `handlers`), eight NUL bytes, then the names.
  std::span<const std::uint8_t> event_table;
  std::span<void (*const)()> handlers;
  // The stored control-name list: NUL-ended names, two more NULs at the end.
  std::span<const std::uint8_t> control_names;
  // The program's main routine and its fatal-error entry.
  void (*main)() = nullptr;
  void (*fatal_error_entry)() = nullptr;
};

// Thrown by RaiseCallError; runtimes catch it where they dispatch events.
struct CallError {
  int status;
};

class Runtime {
 public:
  virtual ~Runtime() = default;

  // ---- services -----------------------------------------------------------

  // Builds the form `form_name` from the embedded definition ":{<name>",
  // shows it, fills refs[0..kControlCount) in the order of the control-name
  // list and binds the handlers by name.  Never returns with references left
  // empty: on failure it raises the fatal error.
  virtual void LoadForm(const std::string& form_name, int a, int b, int c,
                        ControlRef* refs) = 0;
  // Dispatches waiting window events.
  virtual void ProcessEvents() = 0;
  // 0 once the window has been closed; anything else means go on.
  virtual std::int32_t TestKeepRunning() = 0;

  // kTrue when any directory entry stands at `path`, else kFalse.
  virtual std::int16_t TestFileExists(const std::string& path) = 0;
  // Writes the content (unpacked) of resource `name` to `path`.
  virtual int WriteResourceToFile(const std::string& name,
                                  const std::string& path) = 0;

  // Read channels over the embedded resources.
  virtual int OpenChannel(const std::string& name, std::int32_t mode,
                          std::int32_t channel) = 0;
  // The byte length of what is open on `channel`, or a negative status.
  virtual std::int32_t GetChannelLength(std::int32_t channel) = 0;
  // Exactly `count` bytes into `out`, or a negative status and `out` empty.
  virtual int ReadChannelString(std::int32_t count, std::int32_t channel,
                                std::string& out) = 0;
  virtual int CloseChannel(std::int32_t channel) = 0;

  // Plays a whole WAVE image held in memory; with flags 4 returns once it
  // has played.
  virtual int PlayWaveFromMemory(const std::string& wave,
                                 std::int32_t flags) = 0;
  // A uniformly drawn integer from 0 to n - 1.
  virtual std::int32_t DrawRandomInt(std::int32_t n) = 0;
  // Waits `units` milliseconds, keeping the window painted.
  virtual void Pause(std::int32_t units) = 0;

  // ---- control operations -------------------------------------------------
  // Label and command button.
  virtual int SetCaption(ControlRef c, const std::u16string& text) = 0;
  // Label.
  virtual int SetBackColor(ControlRef c, Colour colour) = 0;
  virtual int SetForeColor(ControlRef c, Colour colour) = 0;
  // Label and progress control; flag is kFalse or kTrue.
  virtual int SetVisible(ControlRef c, std::int16_t flag) = 0;
  virtual int SetStyleValue(ControlRef c, std::int32_t value) = 0;
  virtual int SetSecondStyleValue(ControlRef c, std::int32_t value) = 0;
  virtual int SetFontName(ControlRef c, const std::u16string& face) = 0;
  virtual int SetFontSize(ControlRef c, float size) = 0;
  // Command button.
  virtual int GetCaption(ControlRef c, std::u16string& out) = 0;
  virtual int SetButtonFlag(ControlRef c, std::int16_t flag) = 0;
  // Progress control.
  virtual int GetValue(ControlRef c, float& out) = 0;
  virtual int SetValue(ControlRef c, float value) = 0;
  virtual int SetProgressText(ControlRef c, const std::u16string& text) = 0;
  // Form.
  virtual int GetExtent(ControlRef c, float& out) = 0;
  virtual int SetExtent(ControlRef c, float extent) = 0;

  // ---- errors -------------------------------------------------------------
  // Raises the runtime's error for a failed control call (throws CallError).
  [[noreturn]] virtual void RaiseCallError(int status) = 0;
  // Reports a fatal error and ends the process.
  [[noreturn]] virtual void RaiseFatalError() = 0;
};

// The runtime the program talks to.  The runtime's start routine sets it
// before it runs the main routine; tests set it to the double.
Runtime& Rt();
void SetRuntime(Runtime* runtime);

}  // namespace lq
