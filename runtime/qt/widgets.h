// The Qt runtime's widgets: the top-level window, the progress bar that
// shows its own text, the label frames, and the runtime's record of each
// control it built.
#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>

#include "runtime/form_def.h"
#include "runtime/qt/qt_runtime.h"

class QCloseEvent;

namespace lq::qt {

// The top-level window; reports its closing.
class FormWindow final : public QWidget {
 public:
  explicit FormWindow(std::function<void()> on_close);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  std::function<void()> on_close_;
};

// A progress bar that shows the text handed to it, as it stands.
class ScoreBar final : public QProgressBar {
 public:
  using QProgressBar::QProgressBar;
  QString text() const override;
  void SetText(const QString& text);

 private:
  QString text_;
};

// kStyleRaised is a raised panel frame, kStyleSunken a sunken one, any
// other style none; `width` is the frame's line width.
void ApplyFrame(QLabel* label, int style, int width);

// What the runtime keeps of each control it built.
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

  // A progress control's bar shows `value` rounded and held inside
  // [minimum, maximum]; a NaN shows as the minimum.
  void ShowValue() const;
};

}  // namespace lq::qt
