#include "runtime/qt/qt_runtime.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <iostream>
#include <set>
#include <string_view>

#include <xcb/xcb.h>

#include "runtime/files.h"
#include "runtime/qt/report.h"

namespace lq::qt {

namespace {

// The Windows system colours 0..30, as the default desktop scheme had them.
constexpr QRgb kSystemColours[kSystemColourCount] = {
    0xD4D0C8,  //  0 scroll bar
    0x004E98,  //  1 desktop
    0x0054E3,  //  2 active caption
    0x7A96DF,  //  3 inactive caption
    0xFFFFFF,  //  4 menu
    0xFFFFFF,  //  5 window
    0x000000,  //  6 window frame
    0x000000,  //  7 menu text
    0x000000,  //  8 window text
    0xFFFFFF,  //  9 caption text
    0xD4D0C8,  // 10 active border
    0xD4D0C8,  // 11 inactive border
    0x808080,  // 12 application workspace
    0x316AC5,  // 13 highlight
    0xFFFFFF,  // 14 highlight text
    0xECE9D8,  // 15 button face
    0xACA899,  // 16 button shadow
    0xACA899,  // 17 grey text
    0x000000,  // 18 button text
    0xD8E4F8,  // 19 inactive caption text
    0xFFFFFF,  // 20 button highlight
    0x716F64,  // 21 3D dark shadow
    0xF1EFE2,  // 22 3D light
    0x000000,  // 23 tooltip text
    0xFFFFE1,  // 24 tooltip background
    0xC0C0C0,  // 25 (unassigned)
    0x000080,  // 26 hot-tracked item
    0x3D95FF,  // 27 active caption gradient
    0x9DB9EB,  // 28 inactive caption gradient
    0x316AC5,  // 29 menu highlight
    0xECE9D8,  // 30 menu bar
};

// A colour value: the high bit marks a system colour index, else RGB
// with red in the lowest byte.
bool ToQColor(Colour value, QColor& out) {
  if ((value & kSystemColourFlag) != 0) {
    const std::uint32_t index = value & ~kSystemColourFlag;
    if (index >= kSystemColourCount) return false;
    out = QColor(kSystemColours[index]);
    return true;
  }
  out = QColor(static_cast<int>(value & 0xFF), static_cast<int>(value >> 8 & 0xFF),
               static_cast<int>(value >> 16 & 0xFF));
  return true;
}

QColor System(int index) { return QColor(kSystemColours[index]); }

// The window's palette, from the system colours, so the window looks the
// same under any desktop theme.
QPalette ClassicPalette() {
  QPalette p;
  const struct {
    QPalette::ColorRole role;
    int index;
  } roles[] = {
      {QPalette::Window, 15},     {QPalette::WindowText, 8},
      {QPalette::Button, 15},     {QPalette::ButtonText, 18},
      {QPalette::Light, 20},      {QPalette::Midlight, 22},
      {QPalette::Mid, 16},        {QPalette::Dark, 16},
      {QPalette::Shadow, 21},     {QPalette::Base, 5},
      {QPalette::Text, 8},        {QPalette::Highlight, 13},
      {QPalette::HighlightedText, 14}, {QPalette::ToolTipBase, 24},
      {QPalette::ToolTipText, 23}, {QPalette::PlaceholderText, 17},
  };
  for (const auto& r : roles) p.setColor(r.role, System(r.index));
  p.setColor(QPalette::BrightText, Qt::white);
  for (QPalette::ColorRole role :
       {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    p.setColor(QPalette::Disabled, role, System(17));
  }
  return p;
}

QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Font sizes are points at 96 dpi, drawn in logical pixels, so the fixed
// layout holds at any screen resolution setting.
int PixelsForPoints(float points) {
  return static_cast<int>(std::clamp(std::lround(points * 96.0f / 72.0f), 1L, 4000L));
}

bool ValidFontSize(float size) {
  return std::isfinite(size) && size > 0.0f && size <= 1000.0f;
}

std::string StatusText(int status) {
  switch (status) {
    case kErrInvalidControl: return "invalid control";
    case kErrInvalidArgument: return "invalid argument";
    case kErrNotFound: return "not found";
    case kErrChannel: return "channel misuse";
    case kErrIo: return "file system failure";
    case kErrAudio: return "unplayable sound";
    case kErrForm: return "malformed form";
    default: return "failure";
  }
}

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
      return true;
    default:
      return false;
  }
}

// A TrueType or OpenType font file, by its first four bytes.
bool IsTrueType(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < 12) return false;
  const std::string_view tag(reinterpret_cast<const char*>(bytes.data()), 4);
  return tag == std::string_view("\0\1\0\0", 4) || tag == "true" || tag == "OTTO";
}

