// A Runtime for tests: it records every call with its arguments, in order,
// answers from a script, keeps the state of each control, and can make a
// chosen control call fail.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/channels.h"
#include "runtime/event_table.h"
#include "runtime/resource_set.h"
#include "runtime/runtime.h"

namespace lq::fake {

// Thrown by RaiseFatalError, so that a test can see it.
struct FatalRaised {};

enum class Kind { kForm, kLabel, kButton, kProgress };

struct ControlState {
  Kind kind = Kind::kLabel;
  std::u16string caption;
  Colour fore = 0;
  Colour back = 0;
  std::int32_t style = 0;
  std::int32_t second_style = 0;
  std::u16string font_name;
  float font_size = 0.0f;
  bool visible = true;
  bool enabled = true;
  float value = 0.0f;
  std::u16string progress_text;
  float extent = 0.0f;
  bool operator==(const ControlState&) const = default;
};

class RecordingRuntime : public Runtime {
 public:
  // Takes the program's resource set, event table and control-name list.
  explicit RecordingRuntime(const ProgramImage& image);

  // ---- the log: one line per call, "<operation> <target> <arguments>" ----
  const std::vector<std::string>& log() const { return log_; }
  // Only the lines of control operations.
  std::vector<std::string> ControlLog() const;
  void ClearLog() { log_.clear(); }

  // ---- script ------------------------------------------------------------
  std::deque<std::int32_t> draws;         // DrawRandomInt answers; then 0
  std::deque<std::int32_t> keep_running;  // TestKeepRunning answers; then 0
  std::set<std::string> present_files;    // paths TestFileExists finds
  std::function<void()> on_process_events;  // runs inside ProcessEvents
  // The n-th control call from now (1 = the next) returns `status`.
  void FailControlCall(int n, int status = -1);
  // The `occurrence`-th call (1 = the first) of `operation` on `control`
  // from now returns `status`.
  void FailFirst(std::string operation, std::string control, int status = -1,
                 int occurrence = 1);

  // ---- state -------------------------------------------------------------
  ControlState& control(std::string_view name);
  std::map<std::string, ControlState> Snapshot() const { return state_; }
  std::map<std::string, std::vector<std::uint8_t>> written_files;
  std::vector<int> raised;  // statuses passed to RaiseCallError
  bool AnyChannelOpen() const { return channels_.AnyOpen(); }
  // The name of the resource whose content equals `bytes`, if any.
  std::optional<std::string> ResourceNamed(const std::string& bytes) const;

  // Delivers an event by name, as the runtime's dispatch does: the handler
  // bound to exactly that name runs, a call error it raises is caught.
  // False when no handler is bound to the name.
  bool Fire(std::string_view event_name);

  // ---- Runtime -----------------------------------------------------------
  void LoadForm(const std::string& form_name, int a, int b, int c,
                ControlRef* refs) override;
  void ProcessEvents() override;
  std::int32_t TestKeepRunning() override;
  std::int16_t TestFileExists(const std::string& path) override;
  int WriteResourceToFile(const std::string& name,
                          const std::string& path) override;
  int OpenChannel(const std::string& name, std::int32_t mode,
                  std::int32_t channel) override;
  std::int32_t GetChannelLength(std::int32_t channel) override;
  int ReadChannelString(std::int32_t count, std::int32_t channel,
                        std::string& out) override;
  int CloseChannel(std::int32_t channel) override;
  int PlayWaveFromMemory(const std::string& wave, std::int32_t flags) override;
  std::int32_t DrawRandomInt(std::int32_t n) override;
  void Pause(std::int32_t units) override;

  int SetCaption(ControlRef c, const std::u16string& text) override;
  int SetBackColor(ControlRef c, Colour colour) override;
  int SetForeColor(ControlRef c, Colour colour) override;
  int SetVisible(ControlRef c, std::int16_t flag) override;
  int SetStyleValue(ControlRef c, std::int32_t value) override;
  int SetSecondStyleValue(ControlRef c, std::int32_t value) override;
  int SetFontName(ControlRef c, const std::u16string& face) override;
  int SetFontSize(ControlRef c, float size) override;
  int GetCaption(ControlRef c, std::u16string& out) override;
  int SetButtonFlag(ControlRef c, std::int16_t flag) override;
  int GetValue(ControlRef c, float& out) override;
  int SetValue(ControlRef c, float value) override;
  int SetProgressText(ControlRef c, const std::u16string& text) override;
  int GetExtent(ControlRef c, float& out) override;
  int SetExtent(ControlRef c, float extent) override;

  [[noreturn]] void RaiseCallError(int status) override;
  [[noreturn]] void RaiseFatalError() override;

 private:
  // Logs a control call and finds its control; nullptr with *status set
  // when the call is to fail (bad reference, wrong kind, or scripted).
  ControlState* Begin(const char* operation, ControlRef c,
                      std::initializer_list<Kind> kinds,
                      const std::string& arguments, int* status);

  std::optional<ResourceSet> set_;
  ChannelTable channels_;
  std::optional<EventTable> events_;
  std::span<void (*const)()> handlers_;
  std::vector<std::string> names_;            // the control-name list
  std::map<std::string, ControlState> state_;  // by control name
  std::vector<std::string> log_;
  int control_calls_ = 0;
  std::map<int, int> fail_at_;  // control call number -> status
  struct PlannedFailure {
    std::string operation, control;
    int status, remaining;
  };
  std::vector<PlannedFailure> fail_first_;
  bool loaded_ = false;
};

// "A" for ASCII, "\u05D0" style escapes beyond it.
std::string Narrow(const std::u16string& text);

}  // namespace lq::fake
