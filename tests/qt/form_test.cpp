// LoadForm: the window and its controls in their start state, the
// references, and events delivered by name.
#include <QFontInfo>
#include <QProgressBar>

#include <set>

#include "tests/qt/qt_fixture.h"

namespace lq::testing {
namespace {

using Log = std::vector<std::string>;

constexpr const char* kNameCaptions[27] = {
    "alef",  "bet/vet", "gimel",  "dalet",    "hey",      "vav",       "zayin",
    "chet",  "tet",     "yud",    "kaf/haf",  "lamed",    "mem",       "nun",
    "samech", "ayin",   "pey/fey", "tzadik",  "quf",      "resh",      "shin/sin",
    "taf",   "kaf sofit", "mem sofit", "nun sofit", "pey sofit", "tzadik sofit"};

using FormTest = QtRuntimeTest;

TEST_F(FormTest, ReferencesFollowTheControlNameList) {
  std::set<ControlRef> distinct(refs_.begin(), refs_.end());
  EXPECT_EQ(distinct.size(), refs_.size());
  EXPECT_EQ(distinct.count(kNoControl), 0u);
  EXPECT_EQ(runtime_->widget(refs_[0]), runtime_->window());
  for (std::size_t i = 1; i < refs_.size(); ++i) {
    QWidget* w = runtime_->widget(refs_[i]);
    ASSERT_NE(w, nullptr) << kNames[i];
    EXPECT_EQ(w->objectName().toStdString(), kNames[i]);
    EXPECT_EQ(w->window(), runtime_->window()) << kNames[i];
    const std::string name = kNames[i];
    const std::string kind = name.substr(0, 3);
    const bool right_kind = kind == "lbl"   ? qobject_cast<QLabel*>(w) != nullptr
                            : kind == "cmd" ? qobject_cast<QPushButton*>(w) != nullptr
                                            : qobject_cast<QProgressBar*>(w) != nullptr;
    EXPECT_TRUE(right_kind) << name;
  }
  EXPECT_EQ(W("lbl55"), runtime_->widget(refs_[25]));
  EXPECT_EQ(runtime_->widget(refs_[25])->objectName(), "lbl55");
  EXPECT_EQ(runtime_->widget(refs_[26])->objectName(), "lbl26");
}

TEST_F(FormTest, StartsInTheStateTheQuizReliesOn) {
  QWidget* window = runtime_->window();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), "Hebrew Letters");
  EXPECT_EQ(window->height(), 790);
  float extent = 0.0f;
  EXPECT_EQ(runtime_->GetExtent(Ref("frm1"), extent), kOk);
  EXPECT_EQ(extent, 11850.0f);
  EXPECT_EQ(runtime_->TestKeepRunning(), -1);

  for (int i = 0; i < 27; ++i) {
    const std::string name = "lbl" + std::to_string(i + 2);
    ASSERT_NE(Label(name), nullptr) << name;
    EXPECT_EQ(Label(name)->text().toStdString(), kNameCaptions[i]) << name;
    EXPECT_TRUE(Label(name)->isVisible()) << name;
  }
  std::u16string caption;
  EXPECT_EQ(runtime_->GetCaption(Ref("cmd1"), caption), kOk);
  EXPECT_EQ(caption, u"PC Frank");
  EXPECT_EQ(runtime_->GetCaption(Ref("cmd2"), caption), kOk);
  EXPECT_EQ(caption, u"ALPHA");
  EXPECT_EQ(QFontInfo(W("lbl55")->font()).family(), "PCFrank");
  for (const char* extra : {"lbl1", "lbl29", "lbl30", "lbl31", "lbl32"}) {
    EXPECT_FALSE(W(extra)->isVisible()) << extra;
  }
  EXPECT_TRUE(W("pro1")->isVisible());
  EXPECT_GE(W("pro1")->y(), 753);
}

TEST_F(FormTest, ClickRunsTheHandlerOfExactlyThatName) {
  Click(W("lbl5"));
  EXPECT_EQ(HandlerLog(), Log{"lbl5_Click"});
  HandlerLog().clear();
  Click(W("lbl55"));
  EXPECT_EQ(HandlerLog(), Log{"lbl55_Click"});
  HandlerLog().clear();
  Click(W("lbl28"));
  Click(W("cmd1"));
  Click(W("cmd2"));
  EXPECT_EQ(HandlerLog(), (Log{"lbl28_Click", "cmd1_Click", "cmd2_Click"}));
}