// The top-level window; reports its closing.
class FormWindow final : public QWidget {
 public:
  explicit FormWindow(std::function<void()> on_close)
      : on_close_(std::move(on_close)) {}

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->accept();
    on_close_();
  }

 private:
  std::function<void()> on_close_;
};

// A progress bar that shows the text handed to it, as it stands.
class ScoreBar final : public QProgressBar {
 public:
  using QProgressBar::QProgressBar;
  QString text() const override { return text_; }
  void SetText(const QString& text) {
    text_ = text;
    update();
  }

 private:
  QString text_;
};

void ApplyFrame(QLabel* label, int style, int width) {
  switch (style) {
    case kStyleRaised: label->setFrameStyle(QFrame::Panel | QFrame::Raised); break;
    case kStyleSunken: label->setFrameStyle(QFrame::Panel | QFrame::Sunken); break;
    default: label->setFrameStyle(QFrame::NoFrame); break;
  }
  label->setLineWidth(width);
}

void SetRole(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
  QPalette p = widget->palette();
  p.setColor(QPalette::Active, role, colour);
  p.setColor(QPalette::Inactive, role, colour);
  p.setColor(QPalette::Disabled, role, colour);
  widget->setPalette(p);
}

}  // namespace

void Report(const std::string& message) {
  std::cerr << "letter-quiz: " << message << std::endl;
}

struct QtRuntime::Control {
  ControlKind kind = ControlKind::kLabel;
  std::string name;
  QWidget* widget = nullptr;  // owned by the window
  // Label frame.
  int style = kStyleNoFrame;
  int frame = 1;
  // Progress control.
  float value = 0.0f;
  int minimum = 0, maximum = 100;

  QLabel* label() const { return static_cast<QLabel*>(widget); }
  QPushButton* button() const { return static_cast<QPushButton*>(widget); }
  ScoreBar* bar() const { return static_cast<ScoreBar*>(widget); }
};

std::optional<CheckedImage> CheckImage(const ProgramImage& program,
                                       std::string* error) {
  std::string why;
  auto set = ResourceSet::Open(program.resources, &why);
  if (!set) {
    if (error != nullptr) *error = "the program's resource set is damaged: " + why;
    return std::nullopt;
  }
  auto events = EventTable::Parse(program.event_table, program.handlers.size(), &why);
  if (!events) {
    if (error != nullptr) *error = "the program's event table is damaged: " + why;
    return std::nullopt;
  }
  auto names = ParseControlNames(program.control_names, &why);
  if (!names) {
    if (error != nullptr) *error = "the program's control-name list is damaged: " + why;
    return std::nullopt;
  }
  if (names->size() != static_cast<std::size_t>(kControlCount)) {
    if (error != nullptr) {
      *error = "the program's control-name list holds " +
               std::to_string(names->size()) + " names, not " +
               std::to_string(kControlCount);
    }
    return std::nullopt;
  }
  return CheckedImage{std::move(*set), std::move(*events), std::move(*names)};
}

