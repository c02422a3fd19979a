// Start-up: the font installation, the recording preload, Main's order and
// its event loop.
#include <set>

#include "quiz_fixture.h"

namespace lq::test {
namespace {

const char* kNew = "C:\\WINDOWS\\Fonts\\NewHebrew.ttf";
const char* kOld = "C:\\WINDOWS\\Fonts\\OldHebrew.ttf";

// Start-up runs against a fresh runtime: nothing loaded, no form.
class StartupTest : public ::testing::Test {
 protected:
  StartupTest() : rt(TheProgram()) {
    SetRuntime(&rt);
    RightCount = 7;
    WrongCount = 7;
    DisplayText = "stale";
    ErrorSound.clear();
    CurrentSound.clear();
    for (auto& recording : Recording) recording.clear();
    Controls.fill(kNoControl);
  }
  ~StartupTest() override { SetRuntime(nullptr); }
  fake::RecordingRuntime rt;
};

struct FontCase {
  std::vector<const char*> present;
  Lines expected;
};

class FontInstall : public StartupTest, public ::testing::WithParamInterface<FontCase> {};

TEST_P(FontInstall, WritesOnlyTheMissingFonts) {
  const FontCase& c = GetParam();
  for (const char* path : c.present) rt.present_files.insert(path);
  InstallFonts();
  EXPECT_EQ(rt.log(), c.expected);
  for (const char* path : c.present) EXPECT_FALSE(rt.written_files.contains(path));
}

INSTANTIATE_TEST_SUITE_P(
    Presence, FontInstall,
    ::testing::Values(
        FontCase{{},
                 {std::string("TestFileExists ") + kNew,
                  std::string("WriteResourceToFile :NewHebrew ") + kNew,
                  std::string("TestFileExists ") + kOld,
                  std::string("WriteResourceToFile :OldHebrew ") + kOld}},
        FontCase{{kNew},
                 {std::string("TestFileExists ") + kNew, std::string("TestFileExists ") + kOld,
                  std::string("WriteResourceToFile :OldHebrew ") + kOld}},
        FontCase{{kOld},
                 {std::string("TestFileExists ") + kNew,
                  std::string("WriteResourceToFile :NewHebrew ") + kNew,
                  std::string("TestFileExists ") + kOld}},
        FontCase{{kNew, kOld},
                 {std::string("TestFileExists ") + kNew,
                  std::string("TestFileExists ") + kOld}}));

TEST_F(StartupTest, WrittenFontsAreTheUnpackedTrueTypeFiles) {
  InstallFonts();
  for (const char* path : {kNew, kOld}) {
    const auto& bytes = rt.written_files.at(path);
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[1], 0x01);  // TrueType 0x00010000
  }
  rt.ClearLog();
  InstallFonts();  // a second start finds both and writes nothing
  EXPECT_EQ(rt.log().size(), 2u);
}

TEST_F(StartupTest, PreloadReadsEachRecordingWholeInItsOrder) {
  PreloadRecordings();
  Lines expected;
  std::vector<std::string> names = {":online", ":online"};
  for (const char* key : RecordingLoadOrder) names.push_back(std::string(":") + key);
  ASSERT_EQ(names.size(), 29u);
  std::size_t total = 0;
  const std::optional<ResourceSet> set = ResourceSet::Open(EmbeddedResourceSet(), nullptr);
  ASSERT_TRUE(set.has_value());
  for (const std::string& name : names) {
    const ResourceEntry* entry = set->Find(name);
    ASSERT_NE(entry, nullptr) << name;
    const std::string size = std::to_string(entry->stored.size());
    total += entry->stored.size();
    expected.insert(expected.end(),
                    {"OpenChannel " + name + " 0x4001 1", "GetChannelLength 1",
                     "ReadChannelString " + size + " 1", "CloseChannel 1"});
  }
  EXPECT_EQ(rt.log(), expected);
  EXPECT_EQ(total, 1333748u);
  EXPECT_FALSE(rt.AnyChannelOpen());

  // Every buffer holds its whole resource, NUL bytes and all.
  EXPECT_EQ(ErrorSound.size(), 9306u);
  EXPECT_EQ(ErrorSound, CurrentSound);
  EXPECT_EQ(ErrorSound.substr(0, 4), "RIFF");
  for (const Letter& row : Letters) {
    const std::string& buffer = Recording[row.Pick - 1];
    EXPECT_EQ(rt.ResourceNamed(buffer), std::string(":") + row.Key);
    EXPECT_EQ(buffer.substr(0, 4), "RIFF");
  }
  EXPECT_EQ(Recording[PickOfKey("hey") - 1].size(), 25654u);
  EXPECT_EQ(Recording[PickOfKey("shinsin") - 1].size(), 109578u);
}

TEST_F(StartupTest, ErrorSoundAndCurrentSoundAreIndependentBuffers) {
  PreloadRecordings();
  const std::string online = ErrorSound;
  EXPECT_NE(ErrorSound.data(), CurrentSound.data());
  rt.LoadForm("frm1", 2, 0, 0, Controls.data());
  RightCount = 0;
  rt.draws = {4};
  NextQuestion();  // replaces CurrentSound with hey's recording
  EXPECT_EQ(*rt.ResourceNamed(CurrentSound), ":hey");
  EXPECT_EQ(ErrorSound, online);
  EXPECT_EQ(Recording[PickOfKey("hey") - 1].size(), 25654u);  // copied, not moved
}

TEST_F(StartupTest, MainRunsItsStepsInOrderAndSetsTheFirstQuestionBeforeTheLoop) {
  rt.present_files = {kNew, kOld};
  rt.keep_running = {0};
  std::int32_t right_at_first_event = -1;
  std::string key_at_first_event;
  rt.on_process_events = [&] {
    if (right_at_first_event < 0) {
      right_at_first_event = RightCount;
      key_at_first_event = CurrentKey;
    }
  };
  rt.draws = {2};
  Main();
  const Lines& log = rt.log();
  auto at = [&](const std::string& line) {
    return std::find(log.begin(), log.end(), line) - log.begin();
  };
  EXPECT_EQ(log[0], std::string("TestFileExists ") + kNew);
  EXPECT_LT(at("CloseChannel 1"), at("LoadForm frm1 2 0 0"));
  EXPECT_LT(at("LoadForm frm1 2 0 0"), at("GetCaption cmd1"));
  EXPECT_LT(at("DrawRandomInt 27"), at("ProcessEvents"));
  EXPECT_EQ(Lines(log.end() - 2, log.end()), (Lines{"ProcessEvents", "TestKeepRunning"}));
  EXPECT_EQ(right_at_first_event, 1);
  EXPECT_EQ(key_at_first_event, "gimel");
  EXPECT_EQ(WrongCount, 0);
  // The first question showed the empty text while ":online" played.
  EXPECT_LT(at("SetCaption lbl55 \"\""), at("PlayWaveFromMemory :online 4"));
  EXPECT_EQ(rt.control("lbl55").caption, u"C");
}

TEST_F(StartupTest, StateAtTheFirstQuestionIsTheStartState) {
  rt.present_files = {kNew, kOld};
  // Fail the first control call of NextQuestion to stop Main right there.
  rt.FailFirst("GetCaption", "cmd1");
  EXPECT_THROW(Main(), CallError);
  EXPECT_EQ(RightCount, 0);
  EXPECT_EQ(WrongCount, 0);
  EXPECT_EQ(DisplayText, "");
  EXPECT_EQ(ErrorSound.size(), 9306u);
  EXPECT_EQ(CurrentSound, ErrorSound);
  // All 37 references are set, each to a control of its own.
  const std::set<ControlRef> refs(Controls.begin(), Controls.end());
  EXPECT_EQ(refs.size(), Controls.size());
  EXPECT_FALSE(refs.contains(kNoControl));
}

TEST_F(StartupTest, LoopGoesOnForAnyResultButZero) {
  rt.present_files = {kNew, kOld};
  rt.keep_running = {1, 2, -1, 7, 0, 1};
  Main();
  const Lines& log = rt.log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "ProcessEvents"), 5);
  EXPECT_EQ(rt.keep_running.size(), 1u);
  EXPECT_EQ(log.back(), "TestKeepRunning");  // nothing after the loop
}

TEST_F(StartupTest, ProcessEventsRunsOnceEvenWhenTheWindowIsAlreadyClosed) {
  rt.present_files = {kNew, kOld};
  rt.keep_running = {0};
  Main();
  const Lines& log = rt.log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "ProcessEvents"), 1);
}

TEST_F(StartupTest, ClicksDuringTheLoopReachTheirHandlers) {
  rt.present_files = {kNew, kOld};
  rt.keep_running = {-1, 0};
  rt.draws = {0, 1};
  int round = 0;
  rt.on_process_events = [&] {
    if (round++ == 0) {
      EXPECT_TRUE(rt.Fire("lbl3_Click"));  // wrong: alef on show
      EXPECT_TRUE(rt.Fire("lbl2_Click"));  // right
    }
  };
  Main();
  EXPECT_EQ(WrongCount, 1);
  EXPECT_EQ(RightCount, 2);
  EXPECT_EQ(CurrentKey, "betvet");
}

TEST_F(StartupTest, FatalErrorEntryHandsOverToTheFatalService) {
  EXPECT_THROW(FatalErrorEntry(), fake::FatalRaised);
  EXPECT_EQ(rt.log(), Lines{"RaiseFatalError"});
}

}  // namespace
}  // namespace lq::test
