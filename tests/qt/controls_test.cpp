// Control operations: references and kinds, arguments, and what each one
// does to its widget.
#include <QFontInfo>
#include <QProgressBar>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <set>

#include "runtime/files.h"
#include "tests/qt/qt_fixture.h"

namespace lq::testing {
namespace {

using ControlsTest = QtRuntimeTest;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Every control operation, with good arguments, and the kinds it serves.
struct Operation {
  const char* name;
  std::set<std::string> kinds;  // name prefixes
  std::function<int(Runtime&, ControlRef)> call;
};

std::vector<Operation> Operations() {
  return {
      {"SetCaption", {"lbl", "cmd"}, [](Runtime& r, ControlRef c) { return r.SetCaption(c, u"x"); }},
      {"SetBackColor", {"lbl"}, [](Runtime& r, ControlRef c) { return r.SetBackColor(c, 0x8000000F); }},
      {"SetForeColor", {"lbl"}, [](Runtime& r, ControlRef c) { return r.SetForeColor(c, 0xFF); }},
      {"SetVisible", {"lbl", "pro"}, [](Runtime& r, ControlRef c) { return r.SetVisible(c, kTrue); }},
      {"SetStyleValue", {"lbl"}, [](Runtime& r, ControlRef c) { return r.SetStyleValue(c, 6); }},
      {"SetSecondStyleValue", {"lbl"}, [](Runtime& r, ControlRef c) { return r.SetSecondStyleValue(c, 2); }},
      {"SetFontName", {"lbl"}, [](Runtime& r, ControlRef c) { return r.SetFontName(c, u"PCMiriam"); }},
      {"SetFontSize", {"lbl"}, [](Runtime& r, ControlRef c) { return r.SetFontSize(c, 20.0f); }},
      {"GetCaption", {"cmd"}, [](Runtime& r, ControlRef c) { std::u16string s; return r.GetCaption(c, s); }},
      {"SetButtonFlag", {"cmd"}, [](Runtime& r, ControlRef c) { return r.SetButtonFlag(c, kTrue); }},
      {"GetValue", {"pro"}, [](Runtime& r, ControlRef c) { float v; return r.GetValue(c, v); }},
      {"SetValue", {"pro"}, [](Runtime& r, ControlRef c) { return r.SetValue(c, 3.0f); }},
      {"SetProgressText", {"pro"}, [](Runtime& r, ControlRef c) { return r.SetProgressText(c, u"x"); }},
      {"GetExtent", {"frm"}, [](Runtime& r, ControlRef c) { float v; return r.GetExtent(c, v); }},
      {"SetExtent", {"frm"}, [](Runtime& r, ControlRef c) { return r.SetExtent(c, 11850.0f); }},
  };
}

TEST_F(ControlsTest, EveryOperationChecksReferenceAndKind) {
  const ControlRef unknown[] = {kNoControl, qt::kFirstRef - 1,
                                qt::kFirstRef + kControlCount, 0xFFFFFFFFu};
  for (const Operation& op : Operations()) {
    for (const char* name : {"frm1", "lbl2", "lbl55", "lbl1", "cmd1", "pro1"}) {
      const bool serves = op.kinds.count(std::string(name).substr(0, 3)) > 0;
      const int status = op.call(*runtime_, Ref(name));
      if (serves) {
        EXPECT_EQ(status, kOk) << op.name << " on " << name;
      } else {
        EXPECT_EQ(status, kErrInvalidControl) << op.name << " on " << name;
      }
    }
    for (ControlRef ref : unknown) {
      EXPECT_EQ(op.call(*runtime_, ref), kErrInvalidControl) << op.name << " on " << ref;
    }
  }
}

TEST_F(ControlsTest, BadArgumentsFailAndChangeNothing) {
  const ControlRef lbl55 = Ref("lbl55"), frm1 = Ref("frm1");
  const int pixels = W("lbl55")->font().pixelSize();
  for (float size : {0.0f, -1.0f, kNaN, kInf, -kInf, 1e6f}) {
    EXPECT_EQ(runtime_->SetFontSize(lbl55, size), kErrInvalidArgument) << size;
  }
  EXPECT_EQ(W("lbl55")->font().pixelSize(), pixels);
  EXPECT_EQ(runtime_->SetFontName(lbl55, u""), kErrInvalidArgument);
  for (int style : {-1, 1, 5, 8}) {
    EXPECT_EQ(runtime_->SetStyleValue(lbl55, style), kErrInvalidArgument) << style;
  }
  EXPECT_EQ(runtime_->SetSecondStyleValue(lbl55, -1), kErrInvalidArgument);
  // System colours stop at index 30.
  for (Colour colour : {0x8000001Fu, 0x80000063u, 0xFFFFFFFFu}) {
    EXPECT_LT(runtime_->SetBackColor(lbl55, colour), 0) << std::hex << colour;
    EXPECT_LT(runtime_->SetForeColor(lbl55, colour), 0) << std::hex << colour;
  }
  EXPECT_EQ(runtime_->SetBackColor(lbl55, 0x8000001Eu), kOk);
  for (float extent : {0.0f, -11850.0f, kNaN, kInf, 1e12f}) {
    EXPECT_EQ(runtime_->SetExtent(frm1, extent), kErrInvalidArgument) << extent;
  }
  float extent = 0.0f;
  EXPECT_EQ(runtime_->GetExtent(frm1, extent), kOk);
  EXPECT_EQ(extent, 11850.0f);
  EXPECT_EQ(runtime_->window()->height(), 790);
}

TEST_F(ControlsTest, ExtentRoundTripsExactlyAndSetsTheHeight) {
  const ControlRef frm1 = Ref("frm1");
  const std::pair<float, int> cases[] = {
      {11295.0f, 753}, {11850.0f, 790}, {12345.678f, 823}, {15.0f, 1}};
  for (const auto& [extent, height] : cases) {
    ASSERT_EQ(runtime_->SetExtent(frm1, extent), kOk) << extent;
    float back = 0.0f;
    EXPECT_EQ(runtime_->GetExtent(frm1, back), kOk);
    EXPECT_EQ(back, extent);
    EXPECT_EQ(runtime_->window()->height(), height) << extent;
    EXPECT_EQ(runtime_->window()->width(), 1180) << extent;
  }
}

TEST_F(ControlsTest, ProgressKeepsTheExactValueAndShowsItInRange) {
  const ControlRef pro1 = Ref("pro1");
  auto* bar = qobject_cast<QProgressBar*>(W("pro1"));
  ASSERT_NE(bar, nullptr);
  const std::pair<float, int> cases[] = {
      {0.0f, 0}, {1.0f, 1}, {42.4f, 42}, {-1.0f, 0}, {-3.25f, 0},
      {101.0f, 100}, {1e9f, 100}, {0.1f, 0}, {kInf, 100}, {-kInf, 0}};
  for (const auto& [value, shown] : cases) {
    ASSERT_EQ(runtime_->SetValue(pro1, value), kOk) << value;
    float back = 123.0f;
    EXPECT_EQ(runtime_->GetValue(pro1, back), kOk);
    EXPECT_EQ(back, value);
    EXPECT_EQ(bar->value(), shown) << value;
  }
  // Counting on from beyond the range keeps counting exactly.
  ASSERT_EQ(runtime_->SetValue(pro1, -5.0f), kOk);
  for (int i = 0; i < 3; ++i) {
    float v = 0.0f;
    runtime_->GetValue(pro1, v);
    runtime_->SetValue(pro1, v + 1.0f);
  }
  float v = 0.0f;
  runtime_->GetValue(pro1, v);
  EXPECT_EQ(v, -2.0f);
  EXPECT_EQ(bar->value(), 0);

  EXPECT_EQ(runtime_->SetProgressText(pro1, u"3  Right / 1  Wrong"), kOk);
  EXPECT_EQ(bar->text(), "3  Right / 1  Wrong");
  EXPECT_EQ(runtime_->SetProgressText(pro1, u"100 %p"), kOk);
  EXPECT_EQ(bar->text(), "100 %p");  // shown as handed over
  EXPECT_EQ(runtime_->SetVisible(pro1, kFalse), kOk);
  EXPECT_FALSE(bar->isVisible());
  EXPECT_EQ(runtime_->SetVisible(pro1, kTrue), kOk);
  EXPECT_TRUE(bar->isVisible());
}

TEST_F(ControlsTest, LabelLooks) {
  const ControlRef lbl2 = Ref("lbl2");
  QLabel* label = Label("lbl2");
  const struct {
    Colour value;
    QColor colour;
  } colours[] = {
      {0x000000FF, QColor(255, 0, 0)},      // red is the low byte
      {0x00FF0000, QColor(0, 0, 255)},
      {0x00123456, QColor(0x56, 0x34, 0x12)},
      {0x80000008, QColor(0, 0, 0)},        // window text
      {0x8000000F, QColor(0xEC, 0xE9, 0xD8)},  // button face
      {0x80000000, QColor(0xD4, 0xD0, 0xC8)},  // scroll bar
  };
  for (const auto& c : colours) {
    ASSERT_EQ(runtime_->SetBackColor(lbl2, c.value), kOk);
    EXPECT_EQ(label->palette().color(QPalette::Window), c.colour) << std::hex << c.value;
    ASSERT_EQ(runtime_->SetForeColor(lbl2, c.value), kOk);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), c.colour) << std::hex << c.value;
  }
  EXPECT_TRUE(label->autoFillBackground());