QtRuntime::QtRuntime(const ProgramImage& program, CheckedImage image)
    : program_(program),
      image_(std::move(image)),
      channels_(&image_.resources),
      random_(std::random_device{}()) {
  qApp->installEventFilter(this);
  qApp->installNativeEventFilter(this);
}

QtRuntime::~QtRuntime() {
  qApp->removeNativeEventFilter(this);
  qApp->removeEventFilter(this);
  delete window_.data();
}

QWidget* QtRuntime::window() const { return window_.data(); }

QWidget* QtRuntime::widget(ControlRef ref) const {
  if (ref < kFirstRef || ref - kFirstRef >= controls_.size()) return nullptr;
  return controls_[ref - kFirstRef]->widget;
}

// ---- errors -----------------------------------------------------------------

void QtRuntime::RaiseCallError(int status) { throw CallError{status}; }

void QtRuntime::RaiseFatalError() {
  Report(fatal_message_.empty() ? "fatal error" : fatal_message_);
  std::fflush(nullptr);
  std::_Exit(1);
}

void QtRuntime::Fatal(const std::string& message) {
  fatal_message_ = message;
  if (program_.fatal_error_entry != nullptr) program_.fatal_error_entry();
  RaiseFatalError();
}

// ---- the form ---------------------------------------------------------------

void QtRuntime::LoadForm(const std::string& form_name, int, int, int,
                         ControlRef* refs) {
  if (refs == nullptr) Fatal("LoadForm has no references to fill");
  if (window_ != nullptr || closed_) Fatal("the form " + form_name + " is loaded twice");
  const std::string resource = ":{" + form_name;
  const ResourceEntry* entry = image_.resources.Find(resource);
  if (entry == nullptr) Fatal("the program has no form definition " + resource);
  std::vector<std::uint8_t> content;
  std::string error;
  if (!ResourceSet::Content(*entry, content, &error)) {
    Fatal("cannot unpack the form definition " + resource + ": " + error);
  }
  const auto form = ParseFormDef(
      std::string_view(reinterpret_cast<const char*>(content.data()), content.size()),
      &error);
  if (!form) Fatal("the form definition " + resource + " is malformed: " + error);
  if (form->name != form_name) {
    Fatal("the form definition " + resource + " defines " + form->name +
          ", not " + form_name);
  }
  // Every listed name must be defined, once, with the kind its prefix names
  // (the same check refuses such a definition when the program is built).
  if (!CheckFormControls(*form, image_.control_names, &error)) {
    Fatal("the form definition " + resource + " cannot be built: " + error);
  }

  RegisterEmbeddedFonts();
  Build(*form);
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    refs[i] = kFirstRef + static_cast<ControlRef>(i);
  }
  window_->show();
  if (QGuiApplication::platformName() == QLatin1String("xcb")) {
    native_window_ = static_cast<std::uintptr_t>(window_->winId());
  }
  // The window paints before anything else of the start, such as opening
  // the sound output for the first recording.
  WaitForFirstPaint();
}

// The faces that the labels ask for by name are the program's own: every
// TrueType font of the resource set is added to Qt's font database from
// memory.  Nothing at the font files' paths is opened or trusted.  The
// database is the process's: each font is added once.
void QtRuntime::RegisterEmbeddedFonts() {
  static std::set<const std::uint8_t*> registered;
  for (const ResourceEntry& entry : image_.resources.entries()) {
    if (registered.count(entry.stored.data()) > 0) continue;
    std::vector<std::uint8_t> content;
    std::string error;
    if (!ResourceSet::Content(entry, content, &error) || !IsTrueType(content)) continue;
    const QByteArray data(reinterpret_cast<const char*>(content.data()),
                          static_cast<qsizetype>(content.size()));
    if (QFontDatabase::addApplicationFontFromData(data) < 0) {
      Report("cannot use the program's font " + std::string(entry.name) +
             "; its face falls back to another");
      continue;
    }
    registered.insert(entry.stored.data());
  }
}