TEST_F(FormTest, ClicksWithoutABoundHandlerRunNothing) {
  for (const char* extra : {"lbl1", "lbl29", "lbl30", "lbl31", "lbl32"}) {
    ASSERT_EQ(runtime_->SetVisible(Ref(extra), kTrue), kOk);
    Click(W(extra));
  }
  Click(W("pro1"));
  Click(runtime_->window(), QPoint(4, 4), QPoint(4, 4));  // the form's bare area
  // Pressed on a label, released off it: no click.
  Click(W("lbl5"), QPoint(5, 5), QPoint(-20, 5));
  // Not the left button.
  QWidget* lbl6 = W("lbl6");
  const QPointF at(lbl6->rect().center());
  QMouseEvent press(QEvent::MouseButtonPress, at, lbl6->mapToGlobal(at), Qt::RightButton,
                    Qt::RightButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, lbl6->mapToGlobal(at),
                      Qt::RightButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(lbl6, &press);
  QApplication::sendEvent(lbl6, &release);
  EXPECT_EQ(HandlerLog(), Log{});
}

// As a double click reaches a widget: press, release, double click (the
// second press), release.
void DoubleClick(QWidget* widget) {
  const QPointF at(widget->rect().center());
  const QPointF global = widget->mapToGlobal(at);
  for (const auto& [type, buttons] :
       {std::pair{QEvent::MouseButtonPress, Qt::LeftButton},
        std::pair{QEvent::MouseButtonRelease, Qt::NoButton},
        std::pair{QEvent::MouseButtonDblClick, Qt::LeftButton},
        std::pair{QEvent::MouseButtonRelease, Qt::NoButton}}) {
    QMouseEvent event(type, at, global, Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
  }
}

TEST_F(FormTest, ADoubleClickIsOneClickOnALabelAndTwoOnAButton) {
  DoubleClick(W("lbl55"));
  DoubleClick(W("lbl7"));
  EXPECT_EQ(HandlerLog(), (Log{"lbl55_Click", "lbl7_Click"}));
  HandlerLog().clear();
  DoubleClick(W("cmd2"));  // a button keeps its own behaviour
  EXPECT_EQ(HandlerLog(), (Log{"cmd2_Click", "cmd2_Click"}));
  HandlerLog().clear();
  Click(W("lbl55"));  // and the next single click counts again
  EXPECT_EQ(HandlerLog(), Log{"lbl55_Click"});
}

// The window has been painted when LoadForm returns, before the start goes
// on to its first sound.
TEST(FormPaintTest, LoadFormReturnsOnceTheWindowHasBeenPainted) {
  struct PaintWatch : QObject {
    bool painted = false;
    bool eventFilter(QObject* watched, QEvent* e) override {
      if (e->type() == QEvent::Paint && watched->objectName() == "frm1") painted = true;
      return false;
    }
  } watch;
  qApp->installEventFilter(&watch);
  const ProgramImage image = RecordingImage();
  auto runtime = StartRuntime(image);
  ASSERT_TRUE(runtime);
  std::array<ControlRef, kControlCount> refs{};
  runtime->LoadForm("frm1", 2, 0, 0, refs.data());
  EXPECT_TRUE(watch.painted);
  qApp->removeEventFilter(&watch);
  SetRuntime(nullptr);
}

TEST_F(FormTest, ProcessEventsDispatchesWaitingClicks) {
  QWidget* lbl7 = W("lbl7");
  const QPointF at(lbl7->rect().center());
  QCoreApplication::postEvent(lbl7, new QMouseEvent(QEvent::MouseButtonPress, at,
                                                    lbl7->mapToGlobal(at), Qt::LeftButton,
                                                    Qt::LeftButton, Qt::NoModifier));
  QCoreApplication::postEvent(lbl7, new QMouseEvent(QEvent::MouseButtonRelease, at,
                                                    lbl7->mapToGlobal(at), Qt::LeftButton,
                                                    Qt::NoButton, Qt::NoModifier));
  runtime_->ProcessEvents();
  EXPECT_EQ(HandlerLog(), Log{"lbl7_Click"});
}

TEST_F(FormTest, ButtonLosingTheFocusRunsItsLostFocusHandler) {
  QWidget* window = runtime_->window();
  window->activateWindow();
  QCoreApplication::processEvents();
  Button("cmd1")->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(Button("cmd1")->hasFocus());
  Button("cmd2")->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(HandlerLog(), Log{"cmd1_LostFocus"});

  // cmd2 has no LostFocus handler; the button flag off and on takes the
  // focus off cmd1.
  HandlerLog().clear();
  Button("cmd1")->setFocus(Qt::TabFocusReason);
  ASSERT_EQ(runtime_->SetButtonFlag(Ref("cmd1"), kFalse), kOk);
  ASSERT_EQ(runtime_->SetButtonFlag(Ref("cmd1"), kTrue), kOk);
  EXPECT_FALSE(Button("cmd1")->hasFocus());
  EXPECT_TRUE(Button("cmd1")->isEnabled());
  EXPECT_EQ(HandlerLog(), Log{"cmd1_LostFocus"});
}

TEST_F(FormTest, CallErrorInAHandlerIsReportedAndTheLoopGoesOn) {
  ThrowingHandler() = "lbl5_Click";
  ::testing::internal::CaptureStderr();
  Click(W("lbl5"));
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("lbl5_Click"), std::string::npos) << err;
  EXPECT_NE(err.find(std::to_string(kThrownStatus)), std::string::npos) << err;
  const auto boxes = OpenMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_FALSE(boxes[0]->isModal());
  EXPECT_TRUE(boxes[0]->text().contains("lbl5_Click"));

  Click(W("lbl6"));
  QCoreApplication::postEvent(qApp, new QEvent(QEvent::User));  // so it need not wait
  runtime_->ProcessEvents();
  EXPECT_EQ(HandlerLog(), (Log{"lbl5_Click", "lbl6_Click"}));
  EXPECT_EQ(runtime_->TestKeepRunning(), -1);
}

TEST_F(FormTest, ClosingTheWindowEndsTheRun) {
  runtime_->window()->close();
  EXPECT_EQ(runtime_->TestKeepRunning(), 0);
  runtime_->ProcessEvents();  // returns without waiting once closed
  EXPECT_EQ(runtime_->TestKeepRunning(), 0);
}

}  // namespace
}  // namespace lq::testing
