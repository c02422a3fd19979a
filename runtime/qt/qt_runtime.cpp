// The Qt runtime's core: making and ending it, its lookups of controls,
// and its errors.  The rest of the class lives in the files named in
// qt_runtime.h.
#include "runtime/qt/qt_runtime.h"

#include <QApplication>
#include <QObject>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>

#include "runtime/qt/report.h"
#include "runtime/qt/widgets.h"

namespace lq::qt {

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

// ---- controls ---------------------------------------------------------------

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

}  // namespace lq::qt
