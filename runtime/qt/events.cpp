// Events: the input filter (busy-time drops, clicks, double clicks and
// lost focus), the X11 filter that notices a window destroyed from
// outside, dispatch by event name, and the event loop's entry points.
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFocusEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <exception>
#include <string>

#include <xcb/xcb.h>

#include "runtime/qt/qt_runtime.h"
#include "runtime/qt/report.h"
#include "runtime/qt/widgets.h"

namespace lq::qt {

namespace {

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

}  // namespace

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

}  // namespace lq::qt
