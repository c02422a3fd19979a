// A Qt runtime over the embedded resource set and the program's own event
// table and control-name list, with handlers that record their names.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QWidget>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "form/tables.h"
#include "media/embedded.h"
#include "runtime/qt/qt_runtime.h"
#include "runtime/resource_set.h"

namespace lq::testing {

// The names of the handlers that ran, in order.
std::vector<std::string>& HandlerLog();
// The handler of this event name throws CallError{kThrownStatus}.
std::string& ThrowingHandler();
inline constexpr int kThrownStatus = -7;

// The program's tables with recording handlers; resources as given
// (default: the embedded set).
ProgramImage RecordingImage(
    std::span<const std::uint8_t> resources = EmbeddedResourceSet());

// The control-name list, as the program stores it.
inline const std::array<const char*, kControlCount> kNames = {
    "frm1",  "lbl2",  "lbl3",  "lbl4",  "lbl5",  "lbl6",  "lbl7",  "lbl8",
    "lbl9",  "lbl10", "lbl11", "lbl12", "lbl13", "lbl14", "lbl15", "lbl16",
    "lbl17", "lbl18", "lbl19", "lbl20", "lbl21", "lbl22", "lbl23", "lbl24",
    "lbl25", "lbl55", "lbl26", "lbl27", "lbl28", "cmd1",  "cmd2",  "pro1",
    "lbl1",  "lbl29", "lbl30", "lbl31", "lbl32"};

// A Qt runtime over `image`, made the program's runtime; nullptr (with a
// test failure) when the image does not check.
std::unique_ptr<qt::QtRuntime> StartRuntime(const ProgramImage& image);

// The content of an embedded resource (unpacked).
std::string EmbeddedContent(const std::string& name);

// A left click: press and release at `pos` (default: the middle).
void Click(QWidget* widget);
void Click(QWidget* widget, QPoint press_at, QPoint release_at);

// The message boxes that are open.
std::vector<QMessageBox*> OpenMessageBoxes();

// Runs the Qt runtime with the form loaded.
class QtRuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  ControlRef Ref(const std::string& name) const;
  QWidget* W(const std::string& name) const { return runtime_->widget(Ref(name)); }
  QLabel* Label(const std::string& name) const { return qobject_cast<QLabel*>(W(name)); }
  QPushButton* Button(const std::string& name) const {
    return qobject_cast<QPushButton*>(W(name));
  }

  ProgramImage image_;
  std::unique_ptr<qt::QtRuntime> runtime_;
  std::array<ControlRef, kControlCount> refs_{};
};

}  // namespace lq::testing