  ASSERT_EQ(runtime_->SetStyleValue(lbl2, 7), kOk);
  EXPECT_EQ(label->frameShape(), QFrame::Panel);
  EXPECT_EQ(label->frameShadow(), QFrame::Sunken);
  ASSERT_EQ(runtime_->SetStyleValue(lbl2, 6), kOk);
  EXPECT_EQ(label->frameShadow(), QFrame::Raised);
  ASSERT_EQ(runtime_->SetSecondStyleValue(lbl2, 0), kOk);
  EXPECT_EQ(label->lineWidth(), 0);
  EXPECT_EQ(label->frameShape(), QFrame::Panel);  // the style stays
  ASSERT_EQ(runtime_->SetSecondStyleValue(lbl2, 2), kOk);
  EXPECT_EQ(label->lineWidth(), 2);
  EXPECT_EQ(label->frameShadow(), QFrame::Raised);

  ASSERT_EQ(runtime_->SetCaption(lbl2, u"\u05D0 A"), kOk);
  EXPECT_EQ(label->text(), QString::fromUtf16(u"\u05D0 A"));
  EXPECT_EQ(runtime_->SetVisible(lbl2, kFalse), kOk);
  EXPECT_FALSE(label->isVisible());
}

TEST_F(ControlsTest, FontFaceAndSizeOfTheBigLabel) {
  const ControlRef lbl55 = Ref("lbl55");
  ASSERT_EQ(runtime_->SetFontName(lbl55, u"PCMiriam"), kOk);
  EXPECT_EQ(QFontInfo(W("lbl55")->font()).family(), "PCMiriam");
  ASSERT_EQ(runtime_->SetFontSize(lbl55, 80.0f), kOk);
  EXPECT_EQ(W("lbl55")->font().pixelSize(), 107);  // points at 96 dpi
  ASSERT_EQ(runtime_->SetFontName(lbl55, u"PCFrank"), kOk);
  EXPECT_EQ(QFontInfo(W("lbl55")->font()).family(), "PCFrank");
  EXPECT_EQ(W("lbl55")->font().pixelSize(), 107);  // the face leaves the size
  ASSERT_EQ(runtime_->SetFontSize(lbl55, 190.0f), kOk);
  EXPECT_EQ(W("lbl55")->font().pixelSize(), 253);
}

