// The two letter fonts of the embedded set: their faces, and the codes
// they draw.
#include <QFontDatabase>
#include <QFontInfo>
#include <QPainterPath>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRawFont>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "tests/qt/start_children.h"

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

// LoadForm registers the embedded fonts, from the program's resource set,
// so both faces resolve by name, as the labels ask for them.
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

// ---- what the learner sees, whatever stands in the fonts folder ----------

namespace lq::testing {
namespace {

// The dark pixels of an image, cropped to their bounding box.
struct Ink {
  QRect box;
  QImage mask;  // box-sized, Grayscale8: 0 ink, 255 none
};

Ink InkOf(const QImage& image) {
  const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
  QRect box;
  for (int y = 0; y < grey.height(); ++y) {
    const uchar* row = grey.constScanLine(y);
    for (int x = 0; x < grey.width(); ++x) {
      if (row[x] < 96) box |= QRect(x, y, 1, 1);
    }
  }
  Ink ink{box, QImage()};
  if (box.isEmpty()) return ink;
  ink.mask = grey.copy(box);
  for (int y = 0; y < ink.mask.height(); ++y) {
    uchar* row = ink.mask.scanLine(y);
    for (int x = 0; x < ink.mask.width(); ++x) row[x] = row[x] < 96 ? 0 : 255;
  }
  return ink;
}

// The glyph that the program's own font draws at `code`, black on white.
QImage Reference(const std::string& resource, char16_t code, int pixel_size) {
  const std::string data = EmbeddedContent(resource);
  QRawFont font(QByteArray(data.data(), static_cast<qsizetype>(data.size())), pixel_size);
  const QList<quint32> index = font.glyphIndexesForString(QString(QChar(code)));
  const QPainterPath path = font.pathForGlyph(index.value(0));
  QImage image(path.boundingRect().toAlignedRect().adjusted(-4, -4, 4, 4).size(),
               QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(-path.boundingRect().topLeft() + QPointF(4, 4));
  painter.fillPath(path, Qt::black);
  return image;
}

// Share of the pixels, over the larger of the two boxes, where the two
// masks disagree once their boxes' corners meet; 1 when the boxes' sizes
// differ by more than a few pixels.
double Mismatch(const Ink& a, const Ink& b) {
  if (a.box.isEmpty() || b.box.isEmpty()) return 1.0;
  if (std::abs(a.box.width() - b.box.width()) > 4 ||
      std::abs(a.box.height() - b.box.height()) > 4) {
    return 1.0;
  }
  const int w = std::max(a.box.width(), b.box.width());
  const int h = std::max(a.box.height(), b.box.height());
  int differ = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool ink_a = x < a.mask.width() && y < a.mask.height() && a.mask.pixel(x, y) != 0xFFFFFFFF;
      const bool ink_b = x < b.mask.width() && y < b.mask.height() && b.mask.pixel(x, y) != 0xFFFFFFFF;
      if (ink_a != ink_b) ++differ;
    }
  }
  return static_cast<double>(differ) / (w * h);
}

namespace fs = std::filesystem;

struct FolderCase {
  const char* what;
  // Prepares the fonts folder (not yet existing) inside `root`; returns it.
  std::function<std::string(const fs::path& root)> prepare;
  bool fonts_written;  // both font files are written by the start
  // Runs the child with writes beyond this many bytes failing until its
  // start is over (0: no limit).
  rlim_t file_size_limit = 0;
};

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<FolderCase> FolderCases() {
  auto at_both = [](const fs::path& fonts, const std::function<void(const fs::path&)>& put) {
    fs::create_directories(fonts);
    put(fonts / "NewHebrew.ttf");
    put(fonts / "OldHebrew.ttf");
    return fonts.string();
  };
  return {
      {"nothing there", [](const fs::path& root) { return (root / "fonts").string(); }, true},
      {"dangling links",
       [=](const fs::path& root) {
         return at_both(root / "fonts",
                        [](const fs::path& p) { fs::create_symlink("/nonexistent/x.ttf", p); });
       },
       false},
      {"cut fonts",
       [=](const fs::path& root) {
         return at_both(root / "fonts", [](const fs::path& p) {
           const std::string name = std::string(":").append(p.stem().string());
           WriteBytes(p, EmbeddedContent(name).substr(0, 3000));
         });
       },
       false},
      {"directories",
       [=](const fs::path& root) {
         return at_both(root / "fonts", [](const fs::path& p) { fs::create_directory(p); });
       },
       false},
      {"empty files",
       [=](const fs::path& root) {
         return at_both(root / "fonts", [](const fs::path& p) { WriteBytes(p, ""); });
       },
       false},
      {"a foreign font",
       [=](const fs::path& root) {
         return at_both(root / "fonts", [](const fs::path& p) {
           fs::copy_file("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", p);
         });
       },
       false},
      {"FIFOs",
       [=](const fs::path& root) {
         return at_both(root / "fonts",
                        [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); });
       },
       false},
      {"a folder that cannot be made",
       [](const fs::path& root) {
         WriteBytes(root / "share", "a file where the folder's parent should be");
         return (root / "share" / "fonts").string();
       },
       false},
      {"a full disk", [](const fs::path& root) { return (root / "fonts").string(); }, false,
       1000},
      {"a path that is not UTF-8",
       [](const fs::path& root) { return (root / "fonts-\xE9t\xE9").string(); }, true},
  };
}

