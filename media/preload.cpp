#include "media/preload.h"

#include "quiz/letters.h"
#include "quiz/state.h"
#include "runtime/strings.h"

namespace lq {

namespace {

constexpr std::int32_t kReadBinary = 0x4001;
constexpr std::int32_t kChannel = 1;

struct FontTarget {
  const char* resource;
  const char* path;
};
constexpr FontTarget kFonts[] = {{":NewHebrew", kNewHebrewPath},
                                 {":OldHebrew", kOldHebrewPath}};

}  // namespace

void InstallFonts() {
  for (const FontTarget& font : kFonts) {
    if (Rt().TestFileExists(font.path) == 0) {
      Rt().WriteResourceToFile(font.resource, font.path);
    }
  }
}

void LoadRecording(const std::string& name, std::string& buffer) {
  Runtime& rt = Rt();
  rt.OpenChannel(name, kReadBinary, kChannel);
  const std::int32_t length = rt.GetChannelLength(kChannel);
  std::string read;
  rt.ReadChannelString(length, kChannel, read);
  AssignString(buffer, read);
  rt.CloseChannel(kChannel);
}

void PreloadRecordings() {
  LoadRecording(":online", ErrorSound);
  LoadRecording(":online", CurrentSound);
  for (const char* key : RecordingLoadOrder) {
    for (const Letter& row : Letters) {
      if (CompareStrings(row.Key, key) == 0) {
        LoadRecording(std::string(":") + key, Recording[row.Pick - 1]);
        break;
      }
    }
  }
}

}  // namespace lq