void QtRuntime::Build(const FormDef& form) {
  auto* window = new FormWindow([this] { OnWindowClosed(); });
  window_ = window;
  window->setObjectName(QString::fromStdString(form.name));
  window->setWindowTitle(Latin1(form.title));
  QPalette palette = ClassicPalette();
  QColor back;
  if (ToQColor(form.back, back)) palette.setColor(QPalette::Window, back);
  window->setPalette(palette);
  window->setAutoFillBackground(true);
  form_width_ = form.width;
  extent_ = form.extent;
  window->setFixedSize(form.width, form.height());

  std::vector<std::unique_ptr<Control>> built;
  for (const ControlDef& def : form.controls) {
    auto c = std::make_unique<Control>();
    c->kind = def.kind;
    c->name = def.name;
    switch (def.kind) {
      case ControlKind::kLabel: {
        auto* label = new QLabel(window);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignCenter);
        label->setText(Latin1(def.caption));
        label->setAutoFillBackground(true);
        QColor colour;
        if (ToQColor(def.fore, colour)) SetRole(label, QPalette::WindowText, colour);
        if (ToQColor(def.back, colour)) SetRole(label, QPalette::Window, colour);
        c->style = def.style;
        c->frame = def.frame;
        ApplyFrame(label, def.style, def.frame);
        c->widget = label;
        break;
      }
      case ControlKind::kButton: {
        auto* button = new QPushButton(Latin1(def.caption), window);
        button->setAutoDefault(false);
        const std::string event = def.name + "_Click";
        connect(button, &QPushButton::clicked, this, [this, event] { Dispatch(event); });
        c->widget = button;
        break;
      }
      case ControlKind::kProgress: {
        auto* bar = new ScoreBar(window);
        c->minimum = def.minimum;
        c->maximum = def.maximum;
        c->value = def.value;
        bar->setRange(def.minimum, def.maximum);
        bar->setTextVisible(true);
        bar->setAlignment(Qt::AlignCenter);
        bar->SetText(Latin1(def.text));
        c->widget = bar;
        break;
      }
      case ControlKind::kForm:
        break;  // the parser makes no second form
    }
    QFont font = window->font();
    if (!def.font_face.empty()) font.setFamily(Latin1(def.font_face));
    font.setPixelSize(PixelsForPoints(def.font_size));
    c->widget->setFont(font);
    c->widget->setObjectName(QString::fromStdString(def.name));
    c->widget->setGeometry(def.x, def.y, def.width, def.height);
    c->widget->setVisible(def.visible);
    built.push_back(std::move(c));
  }
  for (auto& c : built) {
    if (c->kind == ControlKind::kProgress) {
      const float shown = std::isnan(c->value) ? static_cast<float>(c->minimum) : c->value;
      c->bar()->setValue(static_cast<int>(std::lround(std::clamp(
          shown, static_cast<float>(c->minimum), static_cast<float>(c->maximum)))));
    }
  }

  // References in name-list order; the form is one of them.
  for (const std::string& name : image_.control_names) {
    if (name == form.name) {
      auto c = std::make_unique<Control>();
      c->kind = ControlKind::kForm;
      c->name = name;
      c->widget = window;
      controls_.push_back(std::move(c));
      continue;
    }
    for (auto& c : built) {
      if (c && c->name == name) {
        controls_.push_back(std::move(c));
        break;
      }
    }
  }
  for (auto& c : built) {
    if (c) unlisted_.push_back(std::move(c));
  }
}

QtRuntime::Control* QtRuntime::Find(ControlRef ref, ControlKind kind) {
  return Find(ref, kind, kind);
}

QtRuntime::Control* QtRuntime::Find(ControlRef ref, ControlKind kind1,
                                    ControlKind kind2) {
  if (ref < kFirstRef || ref - kFirstRef >= controls_.size()) return nullptr;
  Control* c = controls_[ref - kFirstRef].get();
  return c->kind == kind1 || c->kind == kind2 ? c : nullptr;
}

