// The two letter fonts of the embedded set: their faces, and the codes
// they draw.
#include <QFontDatabase>
#include <QFontInfo>
#include <QPainterPath>
#include <QRawFont>

#include <set>

#include "runtime/files.h"
#include "tests/qt/qt_fixture.h"

namespace lq::testing {
namespace {

struct Face {
  const char* file;
  const char* family;
};
constexpr Face kFaces[] = {{"NewHebrew.ttf", "PCMiriam"}, {"OldHebrew.ttf", "PCFrank"}};

TEST(FontsTest, EachFileHoldsItsFaceAndDrawsTheLetterCodesAndDigits) {
  for (const Face& face : kFaces) {
    const QString path = QString::fromStdString(FontsFolder() + "/" + face.file);
    QRawFont font(path, 100.0);
    ASSERT_TRUE(font.isValid()) << face.file;
    EXPECT_EQ(font.familyName(), face.family) << face.file;
    std::vector<char16_t> codes;
    for (char16_t c = 0x41; c <= 0x5B; ++c) codes.push_back(c);
    for (char16_t c = u'0'; c <= u'9'; ++c) codes.push_back(c);
    std::set<quint32> glyphs;
    for (char16_t code : codes) {
      const QString text(QChar{code});
      EXPECT_TRUE(font.supportsCharacter(QChar{code})) << face.file << " code " << int(code);
      const QList<quint32> index = font.glyphIndexesForString(text);
      ASSERT_EQ(index.size(), 1);
      EXPECT_NE(index[0], 0u) << face.file << " code " << int(code);
      EXPECT_FALSE(font.pathForGlyph(index[0]).isEmpty())
          << face.file << " draws nothing at " << int(code);
      glyphs.insert(index[0]);
    }
    EXPECT_EQ(glyphs.size(), codes.size()) << face.file << ": two codes share a glyph";
  }
}

// LoadForm registers the files of the fonts folder, so both faces resolve
// by name, as the labels ask for them.
using FaceTest = QtRuntimeTest;

TEST_F(FaceTest, BothFacesResolveByName) {
  const QStringList families = QFontDatabase::families();
  for (const Face& face : kFaces) {
    EXPECT_TRUE(families.contains(face.family)) << face.family;
    QFont font(face.family);
    font.setPixelSize(253);
    EXPECT_EQ(QFontInfo(font).family(), face.family);
    QFontMetrics metrics(font);
    for (char16_t c = 0x41; c <= 0x5B; ++c) {
      EXPECT_TRUE(metrics.inFontUcs4(c)) << face.family << " code " << int(c);
    }
  }
}

}  // namespace
}  // namespace lq::testing
