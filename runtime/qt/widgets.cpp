// The window, the score bar, the label frames and the bar's value (see
// widgets.h).
#include "runtime/qt/widgets.h"

#include <QCloseEvent>

#include <algorithm>
#include <cmath>
#include <utility>

namespace lq::qt {

FormWindow::FormWindow(std::function<void()> on_close)
    : on_close_(std::move(on_close)) {}

void FormWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  on_close_();
}

QString ScoreBar::text() const { return text_; }

void ScoreBar::SetText(const QString& text) {
  text_ = text;
  update();
}

void ApplyFrame(QLabel* label, int style, int width) {
  switch (style) {
    case kStyleRaised: label->setFrameStyle(QFrame::Panel | QFrame::Raised); break;
    case kStyleSunken: label->setFrameStyle(QFrame::Panel | QFrame::Sunken); break;
    default: label->setFrameStyle(QFrame::NoFrame); break;
  }
  label->setLineWidth(width);
}

void QtRuntime::Control::ShowValue() const {
  const float shown = std::isnan(value) ? static_cast<float>(minimum) : value;
  bar()->setValue(static_cast<int>(std::lround(
      std::clamp(shown, static_cast<float>(minimum), static_cast<float>(maximum)))));
}

}  // namespace lq::qt