QtRuntime::Control* QtRuntime::ControlOf(QObject* object) {
  if (object == nullptr || !object->isWidgetType()) return nullptr;
  for (auto* list : {&controls_, &unlisted_}) {
    for (auto& c : *list) {
      if (c->widget == object) return c.get();
    }
  }
  return nullptr;
}

// ---- events -----------------------------------------------------------------

bool QtRuntime::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::Paint && !painted_ && watched == window_.data()) {
    painted_ = true;
    if (on_paint_) on_paint_();
    return false;
  }
  if (busy_ > 0 && IsUserInput(type)) {
    event->accept();
    return true;  // dropped: neither delivered now nor later
  }
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: {
      Control* c = ControlOf(watched);
      if (c == nullptr || c->kind == ControlKind::kButton) return false;
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) return false;
      if (type == QEvent::MouseButtonDblClick) {
        // The second press of a double click is a double click, not a
        // second click: its release clicks nothing.
        pressed_ = nullptr;
        Dispatch(c->name + "_DblClick");
      } else if (type == QEvent::MouseButtonPress) {
        pressed_ = watched;
      } else {
        const bool click = pressed_ == watched &&
                           c->widget->rect().contains(mouse->position().toPoint());
        pressed_ = nullptr;
        if (click) Dispatch(c->name + "_Click");
      }
      event->accept();
      return true;
    }
    case QEvent::FocusOut: {
      const auto reason = static_cast<QFocusEvent*>(event)->reason();
      Control* c = ControlOf(watched);
      if (c != nullptr && c->kind == ControlKind::kButton &&
          reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
        Dispatch(c->name + "_LostFocus");
      }
      return false;
    }
    default:
      return false;
  }
}

// On X, another client may destroy the window (xdotool windowclose, a
// session manager).  Qt then keeps running without it; the runtime takes
// it as the window's closing.
bool QtRuntime::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
  if (native_window_ == 0 || closed_ || type != "xcb_generic_event_t") return false;
  const auto* generic = static_cast<const xcb_generic_event_t*>(message);
  if ((generic->response_type & 0x7F) != XCB_DESTROY_NOTIFY) return false;
  const auto* destroyed = static_cast<const xcb_destroy_notify_event_t*>(message);
  if (destroyed->window == native_window_) {
    native_window_ = 0;
    OnWindowClosed();
  }
  return false;
}

void QtRuntime::Dispatch(const std::string& event) {
  if (busy_ > 0) return;
  const int index = image_.events.Find(event);
  if (index < 0) return;
  void (*handler)() = program_.handlers[static_cast<std::size_t>(index)];
  if (handler == nullptr) return;
  std::string failure;
  try {
    handler();
    return;
  } catch (const CallError& e) {
    failure = "a control operation failed with status " + std::to_string(e.status) +
              " (" + StatusText(e.status) + ")";
  } catch (const std::exception& e) {
    failure = std::string("unexpected error: ") + e.what();
  } catch (...) {
    failure = "unexpected error";
  }
  const std::string message = event + " stopped: " + failure;
  Report(message);
  try {
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Hebrew Letters"),
                                QString::fromStdString(message), QMessageBox::Ok,
                                window_.data());
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
  } catch (...) {
    // the report on stderr stands
  }
}

void QtRuntime::OnWindowClosed() {
  closed_ = true;
  if (busy_loop_ != nullptr) busy_loop_->quit();
}

