// The control operations: captions, colours, visibility, label frames and
// fonts, the buttons' flag, the progress bar's value and text, and the
// form's extent.  An unknown reference or one of the wrong kind is
// kErrInvalidControl; a value out of range is kErrInvalidArgument.
#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>
#include <QWidget>

#include <cmath>
#include <cstdint>
#include <string>

#include "runtime/form_def.h"
#include "runtime/qt/colours.h"
#include "runtime/qt/fonts.h"
#include "runtime/qt/qt_runtime.h"
#include "runtime/qt/widgets.h"

namespace lq::qt {

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
  c->ShowValue();
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