TEST_F(ControlsTest, ButtonCaptionAndFlag) {
  const ControlRef cmd1 = Ref("cmd1");
  for (const std::u16string caption : {u"PC Miriam", u"", u"a & b", u"\u05D0"}) {
    ASSERT_EQ(runtime_->SetCaption(cmd1, caption), kOk);
    std::u16string back = u"stale";
    EXPECT_EQ(runtime_->GetCaption(cmd1, back), kOk);
    EXPECT_EQ(back, caption);
  }
  EXPECT_EQ(runtime_->SetButtonFlag(cmd1, kFalse), kOk);
  EXPECT_FALSE(Button("cmd1")->isEnabled());
  EXPECT_EQ(runtime_->SetButtonFlag(cmd1, kTrue), kOk);
  EXPECT_TRUE(Button("cmd1")->isEnabled());
}

TEST_F(ControlsTest, RaiseCallErrorThrowsTheStatus) {
  try {
    runtime_->RaiseCallError(-4);
    FAIL() << "returned";
  } catch (const CallError& e) {
    EXPECT_EQ(e.status, -4);
  }
}

TEST_F(ControlsTest, DrawRandomIntStaysInRange) {
  for (std::int32_t n : {0, -5, 1}) EXPECT_EQ(runtime_->DrawRandomInt(n), 0) << n;
  std::set<std::int32_t> seen;
  for (int i = 0; i < 3000; ++i) {
    const std::int32_t v = runtime_->DrawRandomInt(27);
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 27);
    seen.insert(v);
  }
  EXPECT_EQ(seen.size(), 27u);
}

