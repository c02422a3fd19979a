#include "runtime/form_def.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <stdexcept>

namespace lq {

namespace {

constexpr float kMaxFontSize = 1000.0f;
constexpr int kMaxWindowSide = 16384;

// A failure on the line being read; caught once, in ParseFormDef.
struct LineError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& message) { throw LineError(message); }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A field as written: the key and the raw value (a text already unescaped).
struct Field {
  std::string key;
  std::string value;
  bool quoted = false;
};

// Splits one record into its words (kind, name) and its fields.
class Record {
 public:
  explicit Record(std::string_view line) : line_(line) {}

  // The next bare word, or empty at the end of the line.
  std::string Word() {
    SkipBlanks();
    std::size_t start = at_;
    while (at_ < line_.size() && !IsBlank(line_[at_])) ++at_;
    return std::string(line_.substr(start, at_ - start));
  }

  // The next field; false at the end of the line.
  bool NextField(Field& field) {
    SkipBlanks();
    if (at_ >= line_.size()) return false;
    std::size_t start = at_;
    while (at_ < line_.size() && line_[at_] != '=' && !IsBlank(line_[at_])) {
      ++at_;
    }
    field.key = std::string(line_.substr(start, at_ - start));
    if (at_ >= line_.size() || line_[at_] != '=') {
      Fail("'" + field.key + "' is not a key=value field");
    }
    ++at_;  // '='
    field.value.clear();
    field.quoted = at_ < line_.size() && line_[at_] == '"';
    if (field.quoted) {
      ReadText(field);
    } else {
      start = at_;
      while (at_ < line_.size() && !IsBlank(line_[at_])) ++at_;
      field.value = std::string(line_.substr(start, at_ - start));
      if (field.value.empty()) Fail("key '" + field.key + "' has no value");
    }
    if (at_ < line_.size() && !IsBlank(line_[at_])) {
      Fail("no blank after the value of '" + field.key + "'");
    }
    return true;
  }

 private:
  void SkipBlanks() {
    while (at_ < line_.size() && IsBlank(line_[at_])) ++at_;
  }

  void ReadText(Field& field) {
    ++at_;  // opening quote
    while (true) {
      if (at_ >= line_.size()) {
        Fail("the text of '" + field.key + "' has no closing quote");
      }
      const char c = line_[at_++];
      if (c == '"') return;
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x20 || byte == 0x7F) {
        Fail("the text of '" + field.key +
             "' holds a control character; write it as \\xHH");
      }
      if (c != '\\') {
        field.value += c;
        continue;
      }
      if (at_ >= line_.size()) Fail("the text of '" + field.key + "' ends in '\\'");
      const char e = line_[at_++];
      if (e == '"' || e == '\\') {
        field.value += e;
      } else if (e == 'x' && at_ + 1 < line_.size() &&
                 HexValue(line_[at_]) >= 0 && HexValue(line_[at_ + 1]) >= 0) {
        field.value += static_cast<char>(HexValue(line_[at_]) * 16 +
                                         HexValue(line_[at_ + 1]));
        at_ += 2;
      } else {
        Fail("bad escape '\\" + std::string(1, e) + "' in the text of '" +
             field.key + "'");
      }
    }
  }

  std::string_view line_;
  std::size_t at_ = 0;
};

void NeedBare(const Field& f) {
  if (f.quoted) Fail("'" + f.key + "' takes a bare value, not a text");
}

int Integer(const Field& f) {
  NeedBare(f);
  const std::string& v = f.value;
  std::size_t digits = v[0] == '-' ? 1 : 0;
  bool ok = digits < v.size();
  for (std::size_t i = digits; i < v.size(); ++i) ok = ok && IsDigit(v[i]);
  int out = 0;
  if (ok) {
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), out);
    ok = ec == std::errc() && end == v.data() + v.size();
  }
  if (!ok) Fail("'" + f.key + "' needs an integer, not '" + v + "'");
  return out;
}

float Number(const Field& f) {
  NeedBare(f);
  const std::string& v = f.value;
  std::size_t i = v[0] == '-' ? 1 : 0;
  const std::size_t int_start = i;
  while (i < v.size() && IsDigit(v[i])) ++i;
  bool ok = i > int_start;
  if (ok && i < v.size() && v[i] == '.') {
    const std::size_t frac_start = ++i;
    while (i < v.size() && IsDigit(v[i])) ++i;
    ok = i > frac_start;
  }
  ok = ok && i == v.size();
  float out = 0.0f;
  if (ok) {
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), out);
    ok = ec == std::errc() && end == v.data() + v.size() && std::isfinite(out);
  }
  if (!ok) Fail("'" + f.key + "' needs a number, not '" + v + "'");
  return out;
}

