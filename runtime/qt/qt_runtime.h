// The Qt runtime: the window and its controls built from the form
// definition, event dispatch by name, sound, files, channels, random
// numbers and pauses.
//
// Dispatch: a left click (press and release on the same control) on a
// label, a progress control or the form's bare area, and a button's
// clicked(), run the handler bound to "<control>_Click"; a button losing
// the keyboard focus to another control runs "<control>_LostFocus".  The
// second press of a double click on a label, a progress control or the
// form is dispatched as "<control>_DblClick", which has no handler, and its
// release clicks nothing; a button keeps Qt's behaviour: a double click is
// two clicks.  A name the event table lacks reaches no code.  A CallError
// from a handler is caught there, reported on stderr and in a non-modal
// message box, and the event loop goes on.
//
// Looks: font sizes are points at 96 dpi (a point is 4/3 logical px), so
// the fixed-size layout holds at any screen resolution setting.  Colours
// come from a fixed table of the Windows default system colours and the
// window's palette is built from it, so the window looks the same under
// any desktop theme.  Label style 6 is a raised panel frame, 7 a sunken
// one, 0 none; the second style value is the frame's line width.
//
// Busy time: while a recording plays or a pause runs, a nested event loop
// keeps the window painted, while user input (mouse buttons, wheel, keys,
// touch) is dropped before it reaches any widget and no handler is
// dispatched, so no handler runs inside another.  Closing the window ends
// the busy time at once.
//
// Faces: the runtime registers the TrueType fonts of the program's own
// resource set with Qt's font database before the window is built, so the
// faces that labels ask for by name never depend on what stands in the
// fonts folder.
//
// The files of runtime/qt/ that hold the class and its helpers:
// - qt_runtime.cpp: making and ending it, the lookups of controls, errors;
// - check_image.cpp: CheckImage;
// - window_build.cpp: LoadForm and the window's build;
// - fonts.{h,cpp}: font sizes and the registration of the program's faces;
// - colours.{h,cpp}: the colour table, colour values, the palette;
// - widgets.{h,cpp}: the window, the score bar, label frames, Control;
// - events.cpp: the input and X11 filters, dispatch, the event loop calls;
// - controls.cpp: the control operations;
// - services.cpp: files, channels and random numbers;
// - playback.cpp: playback and pauses, the timing of the busy time;
// - report.{h,cpp}: Report, the line on stderr.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>

#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "runtime/channels.h"
#include "runtime/event_table.h"
#include "runtime/form_def.h"
#include "runtime/resource_set.h"
#include "runtime/runtime.h"
#include "runtime/qt/sound_output.h"

class QEventLoop;
class QWidget;

namespace lq::qt {

// The parts of a program image that the runtime reads, checked.
struct CheckedImage {
  ResourceSet resources;
  EventTable events;
  std::vector<std::string> control_names;
};

// Checks the resource set, the event table (every handler index inside
// the handler list) and the control-name list (kControlCount names).
std::optional<CheckedImage> CheckImage(const ProgramImage& program,
                                       std::string* error);

// The first handle LoadForm hands out; reference i is kFirstRef + i.
inline constexpr ControlRef kFirstRef = 0x100;

class QtRuntime final : public QObject,
                        public QAbstractNativeEventFilter,
                        public Runtime {
 public:
  // Needs a QApplication.  The image's spans must outlive the runtime.
  QtRuntime(const ProgramImage& program, CheckedImage image);
  ~QtRuntime() override;

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

  // The window (nullptr before LoadForm) and a control's widget (nullptr
  // for an unknown reference), for tests and screenshots.
  QWidget* window() const;
  QWidget* widget(ControlRef ref) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool nativeEventFilter(const QByteArray& type, void* message,
                         qintptr* result) override;

 private:
  struct Control;

  [[noreturn]] void Fatal(const std::string& message);
  void Build(const FormDef& form);
  Control* Find(ControlRef ref, ControlKind kind);
  Control* Find(ControlRef ref, ControlKind kind1, ControlKind kind2);
  Control* ControlOf(QObject* object);
  void Dispatch(const std::string& event);
  void OnWindowClosed();
  void RegisterEmbeddedFonts();

  // Busy time (playback.cpp).  `step` is asked at the start, whenever the
  // time it asked for has come, and whenever `*poke` is called while the
  // busy time lasts: it returns the milliseconds to wait before it is asked
  // again, or a negative value when the wait is over.  A window close ends
  // the busy time at once.  User input is dropped meanwhile.
  void RunBusy(const std::function<std::int64_t()>& step,
               std::function<void()>* poke = nullptr);
  // Waits `ms` milliseconds, no less, as busy time.
  void BusyFor(std::int64_t ms);
  // The sound server's client, made at the first play; what stderr was
  // last told of the sound.
  SoundOutput& Sound();
  void SoundIsUp();
  void SoundIsDown(const std::string& why);
  // Busy time until the window has been painted once (or a short guard).
  void WaitForFirstPaint();

  const ProgramImage program_;
  CheckedImage image_;
  ChannelTable channels_;
  std::mt19937 random_;
  std::vector<std::unique_ptr<Control>> controls_;  // name-list order
  std::vector<std::unique_ptr<Control>> unlisted_;  // defined, not listed
  QPointer<QWidget> window_;
  int form_width_ = 0;
  float extent_ = 0.0f;
  bool closed_ = false;
  int busy_ = 0;
  QEventLoop* busy_loop_ = nullptr;
  QPointer<QObject> pressed_;
  bool painted_ = false;
  std::function<void()> on_paint_;
  std::uintptr_t native_window_ = 0;  // the X window, on the xcb platform
  std::unique_ptr<SoundOutput> sound_;
  std::function<void()> sound_poke_;  // re-checks the play that waits
  QElapsedTimer connecting_since_;
  enum class Heard { kUnknown, kUp, kDown } heard_ = Heard::kUnknown;
  bool said_unplayable_ = false;
  std::string fatal_message_;
};

}  // namespace lq::qt
