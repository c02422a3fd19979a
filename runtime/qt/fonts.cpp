// Font sizes, and the registration of the program's own faces with Qt's
// font database (QtRuntime::RegisterEmbeddedFonts, before the window is
// built).
#include "runtime/qt/fonts.h"

#include <QByteArray>
#include <QFontDatabase>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/qt/qt_runtime.h"
#include "runtime/qt/report.h"

namespace lq::qt {

namespace {

// A TrueType or OpenType font file, by its first four bytes.
bool IsTrueType(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() < 12) return false;
  const std::string_view tag(reinterpret_cast<const char*>(bytes.data()), 4);
  return tag == std::string_view("\0\1\0\0", 4) || tag == "true" || tag == "OTTO";
}

}  // namespace

int PixelsForPoints(float points) {
  return static_cast<int>(std::clamp(std::lround(points * 96.0f / 72.0f), 1L, 4000L));
}

bool ValidFontSize(float size) {
  return std::isfinite(size) && size > 0.0f && size <= 1000.0f;
}

// The faces that the labels ask for by name are the program's own: every
// TrueType font of the resource set is added to Qt's font database from
// memory.  Nothing at the font files' paths is opened or trusted.  The
// database is the process's: each font is added once.
void QtRuntime::RegisterEmbeddedFonts() {
  static std::set<const std::uint8_t*> registered;
  for (const ResourceEntry& entry : image_.resources.entries()) {
    if (registered.count(entry.stored.data()) > 0) continue;
    std::vector<std::uint8_t> content;
    std::string error;
    if (!ResourceSet::Content(entry, content, &error) || !IsTrueType(content)) continue;
    const QByteArray data(reinterpret_cast<const char*>(content.data()),
                          static_cast<qsizetype>(content.size()));
    if (QFontDatabase::addApplicationFontFromData(data) < 0) {
      Report("cannot use the program's font " + std::string(entry.name) +
             "; its face falls back to another");
      continue;
    }
    registered.insert(entry.stored.data());
  }
}

}  // namespace lq::qt