TEST_F(ControlsTest, FilesAndChannelsOverTheEmbeddedSet) {
  const std::string path = std::string(kWindowsFontsFolder) + "\\copy-test.ttf";
  const auto local = MapProgramPath(path);
  ASSERT_TRUE(local);
  std::filesystem::remove(*local);
  EXPECT_EQ(runtime_->TestFileExists(path), kFalse);
  EXPECT_EQ(runtime_->WriteResourceToFile(":NewHebrew", path), kOk);
  EXPECT_EQ(runtime_->TestFileExists(path), kTrue);
  std::ifstream in(*local, std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(written, EmbeddedContent(":NewHebrew"));
  std::filesystem::remove(*local);

  ::testing::internal::CaptureStderr();
  EXPECT_LT(runtime_->WriteResourceToFile(":nothing", path), 0);
  EXPECT_LT(runtime_->WriteResourceToFile(":NewHebrew", "D:\\elsewhere.ttf"), 0);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(":nothing"), std::string::npos) << err;
  EXPECT_NE(err.find("D:\\elsewhere.ttf"), std::string::npos) << err;
  EXPECT_EQ(runtime_->TestFileExists(path), kFalse);

  ASSERT_EQ(runtime_->OpenChannel(":online", 0x4001, 1), kOk);
  EXPECT_EQ(runtime_->GetChannelLength(1), 9306);
  std::string data;
  EXPECT_EQ(runtime_->ReadChannelString(9306, 1, data), kOk);
  EXPECT_EQ(data, EmbeddedContent(":online"));
  EXPECT_EQ(runtime_->CloseChannel(1), kOk);

  ::testing::internal::CaptureStderr();
  EXPECT_LT(runtime_->OpenChannel(":nothing", 0x4001, 1), 0);
  EXPECT_LT(runtime_->GetChannelLength(1), 0);
  EXPECT_LT(runtime_->ReadChannelString(1, 1, data), 0);
  EXPECT_LT(runtime_->CloseChannel(1), 0);
  err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("OpenChannel"), std::string::npos) << err;
  EXPECT_NE(err.find("CloseChannel"), std::string::npos) << err;
}

}  // namespace
}  // namespace lq::testing
