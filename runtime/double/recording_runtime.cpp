#include "runtime/double/recording_runtime.h"

#include <cmath>
#include <cstdio>
#include <utility>

namespace lq::fake {

namespace {

const std::set<std::string, std::less<>> kControlOperations = {
    "SetCaption",    "SetBackColor",        "SetForeColor", "SetVisible",
    "SetStyleValue", "SetSecondStyleValue", "SetFontName",  "SetFontSize",
    "GetCaption",    "SetButtonFlag",       "GetValue",     "SetValue",
    "SetProgressText", "GetExtent",         "SetExtent"};

std::string Hex(Colour colour) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", colour);
  return text;
}

std::string Num(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}

std::string Quoted(const std::u16string& text) {
  const std::string narrow = Narrow(text);
  std::string out;
  out.reserve(narrow.size() + 2);
  out += '"';
  out += narrow;
  out += '"';
  return out;
}

Kind KindOf(const std::string& name) {
  if (name.starts_with("frm")) return Kind::kForm;
  if (name.starts_with("cmd")) return Kind::kButton;
  if (name.starts_with("pro")) return Kind::kProgress;
  return Kind::kLabel;
}

}  // namespace

std::string Narrow(const std::u16string& text) {
  std::string narrow;
  for (char16_t c : text) {
    if (c >= 0x20 && c < 0x7F) {
      narrow.push_back(static_cast<char>(c));
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
      narrow += escape;
    }
  }
  return narrow;
}

RecordingRuntime::RecordingRuntime(const ProgramImage& image)
    : set_(ResourceSet::Open(image.resources, nullptr)),
      channels_(set_ ? &*set_ : nullptr),
      events_(EventTable::Parse(image.event_table, image.handlers.size(),
                                nullptr)),
      handlers_(image.handlers) {
  if (auto names = ParseControlNames(image.control_names, nullptr)) {
    names_ = std::move(*names);
  }
}

std::vector<std::string> RecordingRuntime::ControlLog() const {
  std::vector<std::string> lines;
  for (const std::string& line : log_) {
    const std::string_view operation(line.data(), line.find(' '));
    if (kControlOperations.contains(operation)) lines.push_back(line);
  }
  return lines;
}

void RecordingRuntime::FailControlCall(int n, int status) {
  fail_at_[control_calls_ + n] = status;
}

void RecordingRuntime::FailFirst(std::string operation, std::string control,
                                 int status, int occurrence) {
  fail_first_.push_back(
      {std::move(operation), std::move(control), status, occurrence});
}

ControlState& RecordingRuntime::control(std::string_view name) {
  return state_.at(std::string(name));
}

std::optional<std::string> RecordingRuntime::ResourceNamed(
    const std::string& bytes) const {
  if (!set_) return std::nullopt;
  for (const ResourceEntry& entry : set_->entries()) {
    std::vector<std::uint8_t> content;
    if (!ResourceSet::Content(entry, content, nullptr)) continue;
    if (content.size() == bytes.size() &&
        std::equal(content.begin(), content.end(), bytes.begin(),
                   [](std::uint8_t a, char b) {
                     return a == static_cast<std::uint8_t>(b);
                   })) {
      return std::string(entry.name);
    }
  }
  return std::nullopt;
}

bool RecordingRuntime::Fire(std::string_view event_name) {
  if (!events_) return false;
  const int index = events_->Find(event_name);
  if (index < 0) return false;
  try {
    handlers_[static_cast<std::size_t>(index)]();
  } catch (const CallError&) {
    // Reported and dropped, as at the real dispatch; `raised` has it.
  }
  return true;
}

// ---- services ---------------------------------------------------------------

void RecordingRuntime::LoadForm(const std::string& form_name, int a, int b,
                                int c, ControlRef* refs) {
  log_.push_back("LoadForm " + form_name + " " + std::to_string(a) + " " +
                 std::to_string(b) + " " + std::to_string(c));
  state_.clear();
  for (std::size_t i = 0; i < names_.size() && i < kControlCount; ++i) {
    ControlState state;
    state.kind = KindOf(names_[i]);
    state_[names_[i]] = state;
    refs[i] = static_cast<ControlRef>(i + 1);
  }
  // The start state the form definition gives.
  if (state_.contains("cmd1")) state_["cmd1"].caption = u"PC Frank";
  if (state_.contains("cmd2")) state_["cmd2"].caption = u"ALPHA";
  if (state_.contains("lbl55")) state_["lbl55"].font_name = u"PCFrank";
  if (state_.contains("frm1")) state_["frm1"].extent = 11850.0f;
  for (const char* extra : {"lbl1", "lbl29", "lbl30", "lbl31", "lbl32"}) {
    if (state_.contains(extra)) state_[extra].visible = false;
  }
  loaded_ = true;
}