void QtRuntime::ProcessEvents() {
  QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents;
  if (!closed_) flags |= QEventLoop::WaitForMoreEvents;
  QCoreApplication::processEvents(flags);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::int32_t QtRuntime::TestKeepRunning() { return closed_ ? 0 : -1; }

// ---- services ---------------------------------------------------------------

std::int32_t QtRuntime::DrawRandomInt(std::int32_t n) {
  if (n <= 0) return 0;
  return std::uniform_int_distribution<std::int32_t>(0, n - 1)(random_);
}

// The start tests each font path before it writes; that is when a
// temporary file left by a start that was killed while writing is removed.
std::int16_t QtRuntime::TestFileExists(const std::string& path) {
  RemoveStaleTemporaries(path);
  return ProgramFileExists(path);
}

// Messages name the file on this machine (or why there is none), never the
// program's own path for it.
int QtRuntime::WriteResourceToFile(const std::string& name, const std::string& path) {
  std::string error;
  const std::optional<std::string> local = MapProgramPath(path, &error);
  if (!local) {
    Report(error);
    return kErrNotFound;
  }
  const ResourceEntry* entry = image_.resources.Find(name);
  if (entry == nullptr) {
    Report(*local + ": cannot write it: the program has no resource " + name);
    return kErrNotFound;
  }
  std::vector<std::uint8_t> content;
  if (!ResourceSet::Content(*entry, content, &error)) {
    Report(*local + ": cannot write it: the program's resource " + name +
           " is damaged: " + error);
    return kErrIo;
  }
  const int status = WriteProgramFile(path, content, &error);
  if (status < 0) Report(error);
  return status;
}

int QtRuntime::OpenChannel(const std::string& name, std::int32_t mode,
                           std::int32_t channel) {
  const int status = channels_.Open(name, mode, channel);
  if (status < 0) Report("OpenChannel: " + channels_.last_error());
  return status;
}

std::int32_t QtRuntime::GetChannelLength(std::int32_t channel) {
  const std::int32_t length = channels_.Length(channel);
  if (length < 0) Report("GetChannelLength: " + channels_.last_error());
  return length;
}

int QtRuntime::ReadChannelString(std::int32_t count, std::int32_t channel,
                                 std::string& out) {
  const int status = channels_.Read(count, channel, out);
  if (status < 0) Report("ReadChannelString: " + channels_.last_error());
  return status;
}

int QtRuntime::CloseChannel(std::int32_t channel) {
  const int status = channels_.Close(channel);
  if (status < 0) Report("CloseChannel: " + channels_.last_error());
  return status;
}

// ---- control operations -----------------------------------------------------

int QtRuntime::SetCaption(ControlRef ref, const std::u16string& text) {
  Control* c = Find(ref, ControlKind::kLabel, ControlKind::kButton);
  if (c == nullptr) return kErrInvalidControl;
  const QString caption = QString::fromStdU16String(text);
  if (c->kind == ControlKind::kLabel) {
    c->label()->setText(caption);
  } else {
    c->button()->setText(caption);
  }
  return kOk;
}

int QtRuntime::SetBackColor(ControlRef ref, Colour colour) {
  Control* c = Find(ref, ControlKind::kLabel);
  if (c == nullptr) return kErrInvalidControl;
  QColor q;
  if (!ToQColor(colour, q)) return kErrInvalidArgument;
  SetRole(c->widget, QPalette::Window, q);
  return kOk;
}

int QtRuntime::SetForeColor(ControlRef ref, Colour colour) {
  Control* c = Find(ref, ControlKind::kLabel);
  if (c == nullptr) return kErrInvalidControl;
  QColor q;
  if (!ToQColor(colour, q)) return kErrInvalidArgument;
  SetRole(c->widget, QPalette::WindowText, q);
  return kOk;
}

int QtRuntime::SetVisible(ControlRef ref, std::int16_t flag) {
  Control* c = Find(ref, ControlKind::kLabel, ControlKind::kProgress);
  if (c == nullptr) return kErrInvalidControl;
  c->widget->setVisible(flag != kFalse);
  return kOk;
}

int QtRuntime::SetStyleValue(ControlRef ref, std::int32_t value) {
  Control* c = Find(ref, ControlKind::kLabel);
  if (c == nullptr) return kErrInvalidControl;
  if (value != kStyleNoFrame && value != kStyleRaised && value != kStyleSunken) {
    return kErrInvalidArgument;
  }
  c->style = value;
  ApplyFrame(c->label(), c->style, c->frame);
  return kOk;
}

int QtRuntime::SetSecondStyleValue(ControlRef ref, std::int32_t value) {
  Control* c = Find(ref, ControlKind::kLabel);
  if (c == nullptr) return kErrInvalidControl;
  if (value < 0 || value > kMaxFrameWidth) return kErrInvalidArgument;
  c->frame = value;
  ApplyFrame(c->label(), c->style, c->frame);
  return kOk;
}

int QtRuntime::SetFontName(ControlRef ref, const std::u16string& face) {
  Control* c = Find(ref, ControlKind::kLabel);
  if (c == nullptr) return kErrInvalidControl;
  if (face.empty()) return kErrInvalidArgument;
  QFont font = c->widget->font();
  font.setFamily(QString::fromStdU16String(face));
  c->widget->setFont(font);
  return kOk;
}

int QtRuntime::SetFontSize(ControlRef ref, float size) {
  Control* c = Find(ref, ControlKind::kLabel);
  if (c == nullptr) return kErrInvalidControl;
  if (!ValidFontSize(size)) return kErrInvalidArgument;
  QFont font = c->widget->font();
  font.setPixelSize(PixelsForPoints(size));
  c->widget->setFont(font);
  return kOk;
}

int QtRuntime::GetCaption(ControlRef ref, std::u16string& out) {
  Control* c = Find(ref, ControlKind::kButton);
  if (c == nullptr) return kErrInvalidControl;
  out = c->button()->text().toStdU16String();
  return kOk;
}

int QtRuntime::SetButtonFlag(ControlRef ref, std::int16_t flag) {
  Control* c = Find(ref, ControlKind::kButton);
  if (c == nullptr) return kErrInvalidControl;
  c->widget->setEnabled(flag != kFalse);
  return kOk;
}

int QtRuntime::GetValue(ControlRef ref, float& out) {
  Control* c = Find(ref, ControlKind::kProgress);
  if (c == nullptr) return kErrInvalidControl;
  out = c->value;
  return kOk;
}

int QtRuntime::SetValue(ControlRef ref, float value) {
  Control* c = Find(ref, ControlKind::kProgress);
  if (c == nullptr) return kErrInvalidControl;
  c->value = value;  // kept exactly; the bar shows it inside its range
  const float shown = std::isnan(value) ? static_cast<float>(c->minimum) : value;
  c->bar()->setValue(static_cast<int>(std::lround(std::clamp(
      shown, static_cast<float>(c->minimum), static_cast<float>(c->maximum)))));
  return kOk;
}

int QtRuntime::SetProgressText(ControlRef ref, const std::u16string& text) {
  Control* c = Find(ref, ControlKind::kProgress);
  if (c == nullptr) return kErrInvalidControl;
  c->bar()->SetText(QString::fromStdU16String(text));
  return kOk;
}

int QtRuntime::GetExtent(ControlRef ref, float& out) {
  if (Find(ref, ControlKind::kForm) == nullptr) return kErrInvalidControl;
  out = extent_;
  return kOk;
}

int QtRuntime::SetExtent(ControlRef ref, float extent) {
  if (Find(ref, ControlKind::kForm) == nullptr) return kErrInvalidControl;
  if (!std::isfinite(extent) || extent <= 0.0f) return kErrInvalidArgument;
  const int height = PixelsForExtent(extent);
  if (height < 1 || height > QWIDGETSIZE_MAX) return kErrInvalidArgument;
  extent_ = extent;
  window_->setFixedSize(form_width_, height);
  return kOk;
}

}  // namespace lq::qt