std::uint32_t ColourValue(const Field& f) {
  NeedBare(f);
  const std::string& v = f.value;
  bool ok = v.size() >= 3 && v.size() <= 10 && v[0] == '0' &&
            (v[1] == 'x' || v[1] == 'X');
  std::uint32_t out = 0;
  for (std::size_t i = 2; ok && i < v.size(); ++i) {
    const int h = HexValue(v[i]);
    ok = h >= 0;
    out = out << 4 | static_cast<std::uint32_t>(h < 0 ? 0 : h);
  }
  if (!ok) Fail("'" + f.key + "' needs a colour 0xHHHHHHHH, not '" + v + "'");
  if ((out & kSystemColourFlag) != 0 &&
      (out & ~kSystemColourFlag) >= kSystemColourCount) {
    Fail("'" + f.key + "' names system colour " +
         std::to_string(out & ~kSystemColourFlag) + ", outside 0..30");
  }
  return out;
}

bool Flag(const Field& f) {
  NeedBare(f);
  if (f.value == "0") return false;
  if (f.value == "1") return true;
  Fail("'" + f.key + "' needs 0 or 1, not '" + f.value + "'");
}

std::string Text(const Field& f) {
  if (!f.quoted) Fail("'" + f.key + "' needs a text in double quotes");
  return f.value;
}

bool ValidName(const std::string& name) {
  if (name.empty() || !IsAlpha(name[0])) return false;
  for (char c : name) {
    if (!IsAlpha(c) && !IsDigit(c) && c != '_') return false;
  }
  return true;
}

const char* KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::kForm: return "form";
    case ControlKind::kLabel: return "label";
    case ControlKind::kButton: return "button";
    case ControlKind::kProgress: return "progress";
  }
  return "?";
}

void ParseForm(Record& record, FormDef& form) {
  std::set<std::string> seen;
  bool has_title = false, has_width = false, has_extent = false;
  Field f;
  while (record.NextField(f)) {
    if (!seen.insert(f.key).second) Fail("key '" + f.key + "' given twice");
    if (f.key == "title") {
      form.title = Text(f);
      has_title = true;
    } else if (f.key == "width") {
      form.width = Integer(f);
      if (form.width <= 0 || form.width > kMaxWindowSide) {
        Fail("width " + f.value + " is outside 1.." +
             std::to_string(kMaxWindowSide));
      }
      has_width = true;
    } else if (f.key == "extent") {
      form.extent = Number(f);
      const int h = form.extent > 0.0f ? PixelsForExtent(form.extent) : 0;
      if (h <= 0 || h > kMaxWindowSide) {
        Fail("extent " + f.value + " gives no window height in 1.." +
             std::to_string(kMaxWindowSide) + " px");
      }
      has_extent = true;
    } else if (f.key == "back") {
      form.back = ColourValue(f);
    } else {
      Fail("unknown key '" + f.key + "' for a form");
    }
  }
  if (!has_title) Fail("the form has no title");
  if (!has_width) Fail("the form has no width");
  if (!has_extent) Fail("the form has no extent");
}

void ParseControl(Record& record, const FormDef& form, ControlDef& c) {
  std::set<std::string> seen;
  Field f;
  while (record.NextField(f)) {
    if (!seen.insert(f.key).second) Fail("key '" + f.key + "' given twice");
    const bool label = c.kind == ControlKind::kLabel;
    const bool captioned = label || c.kind == ControlKind::kButton;
    const bool progress = c.kind == ControlKind::kProgress;
    if (f.key == "x") {
      c.x = Integer(f);
    } else if (f.key == "y") {
      c.y = Integer(f);
    } else if (f.key == "w") {
      c.width = Integer(f);
    } else if (f.key == "h") {
      c.height = Integer(f);
    } else if (f.key == "visible") {
      c.visible = Flag(f);
    } else if (f.key == "font") {
      c.font_face = Text(f);
    } else if (f.key == "size") {
      c.font_size = Number(f);
      if (!(c.font_size > 0.0f) || c.font_size > kMaxFontSize) {
        Fail("font size " + f.value + " is outside (0, 1000]");
      }
    } else if (captioned && f.key == "caption") {
      c.caption = Text(f);
    } else if (label && f.key == "fore") {
      c.fore = ColourValue(f);
    } else if (label && f.key == "back") {
      c.back = ColourValue(f);
    } else if (label && f.key == "style") {
      c.style = Integer(f);
      if (c.style != kStyleNoFrame && c.style != kStyleRaised &&
          c.style != kStyleSunken) {
        Fail("style " + f.value + " is none of 0, 6, 7");
      }
    } else if (label && f.key == "frame") {
      c.frame = Integer(f);
      if (c.frame < 0 || c.frame > kMaxFrameWidth) {
        Fail("frame " + f.value + " is outside 0.." +
             std::to_string(kMaxFrameWidth));
      }
    } else if (progress && f.key == "min") {
      c.minimum = Integer(f);
    } else if (progress && f.key == "max") {
      c.maximum = Integer(f);
    } else if (progress && f.key == "value") {
      c.value = Number(f);
    } else if (progress && f.key == "text") {
      c.text = Text(f);
    } else {
      Fail("unknown key '" + f.key + "' for a " + KindName(c.kind));
    }
  }
  for (const char* key : {"x", "y", "w", "h"}) {
    if (seen.count(key) == 0) Fail(c.name + " has no '" + key + "'");
  }
  if (c.width <= 0 || c.height <= 0) Fail(c.name + " has no area");
  if (c.x < 0 || c.y < 0 || c.x > form.width - c.width ||
      c.y > form.height() - c.height) {
    Fail(c.name + " does not lie inside the " + std::to_string(form.width) +
         " x " + std::to_string(form.height()) + " window");
  }
  if (c.kind == ControlKind::kProgress && c.minimum >= c.maximum) {
    Fail(c.name + ": min must be below max");
  }
}

