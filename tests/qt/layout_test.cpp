// The quiz window as it looks: every caption fits its control in name and
// value mode, the glyphs fit the big label, and screenshots of the main
// states are written to <build>/screenshots for a look.
#include <QDir>
#include <QFontMetricsF>
#include <QPixmap>
#include <QProgressBar>

#include "tests/qt/qt_fixture.h"

namespace lq::testing {
namespace {

constexpr const char* kValues[27] = {"1",  "2",  "3",   "4",   "5",   "6",   "7",
                                     "8",  "9",  "10",  "20",  "30",  "40",  "50",
                                     "60", "70", "80",  "90",  "100", "200", "300",
                                     "400", "20", "40", "50",  "80",  "90"};

// Where a text lands when a widget draws it centred in `area`, by its font.
QRectF InkRect(const QFont& font, const QRectF& area, const QString& text) {
  const QFontMetricsF m(font);
  const QRectF ink = m.tightBoundingRect(text);
  const QPointF origin(area.left() + (area.width() - m.horizontalAdvance(text)) / 2.0,
                       area.top() + (area.height() - m.height()) / 2.0 + m.ascent());
  return ink.translated(origin);
}

class LayoutTest : public QtRuntimeTest {
 protected:
  void ExpectCaptionFits(const std::string& name, const QString& text, int spare) {
    QWidget* w = W(name);
    const QFontMetricsF m(w->font());
    QRect area = w->rect();
    if (auto* frame = qobject_cast<QFrame*>(w)) area = frame->contentsRect();
    EXPECT_LE(m.horizontalAdvance(text) + 2 * spare, area.width())
        << name << " cannot hold \"" << text.toStdString() << "\"";
    EXPECT_LE(m.height() + spare, area.height())
        << name << " is too low for \"" << text.toStdString() << "\"";
  }

  void Set(const std::string& name, const std::u16string& caption) {
    ASSERT_EQ(runtime_->SetCaption(Ref(name), caption), kOk) << name;
  }

  // The looks the quiz gives the big label.
  void GlyphLook(const std::u16string& glyph) {
    const ControlRef c = Ref("lbl55");
    runtime_->SetFontSize(c, 190.0f);
    runtime_->SetStyleValue(c, 7);
    runtime_->SetSecondStyleValue(c, 0);
    runtime_->SetForeColor(c, 0x80000008);
    runtime_->SetBackColor(c, 0x80000000);
    runtime_->SetCaption(c, glyph);
  }
  void ValueLook(const std::u16string& value, float size) {
    const ControlRef c = Ref("lbl55");
    runtime_->SetFontSize(c, size);
    runtime_->SetCaption(c, value);
    runtime_->SetForeColor(c, 0x000000FF);
    runtime_->SetBackColor(c, 0x8000000F);
    runtime_->SetStyleValue(c, 6);
    runtime_->SetSecondStyleValue(c, 2);
  }
  void ValueMode() {
    Set("cmd2", u"# VAL");
    for (int i = 0; i < 27; ++i) {
      const std::string v = kValues[i];
      Set("lbl" + std::to_string(i + 2), std::u16string(v.begin(), v.end()));
    }
    for (const char* extra : {"lbl1", "lbl29", "lbl30", "lbl31", "lbl32"}) {
      ASSERT_EQ(runtime_->SetVisible(Ref(extra), kTrue), kOk);
    }
  }

  void Shoot(const char* file) {
    QDir dir(QCoreApplication::applicationDirPath() + "/../screenshots");
    ASSERT_TRUE(dir.mkpath("."));
    QCoreApplication::processEvents();
    const QPixmap shot = runtime_->window()->grab();
    EXPECT_EQ(shot.height(), runtime_->window()->height());
    ASSERT_TRUE(shot.save(dir.filePath(file))) << file;
  }
};

TEST_F(LayoutTest, EveryCaptionFitsInBothModes) {
  for (int i = 0; i < 27; ++i) {
    const std::string name = "lbl" + std::to_string(i + 2);
    ExpectCaptionFits(name, Label(name)->text(), 5);
    ExpectCaptionFits(name, kValues[i], 5);
  }
  for (const char* extra : {"lbl1", "lbl29", "lbl30", "lbl31", "lbl32"}) {
    ExpectCaptionFits(extra, Label(extra)->text(), 2);
  }
  for (const char* caption : {"PC Frank", "PC Miriam"}) ExpectCaptionFits("cmd1", caption, 10);
  for (const char* caption : {"ALPHA", "# VAL"}) ExpectCaptionFits("cmd2", caption, 10);
  ExpectCaptionFits("pro1", "10000  Right / 10000  Wrong", 4);
}

TEST_F(LayoutTest, TheBigLabelHoldsEveryGlyphAndValue) {
  QLabel* big = Label("lbl55");
  struct Face {
    std::u16string face;
    float value_size;
  };
  for (const Face& f : {Face{u"PCFrank", 100.0f}, Face{u"PCMiriam", 80.0f}}) {
    ASSERT_EQ(runtime_->SetFontName(Ref("lbl55"), f.face), kOk);
    GlyphLook(u"");
    const QRectF area = big->contentsRect();
    for (char16_t code = 0x41; code <= 0x5B; ++code) {
      const QRectF ink = InkRect(big->font(), area, QString(QChar{code}));
      EXPECT_FALSE(ink.isEmpty());
      EXPECT_TRUE(area.contains(ink)) << "glyph " << int(code) << " leaves lbl55";
    }
    ValueLook(u"", f.value_size);
    for (const char* value : kValues) {
      const QRectF ink = InkRect(big->font(), big->contentsRect(), value);
      EXPECT_TRUE(big->contentsRect().contains(ink.toAlignedRect())) << value;
    }
  }
}

TEST_F(LayoutTest, Screenshots) {
  Shoot("start.png");

  GlyphLook(u"A");
  Shoot("glyph-frank.png");

  Set("cmd1", u"PC Miriam");
  ASSERT_EQ(runtime_->SetFontName(Ref("lbl55"), u"PCMiriam"), kOk);
  GlyphLook(u"Z");
  Shoot("glyph-miriam.png");

  Set("cmd1", u"PC Frank");
  ASSERT_EQ(runtime_->SetFontName(Ref("lbl55"), u"PCFrank"), kOk);
  ValueMode();
  ValueLook(u"400", 100.0f);
  runtime_->SetBackColor(Ref("lbl23"), 0x80000000);  // marked: the right answer
  runtime_->SetStyleValue(Ref("lbl23"), 7);
  runtime_->SetForeColor(Ref("lbl24"), 0x000000FF);  // the wrong mark
  runtime_->SetProgressText(Ref("pro1"), u"12  Right / 3  Wrong");
  runtime_->SetValue(Ref("pro1"), 9.0f);
  Shoot("value-mode.png");

  ASSERT_EQ(runtime_->SetVisible(Ref("pro1"), kFalse), kOk);
  ASSERT_EQ(runtime_->SetExtent(Ref("frm1"), 11295.0f), kOk);
  Shoot("compact.png");
  EXPECT_EQ(runtime_->window()->grab().height(), 753);
}

}  // namespace
}  // namespace lq::testing