void RecordingRuntime::ProcessEvents() {
  log_.push_back("ProcessEvents");
  if (on_process_events) on_process_events();
}

std::int32_t RecordingRuntime::TestKeepRunning() {
  log_.push_back("TestKeepRunning");
  if (keep_running.empty()) return 0;
  const std::int32_t answer = keep_running.front();
  keep_running.pop_front();
  return answer;
}

std::int16_t RecordingRuntime::TestFileExists(const std::string& path) {
  log_.push_back("TestFileExists " + path);
  return present_files.contains(path) ? kTrue : kFalse;
}

int RecordingRuntime::WriteResourceToFile(const std::string& name,
                                          const std::string& path) {
  log_.push_back("WriteResourceToFile " + name + " " + path);
  const ResourceEntry* entry = set_ ? set_->Find(name) : nullptr;
  std::vector<std::uint8_t> content;
  if (entry == nullptr || !ResourceSet::Content(*entry, content, nullptr)) {
    return kErrNotFound;
  }
  written_files[path] = std::move(content);
  present_files.insert(path);
  return kOk;
}

int RecordingRuntime::OpenChannel(const std::string& name, std::int32_t mode,
                                  std::int32_t channel) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(mode));
  log_.push_back("OpenChannel " + name + " " + text + " " +
                 std::to_string(channel));
  return channels_.Open(name, mode, channel);
}

std::int32_t RecordingRuntime::GetChannelLength(std::int32_t channel) {
  log_.push_back("GetChannelLength " + std::to_string(channel));
  return channels_.Length(channel);
}

int RecordingRuntime::ReadChannelString(std::int32_t count,
                                        std::int32_t channel,
                                        std::string& out) {
  log_.push_back("ReadChannelString " + std::to_string(count) + " " +
                 std::to_string(channel));
  return channels_.Read(count, channel, out);
}

int RecordingRuntime::CloseChannel(std::int32_t channel) {
  log_.push_back("CloseChannel " + std::to_string(channel));
  return channels_.Close(channel);
}

int RecordingRuntime::PlayWaveFromMemory(const std::string& wave,
                                         std::int32_t flags) {
  const auto name = ResourceNamed(wave);
  std::string entry = "PlayWaveFromMemory ";
  if (name)
    entry += *name;
  else
    entry.append("<").append(std::to_string(wave.size())).append(" bytes>");
  entry.append(" ").append(std::to_string(flags));
  log_.push_back(std::move(entry));
  return name ? kOk : kErrAudio;
}

std::int32_t RecordingRuntime::DrawRandomInt(std::int32_t n) {
  log_.push_back("DrawRandomInt " + std::to_string(n));
  if (draws.empty()) return 0;
  const std::int32_t answer = draws.front();
  draws.pop_front();
  return answer;
}

void RecordingRuntime::Pause(std::int32_t units) {
  log_.push_back("Pause " + std::to_string(units));
}

// ---- control operations -----------------------------------------------------

ControlState* RecordingRuntime::Begin(const char* operation, ControlRef c,
                                      std::initializer_list<Kind> kinds,
                                      const std::string& arguments,
                                      int* status) {
  const bool known = loaded_ && c >= 1 && c <= names_.size();
  const std::string name =
      known ? names_[c - 1] : std::string("#").append(std::to_string(c));
  log_.push_back(std::string(operation) + " " + name +
                 (arguments.empty() ? "" : " " + arguments));
  ++control_calls_;
  *status = kOk;
  if (auto it = fail_at_.find(control_calls_); it != fail_at_.end()) {
    *status = it->second;
    fail_at_.erase(it);
    return nullptr;
  }
  for (auto it = fail_first_.begin(); it != fail_first_.end(); ++it) {
    if (it->operation == operation && it->control == name &&
        --it->remaining == 0) {
      *status = it->status;
      fail_first_.erase(it);
      return nullptr;
    }
  }
  if (!known) {
    *status = kErrInvalidControl;
    return nullptr;
  }
  ControlState& state = state_.at(name);
  for (Kind kind : kinds) {
    if (state.kind == kind) return &state;
  }
  *status = kErrInvalidControl;
  return nullptr;
}