// The start completes, and lbl55 draws the Hebrew letter forms of the
// program's own faces, whatever stands at the font paths.
TEST(FacesTest, TheBigLetterIsDrawnInTheProgramsOwnFaces) {
  const std::vector<FolderCase> cases = FolderCases();
  QTemporaryDir tmp;
  ASSERT_TRUE(tmp.isValid());
  const fs::path base = tmp.path().toStdString();
  struct Run {
    fs::path shots;
    std::string fonts;
    std::unique_ptr<QProcess> child;
  };
  std::vector<Run> runs;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const fs::path root = base / ("case" + std::to_string(i));
    fs::create_directories(root / "shots");
    Run run{root / "shots", cases[i].prepare(root), std::make_unique<QProcess>()};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("LQ_SHOT_DIR", QString::fromStdString(run.shots.string()));
    env.insert("LQ_FONTS_DIR_HEX", QString::fromLatin1(QByteArray::fromStdString(run.fonts).toHex()));
    run.child->setProcessEnvironment(env);
    const rlim_t limit = cases[i].file_size_limit;
    if (limit > 0) {
      run.child->setChildProcessModifier([limit] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit r{limit, RLIM_INFINITY};  // the shots lift it again
        setrlimit(RLIMIT_FSIZE, &r);
      });
    }
    run.child->start(QCoreApplication::applicationFilePath(), {kChildFaceShots});
    runs.push_back(std::move(run));
  }

  const struct {
    const char* face;
    const char* resource;
  } faces[] = {{"PCFrank", ":OldHebrew"}, {"PCMiriam", ":NewHebrew"}};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].what);
    Run& run = runs[i];
    const bool finished = run.child->waitForFinished(60000);
    EXPECT_TRUE(finished) << "the start hangs";
    if (!finished) {
      run.child->kill();
      run.child->waitForFinished();
      continue;
    }
    EXPECT_EQ(run.child->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.child->exitCode(), 0) << run.child->readAllStandardError().toStdString();
    if (cases[i].fonts_written) {
      EXPECT_EQ(fs::file_size(fs::path(run.fonts) / "NewHebrew.ttf"),
                EmbeddedContent(":NewHebrew").size());
      EXPECT_EQ(fs::file_size(fs::path(run.fonts) / "OldHebrew.ttf"),
                EmbeddedContent(":OldHebrew").size());
    }
    int shots = 0;
    for (const auto& entry : fs::directory_iterator(run.shots)) {
      // <face>-<code>-<pixel size>.png
      const QStringList parts = QString::fromStdString(entry.path().stem().string()).split('-');
      ASSERT_EQ(parts.size(), 3) << entry.path();
      const char16_t code = static_cast<char16_t>(parts[1].toInt());
      const int pixel_size = parts[2].toInt();
      const Ink shot = InkOf(QImage(QString::fromStdString(entry.path().string())));
      for (const auto& face : faces) {
        const double mismatch = Mismatch(shot, InkOf(Reference(face.resource, code, pixel_size)));
        if (parts[0] == face.face) {
          EXPECT_LT(mismatch, 0.12) << face.face << " code " << int(code);
        } else {
          EXPECT_GT(mismatch, 0.12) << "the other face, " << face.face << " code " << int(code);
        }
      }
      ++shots;
    }
    EXPECT_EQ(shots, 2 * static_cast<int>(std::strlen(kShotCodes)))
        << "both faces, every code: PCFrank and PCMiriam files";
  }
  std::error_code ignored;  // FIFOs and links that QTemporaryDir leaves
  fs::remove_all(base, ignored);
}

}  // namespace
}  // namespace lq::testing