// The kind that a control name's prefix stands for.
std::optional<ControlKind> KindOfName(std::string_view name) {
  if (name.starts_with("frm")) return ControlKind::kForm;
  if (name.starts_with("lbl")) return ControlKind::kLabel;
  if (name.starts_with("cmd")) return ControlKind::kButton;
  if (name.starts_with("pro")) return ControlKind::kProgress;
  return std::nullopt;
}

// A kind as the control-list messages name it.
const char* KindText(ControlKind kind) {
  switch (kind) {
    case ControlKind::kForm: return "form";
    case ControlKind::kLabel: return "label";
    case ControlKind::kButton: return "button";
    case ControlKind::kProgress: return "progress control";
  }
  return "control";
}

}  // namespace

int PixelsForExtent(float extent) {
  const double pixels = static_cast<double>(extent) / kTwipsPerPixel;
  if (std::isnan(pixels)) return 0;
  return static_cast<int>(std::lround(std::clamp(pixels, -1e9, 1e9)));
}

int FormDef::height() const { return PixelsForExtent(extent); }

const ControlDef* FormDef::Find(std::string_view control_name) const {
  for (const ControlDef& c : controls) {
    if (c.name == control_name) return &c;
  }
  return nullptr;
}

std::optional<FormDef> ParseFormDef(std::string_view text,
                                    std::string* error) {
  static const std::map<std::string, ControlKind> kKinds = {
      {"form", ControlKind::kForm},
      {"label", ControlKind::kLabel},
      {"button", ControlKind::kButton},
      {"progress", ControlKind::kProgress}};
  FormDef form;
  bool has_form = false;
  std::set<std::string> names;
  int line_no = 0;
  try {
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(start, end - start);
      start = end + 1;
      ++line_no;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

      Record record(line);
      const std::string kind_word = record.Word();
      if (kind_word.empty() || kind_word[0] == '#') continue;
      const auto kind = kKinds.find(kind_word);
      if (kind == kKinds.end()) Fail("unknown kind '" + kind_word + "'");
      const std::string name = record.Word();
      if (name.empty()) Fail("the " + kind_word + " record has no name");
      if (!ValidName(name)) Fail("'" + name + "' is not a valid name");
      if (!names.insert(name).second) Fail("a second record named " + name);

      if (kind->second == ControlKind::kForm) {
        if (has_form) Fail("a second form record");
        form.name = name;
        ParseForm(record, form);
        has_form = true;
        continue;
      }
      if (!has_form) Fail("control " + name + " comes before the form record");
      ControlDef c;
      c.kind = kind->second;
      c.name = name;
      c.line = line_no;
      ParseControl(record, form, c);
      form.controls.push_back(std::move(c));
    }
    if (!has_form) {
      line_no = line_no == 0 ? 1 : line_no;
      Fail("the definition has no form record");
    }
  } catch (const LineError& e) {
    if (error != nullptr) *error = "line " + std::to_string(line_no) + ": " + e.what();
    return std::nullopt;
  }
  return form;
}

bool CheckFormControls(const FormDef& form,
                       std::span<const std::string> control_names,
                       std::string* error) {
  auto fail = [error](std::string message) {
    if (error != nullptr) *error = std::move(message);
    return false;
  };
  std::set<std::string_view> listed;
  for (const std::string& name : control_names) {
    if (!listed.insert(name).second) {
      return fail("the control name " + name + " is listed twice");
    }
    const auto kind = KindOfName(name);
    if (!kind) return fail("the control name " + name + " names no control kind");
    const bool is_form = *kind == ControlKind::kForm;
    const ControlDef* def = is_form ? nullptr : form.Find(name);
    if (is_form ? name != form.name : def == nullptr) {
      return fail(std::string("the form definition has no ") + KindText(*kind) +
                  " " + name);
    }
    if (def != nullptr && def->kind != *kind) {
      return fail(name + " is a " + KindText(def->kind) + ", not a " +
                  KindText(*kind));
    }
  }
  return true;
}

}  // namespace lq
