// The board reset and the question cycle, through the recording runtime.
#include <limits>
#include <map>

#include "quiz_fixture.h"

namespace lq::test {
namespace {

using ResetBoardTest = QuizTest;

TEST_F(ResetBoardTest, PerformsAll86OperationsPassByPassEveryTime) {
  ResetBoard();
  EXPECT_EQ(rt.log(), ResetBoardLines());
  rt.ClearLog();
  ResetBoard();  // a board already at rest gets all 86 again
  EXPECT_EQ(rt.log(), ResetBoardLines());
}

TEST_F(ResetBoardTest, ClearsMarkedAndWrongMarkedLabelsButNoCaptionOrFace) {
  ShowLetter("vav");
  Check(rt.SetCaption(lbl55, u"6"));
  lbl2_Click();  // wrong: marks lbl7 and the glyph red
  Check(rt.SetBackColor(Controls[AnswerLabelRef(7)], kScrollBar));
  Check(rt.SetFontName(lbl55, u"PCMiriam"));
  ResetBoard();
  const auto& marked = C("lbl7");
  EXPECT_EQ(marked.fore, kWindowText);
  EXPECT_EQ(marked.back, kButtonFace);
  EXPECT_EQ(marked.style, 6);
  EXPECT_EQ(C("lbl55").fore, kWindowText);
  EXPECT_EQ(C("lbl55").back, kScrollBar);
  EXPECT_EQ(C("lbl55").font_size, 190.0f);
  EXPECT_EQ(C("lbl55").caption, u"6");
  EXPECT_EQ(C("lbl55").font_name, u"PCMiriam");
}

// The reset gives no label a caption, in either label mode.
class ResetBoardCaptions : public QuizTest,
                           public ::testing::WithParamInterface<bool> {};

TEST_P(ResetBoardCaptions, LeavesAll28CaptionsAsTheyWere) {
  cmd2_Click();                  // value mode
  if (!GetParam()) cmd2_Click();  // and back to name mode
  ASSERT_EQ(C("cmd2").caption, GetParam() ? u"# VAL" : u"ALPHA");
  ShowLetter("nunsofit");
  Check(rt.SetCaption(lbl55, u"50"));  // the value, as after a right answer
  lbl2_Click();                        // and a wrong mark
  std::map<std::string, std::u16string> before;
  for (int n = 2; n <= 28; ++n) before[Label(n)] = C(Label(n)).caption;
  before["lbl55"] = C("lbl55").caption;
  ASSERT_EQ(before["lbl26"], GetParam() ? u"50" : u"nun sofit");
  rt.ClearLog();
  ResetBoard();
  for (const auto& [name, caption] : before) {
    EXPECT_EQ(C(name).caption, caption) << name;
  }
  for (const std::string& line : rt.log()) {
    EXPECT_FALSE(line.starts_with("SetCaption")) << line;
  }
}

INSTANTIATE_TEST_SUITE_P(NameAndValueMode, ResetBoardCaptions, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& mode) {
                           return mode.param ? "ValueMode" : "NameMode";
                         });

// A failure at operation k leaves exactly the operations before it done.
class ResetBoardFailure : public QuizTest,
                          public ::testing::WithParamInterface<int> {};

TEST_P(ResetBoardFailure, KeepsWhatWasDoneBeforeTheFailingOperation) {
  const int failing = GetParam();  // 1-based among the 86
  ShowLetter("kafsofit");
  lbl12_Click();  // wrong mark on lbl24 and lbl55
  const auto before = rt.Snapshot();

  // What a complete reset would leave, applied up to the failing operation.
  fake::RecordingRuntime reference(TheProgram());
  SetRuntime(&reference);
  std::array<ControlRef, kControlCount> refs{};
  reference.LoadForm("frm1", 2, 0, 0, refs.data());
  SetRuntime(&rt);
  const Lines all = ResetBoardLines();

  rt.ClearLog();
  rt.FailControlCall(failing);
  EXPECT_THROW(ResetBoard(), CallError);
  const Lines expected(all.begin(), all.begin() + failing);
  EXPECT_EQ(rt.ControlLog(), expected);
  ASSERT_EQ(rt.raised, std::vector<int>{-1});

  // Replay the successful prefix on the snapshot and compare.
  auto replayed = before;
  for (int i = 0; i + 1 < failing; ++i) {
    char op[32], name[16], value[32];
    ASSERT_EQ(std::sscanf(all[i].c_str(), "%31s %15s %31s", op, name, value), 3);
    auto& s = replayed.at(name);
    const std::string o = op;
    if (o == "SetFontSize") s.font_size = std::stof(value);
    if (o == "SetStyleValue") s.style = std::stoi(value);
    if (o == "SetSecondStyleValue") s.second_style = std::stoi(value);
    if (o == "SetForeColor") s.fore = static_cast<Colour>(std::stoul(value, nullptr, 16));
    if (o == "SetBackColor") s.back = static_cast<Colour>(std::stoul(value, nullptr, 16));
  }
  EXPECT_EQ(rt.Snapshot(), replayed);
}

// The first and last of each step and pass, and one inside each pass.
INSTANTIATE_TEST_SUITE_P(EachStepAndPass, ResetBoardFailure,
                         ::testing::Values(1, 3, 5, 6, 20, 32, 33, 47, 59, 60,
                                           70, 86));

using NextQuestionTest = QuizTest;

TEST_F(NextQuestionTest, FirstCallSkipsTheScoreAndShowsEmptyTextWhileOnlinePlays) {
  rt.draws = {0};
  NextQuestion();
  const Lines expected = Concat({
      {"GetCaption cmd1", "SetFontSize lbl55 100", "SetCaption lbl55 \"\"",
       "SetForeColor lbl55 0x000000FF", "SetBackColor lbl55 0x8000000F",
       "SetStyleValue lbl55 6", "SetSecondStyleValue lbl55 2",
       "PlayWaveFromMemory :online 4", "Pause 440"},
      ResetBoardLines(),
      {"DrawRandomInt 27", "SetCaption lbl55 \"A\""},
  });
  EXPECT_EQ(rt.log(), expected);
  EXPECT_EQ(RightCount, 1);
  EXPECT_EQ(CurrentKey, "alef");
  EXPECT_EQ(CurrentPick, 1);
  EXPECT_EQ(CurrentSound, Recording[0]);
  EXPECT_EQ(C("pro1").value, 0.0f);
  EXPECT_EQ(C("pro1").progress_text, u"");
}

TEST_F(NextQuestionTest, LaterCallScoresStepsPlaysTheAnsweredLetterAndDrawsAgain) {
  rt.draws = {26};  // first question: tzadik sofit
  NextQuestion();
  WrongCount = 2;
  rt.ClearLog();
  rt.draws = {21};  // next: taf
  lbl28_Click();
  const Lines expected = Concat({
      {"SetBackColor lbl28 0x80000000", "SetStyleValue lbl28 7",
       "SetProgressText pro1 \"1  Right / 2  Wrong\"", "GetValue pro1",
       "SetValue pro1 1", "GetCaption cmd1", "SetFontSize lbl55 100",
       "SetCaption lbl55 \"90\"", "SetForeColor lbl55 0x000000FF",
       "SetBackColor lbl55 0x8000000F", "SetStyleValue lbl55 6",
       "SetSecondStyleValue lbl55 2", "PlayWaveFromMemory :tzadiksofit 4",
       "Pause 440"},
      ResetBoardLines(),
      {"DrawRandomInt 27", "SetCaption lbl55 \"[\""},
  });
  EXPECT_EQ(rt.log(), expected);
  EXPECT_EQ(RightCount, 2);
  EXPECT_EQ(CurrentKey, "taf");
  EXPECT_EQ(*rt.ResourceNamed(CurrentSound), ":taf");
}

// A second click on the label just answered right is judged against the
// letter drawn after it.
struct SecondClick {
  std::int32_t second_draw;
  const char* next_key;
  bool right;
};

class SecondClickOnTheSameLabel : public QuizTest,
                                  public ::testing::WithParamInterface<SecondClick> {};

TEST_P(SecondClickOnTheSameLabel, IsJudgedAgainstTheNewDraw) {
  const SecondClick c = GetParam();
  rt.draws = {5, c.second_draw, 0};
  NextQuestion();
  lbl7_Click();
  EXPECT_EQ(CurrentKey, c.next_key);
  EXPECT_EQ(RightCount, 2);
  rt.ClearLog();
  lbl7_Click();
  EXPECT_EQ(RightCount, c.right ? 3 : 2);
  EXPECT_EQ(WrongCount, c.right ? 0 : 1);
  if (c.right) {
    EXPECT_EQ(CurrentKey, "alef");  // the third draw
  } else {
    EXPECT_EQ(CurrentKey, c.next_key);
    EXPECT_EQ(C(Label(LabelOfKey(c.next_key))).fore, kRed);
    EXPECT_EQ(C("lbl7").fore, kWindowText);  // the clicked label stays at rest
    EXPECT_EQ(C("lbl7").back, kButtonFace);
    const Lines& log = rt.log();
    EXPECT_NE(std::find(log.begin(), log.end(), "PlayWaveFromMemory :online 4"), log.end());
    EXPECT_EQ(std::find(log.begin(), log.end(), "DrawRandomInt 27"), log.end());
  }
}

INSTANTIATE_TEST_SUITE_P(
    RepeatOrNot, SecondClickOnTheSameLabel,
    ::testing::Values(SecondClick{5, "vav", true},  // the same letter may come twice
                      SecondClick{6, "zayin", false}));

struct LeadCase {
  std::int32_t right, wrong;
  bool compact_before;
  bool switches;
};

class LeadTest : public QuizTest, public ::testing::WithParamInterface<LeadCase> {};

TEST_P(LeadTest, SwitchesToCompactOnlyBeyondALeadOf100) {
  const LeadCase c = GetParam();
  ShowLetter("alef");
  RightCount = c.right;
  WrongCount = c.wrong;
  if (c.compact_before) {
    C("frm1").extent = 11295.0f;
    C("pro1").visible = false;
  }
  rt.ClearLog();
  NextQuestion();
  const Lines& log = rt.log();
  const auto at = std::find(log.begin(), log.end(), "SetValue pro1 1");
  ASSERT_NE(at, log.end());
  const Lines after(at + 1, at + (c.switches ? 4 : 2));
  if (c.switches) {
    EXPECT_EQ(after, (Lines{"SetVisible pro1 0", "SetExtent frm1 11295", "GetCaption cmd1"}));
    EXPECT_EQ(C("frm1").extent, 11295.0f);
    EXPECT_FALSE(C("pro1").visible);
  } else {
    EXPECT_EQ(after, Lines{"GetCaption cmd1"});
  }
  // Nothing is reset by the automatic switch.
  EXPECT_EQ(RightCount, c.right + 1);
  EXPECT_EQ(WrongCount, c.wrong);
  EXPECT_EQ(C("pro1").progress_text,
            MakeTempBstr(std::to_string(c.right) + "  Right / " +
                         std::to_string(c.wrong) + "  Wrong"));
}

INSTANTIATE_TEST_SUITE_P(
    Leads, LeadTest,
    ::testing::Values(LeadCase{100, 0, false, false}, LeadCase{101, 0, false, true},
                      LeadCase{105, 5, false, false}, LeadCase{106, 5, false, true},
                      LeadCase{101, 0, true, true},  // already compact: again
                      LeadCase{3, 40, false, false},
                      LeadCase{1, 2147483647, false, false},
                      // Differences beyond 32 bits: 4294967294, which 32 bits
                      // would wrap to -2, and -4294967195, which they would
                      // wrap to 101.
                      LeadCase{2147483646, -2147483647 - 1, false, true},
                      LeadCase{-2147483647 - 1 + 100, 2147483647, false, false}));

struct FontSizeCase {
  std::u16string caption;
  Lines expected;
};

class ValueLookSize : public QuizTest,
                      public ::testing::WithParamInterface<FontSizeCase> {};

TEST_P(ValueLookSize, FollowsTheFontButtonCaption) {
  const FontSizeCase& c = GetParam();
  C("cmd1").caption = c.caption;
  C("lbl55").font_size = 190.0f;
  NextQuestion();
  const Lines& log = rt.log();
  const auto end = std::find(log.begin(), log.end(), "SetCaption lbl55 \"\"");
  ASSERT_NE(end, log.end());
  EXPECT_EQ(Lines(log.begin(), end), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Captions, ValueLookSize,
    ::testing::Values(
        FontSizeCase{u"PC Frank", {"GetCaption cmd1", "SetFontSize lbl55 100"}},
        FontSizeCase{u"PC Miriam",
                     {"GetCaption cmd1", "GetCaption cmd1", "SetFontSize lbl55 80"}},
        FontSizeCase{u"PC  Frank", {"GetCaption cmd1", "GetCaption cmd1"}},
        FontSizeCase{u"pc frank", {"GetCaption cmd1", "GetCaption cmd1"}}));

// What a failing control call inside NextQuestion (at a right answer) leaves.
// Before it: RightCount 4 (or `right`), no wrong answer, pro1 at 3 and
// shown, lbl55 at size 190, cmd1 naming `font_caption`.
struct NextFailure {
  const char* operation;
  const char* control;
  int nth;  // which call of that operation on that control fails
  bool played;
  bool drew;
  float value_after;   // pro1's value
  bool text_handed;    // the score text reached pro1
  float size_after;    // lbl55's font size
  bool hidden_after;   // pro1 hidden by the lead step
  std::int32_t right = 4;
  const char16_t* font_caption = u"PC Frank";
};

class NextQuestionFailure : public QuizTest,
                            public ::testing::WithParamInterface<NextFailure> {};

TEST_P(NextQuestionFailure, KeepsWhatWasDoneAndGoesNoFurther) {
  const NextFailure f = GetParam();
  const auto loaded = rt.Snapshot();
  const auto prepare = [&] {
    for (const auto& [name, state] : loaded) C(name) = state;
    ShowLetter("gimel");
    RightCount = f.right;
    WrongCount = 0;
    C("pro1").value = 3.0f;
    C("lbl55").font_size = 190.0f;
    C("cmd1").caption = f.font_caption;
    rt.draws = {0};
    rt.ClearLog();
  };
  // A run without the failure gives the calls that must come before it.
  prepare();
  NextQuestion();
  const Lines complete = rt.log();

  prepare();
  rt.FailFirst(f.operation, f.control, -1, f.nth);
  EXPECT_THROW(NextQuestion(), CallError);

  const std::string failing = std::string(f.operation) + " " + f.control;
  auto at = complete.begin();
  for (int seen = 0; at != complete.end(); ++at) {
    if ((*at == failing || at->starts_with(failing + " ")) && ++seen == f.nth) break;
  }
  ASSERT_NE(at, complete.end()) << failing << " #" << f.nth;
  Lines expected(complete.begin(), at + 1);
  expected.push_back("RaiseCallError -1");
  EXPECT_EQ(rt.log(), expected);

  const Lines& log = rt.log();
  const bool played = std::any_of(log.begin(), log.end(), [](const std::string& l) {
    return l.starts_with("PlayWaveFromMemory");
  });
  EXPECT_EQ(played, f.played);
  EXPECT_EQ(RightCount, f.played ? f.right + 1 : f.right);
  const bool drew = std::find(log.begin(), log.end(), "DrawRandomInt 27") != log.end();
  EXPECT_EQ(drew, f.drew);
  EXPECT_EQ(CurrentKey, f.drew ? "alef" : "gimel");

  EXPECT_EQ(C("pro1").value, f.value_after);
  EXPECT_EQ(C("pro1").progress_text,
            f.text_handed ? MakeTempBstr(std::to_string(f.right) + "  Right / 0  Wrong")
                          : u"");
  EXPECT_EQ(C("lbl55").font_size, f.size_after);
  EXPECT_EQ(C("pro1").visible, !f.hidden_after);
  EXPECT_EQ(C("frm1").extent, 11850.0f);  // the lead step's last write
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, NextQuestionFailure,
    ::testing::Values(
        NextFailure{"SetProgressText", "pro1", 1, false, false, 3.0f, false, 190.0f, false},
        NextFailure{"GetValue", "pro1", 1, false, false, 3.0f, true, 190.0f, false},
        NextFailure{"SetValue", "pro1", 1, false, false, 3.0f, true, 190.0f, false},
        // The lead step, at a lead of 105.
        NextFailure{"SetVisible", "pro1", 1, false, false, 4.0f, true, 190.0f, false, 105},
        NextFailure{"SetExtent", "frm1", 1, false, false, 4.0f, true, 190.0f, true, 105},
        NextFailure{"GetCaption", "cmd1", 1, false, false, 4.0f, true, 190.0f, false},
        // "PC Miriam" is read a second time.
        NextFailure{"GetCaption", "cmd1", 2, false, false, 4.0f, true, 190.0f, false, 4,
                    u"PC Miriam"},
        NextFailure{"SetFontSize", "lbl55", 1, false, false, 4.0f, true, 190.0f, false},
        // The value look, after its font size.
        NextFailure{"SetCaption", "lbl55", 1, false, false, 4.0f, true, 100.0f, false},
        NextFailure{"SetForeColor", "lbl55", 1, false, false, 4.0f, true, 100.0f, false},
        NextFailure{"SetBackColor", "lbl55", 1, false, false, 4.0f, true, 100.0f, false},
        NextFailure{"SetStyleValue", "lbl55", 1, false, false, 4.0f, true, 100.0f, false},
        NextFailure{"SetSecondStyleValue", "lbl55", 1, false, false, 4.0f, true, 100.0f,
                    false},
        // The board reset, after the recording.
        NextFailure{"SetStyleValue", "lbl2", 1, true, false, 4.0f, true, 190.0f, false},
        NextFailure{"SetCaption", "lbl55", 2, true, true, 4.0f, true, 190.0f, false}));

TEST_F(NextQuestionTest, FailedProgressWriteKeepsTheScoreTextHandedOver) {
  ShowLetter("gimel");
  RightCount = 4;
  rt.FailFirst("SetValue", "pro1");
  EXPECT_THROW(NextQuestion(), CallError);
  EXPECT_EQ(C("pro1").progress_text, u"4  Right / 0  Wrong");
  EXPECT_EQ(C("pro1").value, 0.0f);
}

TEST_F(NextQuestionTest, FailedLastCaptionLeavesTheNewLetterCurrent) {
  ShowLetter("gimel");
  DisplayText = "3";
  rt.draws = {3};
  rt.FailFirst("SetCaption", "lbl55", -1, 2);
  EXPECT_THROW(NextQuestion(), CallError);
  EXPECT_EQ(CurrentPick, 4);
  EXPECT_EQ(CurrentKey, "dalet");
  EXPECT_EQ(DisplayText, "D");
  EXPECT_EQ(*rt.ResourceNamed(CurrentSound), ":dalet");
  // The value the answer showed stays, in the glyph look of the board reset.
  EXPECT_EQ(C("lbl55").caption, u"3");
  EXPECT_EQ(C("lbl55").font_size, 190.0f);
  EXPECT_EQ(C("lbl55").fore, kWindowText);
}

TEST_F(NextQuestionTest, ProgressIsRaisedWhileHiddenAndNeverClamped) {
  ShowLetter("alef");
  C("pro1").visible = false;
  C("pro1").value = -7.5f;
  NextQuestion();
  EXPECT_EQ(C("pro1").value, -6.5f);
  EXPECT_EQ(C("pro1").progress_text, u"1  Right / 0  Wrong");
}

TEST_F(NextQuestionTest, RightCountAtTheTopOfItsRangeStepsOnToTheBottom) {
  ShowLetter("alef");
  RightCount = std::numeric_limits<std::int32_t>::max();
  NextQuestion();
  EXPECT_EQ(RightCount, std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(C("pro1").progress_text, u"2147483647  Right / 0  Wrong");
}

TEST_F(NextQuestionTest, UnplayableRecordingStopsNothing) {
  ShowLetter("alef");
  CurrentSound = "not a wave";
  rt.draws = {1};
  NextQuestion();
  EXPECT_EQ(RightCount, 2);
  EXPECT_EQ(CurrentKey, "betvet");
}

}  // namespace
}  // namespace lq::test