int RecordingRuntime::SetCaption(ControlRef c, const std::u16string& text) {
  int status;
  if (auto* s = Begin("SetCaption", c, {Kind::kLabel, Kind::kButton},
                      Quoted(text), &status)) {
    s->caption = text;
  }
  return status;
}

int RecordingRuntime::SetBackColor(ControlRef c, Colour colour) {
  int status;
  if (auto* s = Begin("SetBackColor", c, {Kind::kLabel}, Hex(colour), &status)) {
    s->back = colour;
  }
  return status;
}

int RecordingRuntime::SetForeColor(ControlRef c, Colour colour) {
  int status;
  if (auto* s = Begin("SetForeColor", c, {Kind::kLabel}, Hex(colour), &status)) {
    s->fore = colour;
  }
  return status;
}

int RecordingRuntime::SetVisible(ControlRef c, std::int16_t flag) {
  int status;
  if (auto* s = Begin("SetVisible", c, {Kind::kLabel, Kind::kProgress},
                      std::to_string(flag), &status)) {
    s->visible = flag != kFalse;
  }
  return status;
}

int RecordingRuntime::SetStyleValue(ControlRef c, std::int32_t value) {
  int status;
  if (auto* s = Begin("SetStyleValue", c, {Kind::kLabel},
                      std::to_string(value), &status)) {
    s->style = value;
  }
  return status;
}

int RecordingRuntime::SetSecondStyleValue(ControlRef c, std::int32_t value) {
  int status;
  if (auto* s = Begin("SetSecondStyleValue", c, {Kind::kLabel},
                      std::to_string(value), &status)) {
    s->second_style = value;
  }
  return status;
}

int RecordingRuntime::SetFontName(ControlRef c, const std::u16string& face) {
  int status;
  if (auto* s = Begin("SetFontName", c, {Kind::kLabel}, Quoted(face), &status)) {
    s->font_name = face;
  }
  return status;
}

int RecordingRuntime::SetFontSize(ControlRef c, float size) {
  int status;
  if (auto* s = Begin("SetFontSize", c, {Kind::kLabel}, Num(size), &status)) {
    if (!std::isfinite(size) || size <= 0.0f) return kErrInvalidArgument;
    s->font_size = size;
  }
  return status;
}

int RecordingRuntime::GetCaption(ControlRef c, std::u16string& out) {
  int status;
  if (auto* s = Begin("GetCaption", c, {Kind::kButton}, "", &status)) {
    out = s->caption;
  }
  return status;
}

int RecordingRuntime::SetButtonFlag(ControlRef c, std::int16_t flag) {
  int status;
  if (auto* s = Begin("SetButtonFlag", c, {Kind::kButton},
                      std::to_string(flag), &status)) {
    s->enabled = flag != kFalse;
  }
  return status;
}

int RecordingRuntime::GetValue(ControlRef c, float& out) {
  int status;
  if (auto* s = Begin("GetValue", c, {Kind::kProgress}, "", &status)) {
    out = s->value;
  }
  return status;
}

int RecordingRuntime::SetValue(ControlRef c, float value) {
  int status;
  if (auto* s = Begin("SetValue", c, {Kind::kProgress}, Num(value), &status)) {
    s->value = value;
  }
  return status;
}

int RecordingRuntime::SetProgressText(ControlRef c, const std::u16string& text) {
  int status;
  if (auto* s = Begin("SetProgressText", c, {Kind::kProgress}, Quoted(text),
                      &status)) {
    s->progress_text = text;
  }
  return status;
}

int RecordingRuntime::GetExtent(ControlRef c, float& out) {
  int status;
  if (auto* s = Begin("GetExtent", c, {Kind::kForm}, "", &status)) {
    out = s->extent;
  }
  return status;
}

int RecordingRuntime::SetExtent(ControlRef c, float extent) {
  int status;
  if (auto* s = Begin("SetExtent", c, {Kind::kForm}, Num(extent), &status)) {
    if (!std::isfinite(extent) || extent <= 0.0f) return kErrInvalidArgument;
    s->extent = extent;
  }
  return status;
}

void RecordingRuntime::RaiseCallError(int status) {
  log_.push_back("RaiseCallError " + std::to_string(status));
  raised.push_back(status);
  throw CallError{status};
}

void RecordingRuntime::RaiseFatalError() {
  log_.push_back("RaiseFatalError");
  throw FatalRaised{};
}

}  // namespace lq::fake
