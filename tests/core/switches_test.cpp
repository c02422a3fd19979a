// The three switches: font face, names or values, full or compact view.
#include "quiz_fixture.h"

namespace lq::test {
namespace {

using SwitchTest = QuizTest;

const Lines kFlagCalls1 = {"SetButtonFlag cmd1 0", "SetButtonFlag cmd1 -1"};
const Lines kFlagCalls2 = {"SetButtonFlag cmd2 0", "SetButtonFlag cmd2 -1"};

TEST_F(SwitchTest, FontSwitchTogglesCaptionThenFace) {
  cmd1_Click();
  EXPECT_EQ(rt.log(), Concat({{"GetCaption cmd1", "SetCaption cmd1 \"PC Miriam\"",
                               "SetFontName lbl55 \"PCMiriam\""},
                              kFlagCalls1}));
  rt.ClearLog();
  cmd1_Click();
  EXPECT_EQ(rt.log(), Concat({{"GetCaption cmd1", "GetCaption cmd1",
                               "SetCaption cmd1 \"PC Frank\"",
                               "SetFontName lbl55 \"PCFrank\""},
                              kFlagCalls1}));
  EXPECT_EQ(C("cmd1").caption, u"PC Frank");
  EXPECT_EQ(C("lbl55").font_name, u"PCFrank");
  EXPECT_TRUE(C("cmd1").enabled);
}

TEST_F(SwitchTest, FontSwitchChangesOnlyTheFaceOfTheGlyph) {
  ShowLetter("betvet");
  Check(rt.SetCaption(lbl55, u"B"));
  ResetBoard();
  const auto before = C("lbl55");
  cmd1_Click();
  auto after = C("lbl55");
  after.font_name = before.font_name;
  EXPECT_EQ(after, before);
}

TEST_F(SwitchTest, ValueLookFollowsTheNewFontCaption) {
  cmd1_Click();
  ShowLetter("alef");
  rt.ClearLog();
  NextQuestion();
  const Lines& log = rt.log();
  EXPECT_NE(std::find(log.begin(), log.end(), "SetFontSize lbl55 80"), log.end());
}

TEST_F(SwitchTest, ModeSwitchWritesCaptionsInPickOrderThenShowsTheExtras) {
  cmd2_Click();
  Lines expected = {"GetCaption cmd2", "GetCaption cmd2", "SetCaption cmd2 \"# VAL\""};
  const char* values[] = {"1",  "2",  "3",  "4",  "5",   "6",   "7",   "8",  "9",
                          "10", "20", "30", "40", "50",  "60",  "70",  "80", "90",
                          "100", "200", "300", "400", "20", "40", "50", "80", "90"};
  for (int n = 2; n <= 28; ++n) {
    expected.push_back("SetCaption " + Label(n) + " \"" + values[n - 2] + "\"");
  }
  for (const char* extra : {"lbl1", "lbl29", "lbl30", "lbl31", "lbl32"}) {
    expected.push_back(std::string("SetVisible ") + extra + " -1");
  }
  expected.insert(expected.end(), kFlagCalls2.begin(), kFlagCalls2.end());
  EXPECT_EQ(rt.log(), expected);
  EXPECT_EQ(C("lbl23").caption, u"400");
  EXPECT_EQ(C("lbl12").caption, u"20");
  EXPECT_EQ(C("lbl24").caption, u"20");
  EXPECT_TRUE(C("lbl31").visible);
}

TEST_F(SwitchTest, NameModeWritesEachFinalFormRightAfterItsBaseLetter) {
  C("cmd2").caption = u"# VAL";
  cmd2_Click();
  Lines captions;
  for (const std::string& line : rt.log()) {
    if (line.starts_with("SetCaption lbl")) captions.push_back(line);
  }
  const int order[] = {2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 24, 13, 14,
                       25, 15, 26, 16, 17, 18, 27, 19, 28, 20, 21, 22, 23};
  ASSERT_EQ(captions.size(), 27u);
  for (std::size_t i = 0; i < 27; ++i) {
    EXPECT_TRUE(captions[i].starts_with("SetCaption " + Label(order[i]) + " "))
        << captions[i];
  }
  EXPECT_EQ(C("cmd2").caption, u"ALPHA");
  EXPECT_EQ(C("lbl2").caption, u"alef");
  EXPECT_EQ(C("lbl24").caption, u"kaf sofit");
  EXPECT_EQ(C("lbl28").caption, u"tzadik sofit");
  EXPECT_EQ(C("lbl22").caption, u"shin/sin");
  EXPECT_FALSE(C("lbl1").visible);
  EXPECT_FALSE(C("lbl32").visible);
}

TEST_F(SwitchTest, EveryLabelEndsWithItsOwnRowsTextEitherWay) {
  for (int round = 0; round < 2; ++round) {
    cmd2_Click();  // to value mode
    for (const Letter& row : Letters) {
      EXPECT_EQ(C(Label(row.AnswerLabelNumber)).caption, MakeTempBstr(row.Value));
    }
    cmd2_Click();  // back to name mode
    for (const Letter& row : Letters) {
      EXPECT_EQ(C(Label(row.AnswerLabelNumber)).caption, row.NameCaption);
    }
  }
}

TEST_F(SwitchTest, WrongMarkSurvivesAModeSwitch) {
  ShowLetter("peysofit");
  lbl18_Click();
  cmd2_Click();
  EXPECT_EQ(C("lbl27").fore, kRed);
  EXPECT_EQ(C("lbl27").caption, u"80");
  EXPECT_EQ(C("lbl55").fore, kRed);
}

// A caption that names neither state: only the two flag calls.
struct NeitherCase {
  void (*click)();
  const char* button;
  std::u16string caption;
};

class SwitchWithUnknownCaption : public QuizTest,
                                 public ::testing::WithParamInterface<NeitherCase> {};

TEST_P(SwitchWithUnknownCaption, ChangesNothingButTheFlag) {
  const NeitherCase& c = GetParam();
  C(c.button).caption = c.caption;
  C(c.button).enabled = false;
  const auto before = rt.Snapshot();
  c.click();
  const std::string b = c.button;
  EXPECT_EQ(rt.log(), (Lines{"GetCaption " + b, "GetCaption " + b,
                             "SetButtonFlag " + b + " 0", "SetButtonFlag " + b + " -1"}));
  auto after = rt.Snapshot();
  after.at(b).enabled = false;
  EXPECT_EQ(after, before);
}

INSTANTIATE_TEST_SUITE_P(
    BothButtons, SwitchWithUnknownCaption,
    ::testing::Values(NeitherCase{&cmd1_Click, "cmd1", u"PC David"},
                      NeitherCase{&cmd1_Click, "cmd1", u"PCFrank"},
                      NeitherCase{&cmd2_Click, "cmd2", u"# val"},
                      NeitherCase{&cmd2_Click, "cmd2", u""}));

// The failing call is the `occurrence`-th of its kind and the last call made.
void ExpectStoppedAt(const Lines& log, const std::string& call, int occurrence) {
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log.back(), "RaiseCallError -1");
  const auto is_call = [&](const std::string& line) {
    return line == call || line.starts_with(call + " ");
  };
  EXPECT_TRUE(is_call(log[log.size() - 2])) << log[log.size() - 2];
  EXPECT_EQ(std::count_if(log.begin(), log.end(), is_call), occurrence) << call;
}

// Failure handling of the font and mode switches: what stays done.
struct ButtonFailure {
  void (*click)();
  std::u16string start_caption;
  const char* operation;
  const char* control;
  int occurrence;
  const char* caption_after;      // of the button
  std::u16string face_after;      // lbl55, for the font switch
  bool enabled_after;
};

class SwitchFailure : public QuizTest,
                      public ::testing::WithParamInterface<ButtonFailure> {};

TEST_P(SwitchFailure, KeepsWhatWasWrittenBeforeTheFailure) {
  const ButtonFailure& f = GetParam();
  const std::string button = f.click == &cmd1_Click ? "cmd1" : "cmd2";
  C(button).caption = f.start_caption;
  if (button == "cmd1") {
    C("lbl55").font_name = f.start_caption == u"PC Miriam" ? u"PCMiriam" : u"PCFrank";
  }
  rt.FailFirst(f.operation, f.control, -1, f.occurrence);
  EXPECT_THROW(f.click(), CallError);
  ExpectStoppedAt(rt.log(), std::string(f.operation) + " " + f.control, f.occurrence);
  EXPECT_EQ(Narrow(C(button).caption), f.caption_after);
  if (button == "cmd1") {
    EXPECT_EQ(C("lbl55").font_name, f.face_after);
  }
  EXPECT_EQ(C(button).enabled, f.enabled_after);
}

INSTANTIATE_TEST_SUITE_P(
    FontSwitch, SwitchFailure,
    ::testing::Values(
        ButtonFailure{&cmd1_Click, u"PC Frank", "GetCaption", "cmd1", 1, "PC Frank", u"PCFrank", true},
        ButtonFailure{&cmd1_Click, u"PC Miriam", "GetCaption", "cmd1", 2, "PC Miriam", u"PCMiriam", true},
        ButtonFailure{&cmd1_Click, u"PC Frank", "SetCaption", "cmd1", 1, "PC Frank", u"PCFrank", true},
        ButtonFailure{&cmd1_Click, u"PC Frank", "SetFontName", "lbl55", 1, "PC Miriam", u"PCFrank", true},
        ButtonFailure{&cmd1_Click, u"PC Frank", "SetButtonFlag", "cmd1", 1, "PC Miriam", u"PCMiriam", true},
        ButtonFailure{&cmd1_Click, u"PC Frank", "SetButtonFlag", "cmd1", 2, "PC Miriam", u"PCMiriam", false},
        // From Miriam back to Frank.
        ButtonFailure{&cmd1_Click, u"PC Miriam", "SetCaption", "cmd1", 1, "PC Miriam", u"PCMiriam", true},
        ButtonFailure{&cmd1_Click, u"PC Miriam", "SetFontName", "lbl55", 1, "PC Frank", u"PCMiriam", true},
        ButtonFailure{&cmd1_Click, u"PC Miriam", "SetButtonFlag", "cmd1", 1, "PC Frank", u"PCFrank", true},
        ButtonFailure{&cmd1_Click, u"PC Miriam", "SetButtonFlag", "cmd1", 2, "PC Frank", u"PCFrank", false}));

TEST_F(SwitchTest, FailedFontWriteIsMendedByTheNextCompletedClick) {
  rt.FailFirst("SetFontName", "lbl55");
  EXPECT_THROW(cmd1_Click(), CallError);
  cmd1_Click();  // caption says Miriam: back to Frank, caption and face
  EXPECT_EQ(C("cmd1").caption, u"PC Frank");
  EXPECT_EQ(C("lbl55").font_name, u"PCFrank");
}

struct ModeFailure {
  const char* operation;
  const char* control;
  int occurrence;
  const char* caption_after;  // of cmd2
  int value_captions;  // how many labels show values afterwards
  int extras_shown;
  bool enabled;
  bool from_values = false;  // the failing click starts in value mode
};

class ModeSwitchFailure : public QuizTest,
                          public ::testing::WithParamInterface<ModeFailure> {};

TEST_P(ModeSwitchFailure, LeavesAHalfSwitchedBoardThatStillJudges) {
  const ModeFailure& f = GetParam();
  cmd2_Click();  // value captions everywhere, extras shown
  if (!f.from_values) cmd2_Click();  // name captions everywhere, extras hidden
  C("cmd2").enabled = false;
  rt.ClearLog();
  rt.FailFirst(f.operation, f.control, -1, f.occurrence);
  EXPECT_THROW(cmd2_Click(), CallError);
  ExpectStoppedAt(rt.log(), std::string(f.operation) + " " + f.control, f.occurrence);
  EXPECT_EQ(Narrow(C("cmd2").caption), f.caption_after);
  int values = 0, shown = 0;
  for (const Letter& row : Letters) {
    values += C(Label(row.AnswerLabelNumber)).caption == MakeTempBstr(row.Value);
  }
  for (const char* extra : {"lbl1", "lbl29", "lbl30", "lbl31", "lbl32"}) {
    shown += C(extra).visible;
  }
  EXPECT_EQ(values, f.value_captions);
  EXPECT_EQ(shown, f.extras_shown);
  EXPECT_EQ(C("cmd2").enabled, f.enabled);

  // The next completed click agrees with the caption again.
  const bool named_value = C("cmd2").caption == u"# VAL";
  cmd2_Click();
  for (const Letter& row : Letters) {
    EXPECT_EQ(C(Label(row.AnswerLabelNumber)).caption,
              named_value ? std::u16string(row.NameCaption) : MakeTempBstr(row.Value));
  }
  ShowLetter("kafhaf");
  rt.draws = {0};
  lbl12_Click();
  EXPECT_EQ(WrongCount, 0);
}

INSTANTIATE_TEST_SUITE_P(
    EachWrite, ModeSwitchFailure,
    ::testing::Values(ModeFailure{"GetCaption", "cmd2", 2, "ALPHA", 0, 0, false},
                      ModeFailure{"SetCaption", "cmd2", 1, "ALPHA", 0, 0, false},
                      ModeFailure{"SetCaption", "lbl2", 1, "# VAL", 0, 0, false},
                      ModeFailure{"SetCaption", "lbl12", 1, "# VAL", 10, 0, false},
                      ModeFailure{"SetCaption", "lbl28", 1, "# VAL", 26, 0, false},
                      ModeFailure{"SetVisible", "lbl1", 1, "# VAL", 27, 0, false},
                      ModeFailure{"SetVisible", "lbl31", 1, "# VAL", 27, 3, false},
                      ModeFailure{"SetButtonFlag", "cmd2", 2, "# VAL", 27, 5, false},
                      // From value mode back to name mode.
                      ModeFailure{"GetCaption", "cmd2", 1, "# VAL", 27, 5, false, true},
                      ModeFailure{"SetCaption", "cmd2", 1, "# VAL", 27, 5, false, true},
                      // lbl25 is 15th in the name order: after lbl24, before lbl15.
                      ModeFailure{"SetCaption", "lbl25", 1, "ALPHA", 13, 5, false, true},
                      ModeFailure{"SetVisible", "lbl30", 1, "ALPHA", 0, 3, false, true},
                      ModeFailure{"SetButtonFlag", "cmd2", 2, "ALPHA", 0, 0, false, true}));

// --- the view toggle ---------------------------------------------------------

const Lines kScoreReset = {"SetValue pro1 0", "SetProgressText pro1 \"1  Right / 0  Wrong\"",
                           "SetValue pro1 0"};

TEST_F(SwitchTest, ViewToggleGoesCompactAndBackResettingTheScoreEachTime) {
  RightCount = 40;
  WrongCount = 7;
  C("pro1").value = 33.0f;
  lbl55_Click();
  EXPECT_EQ(rt.log(), Concat({{"GetExtent frm1"}, kScoreReset,
                              {"SetExtent frm1 11295", "SetVisible pro1 0"}}));
  EXPECT_EQ(RightCount, 1);
  EXPECT_EQ(WrongCount, 0);
  EXPECT_FALSE(C("pro1").visible);

  RightCount = 5;
  WrongCount = 2;
  C("pro1").value = -3.0f;
  rt.ClearLog();
  lbl55_Click();
  EXPECT_EQ(rt.log(), Concat({{"GetExtent frm1", "GetExtent frm1"}, kScoreReset,
                              {"SetExtent frm1 11850", "SetVisible pro1 -1"}}));
  EXPECT_EQ(C("frm1").extent, 11850.0f);
  EXPECT_TRUE(C("pro1").visible);
  EXPECT_EQ(C("pro1").value, 0.0f);
  EXPECT_EQ(RightCount, 1);
  EXPECT_EQ(WrongCount, 0);
}

TEST_F(SwitchTest, ViewToggleAtAnyOtherExtentDoesNothing) {
  for (float extent : {11850.001f, 11294.999f, 0.0f, 790.0f}) {
    C("frm1").extent = extent;
    RightCount = 9;
    WrongCount = 4;
    const auto before = rt.Snapshot();
    rt.ClearLog();
    lbl55_Click();
    EXPECT_EQ(rt.log(), (Lines{"GetExtent frm1", "GetExtent frm1"}));
    EXPECT_EQ(rt.Snapshot(), before);
    EXPECT_EQ(RightCount, 9);
    EXPECT_EQ(WrongCount, 4);
  }
}

TEST_F(SwitchTest, AfterTheAutomaticCompactViewAClickResetsAndRestoresTheFullView) {
  ShowLetter("alef");
  RightCount = 101;
  rt.draws = {0};
  lbl2_Click();
  ASSERT_EQ(C("frm1").extent, 11295.0f);
  ASSERT_EQ(RightCount, 102);
  lbl55_Click();
  EXPECT_EQ(C("frm1").extent, 11850.0f);
  EXPECT_TRUE(C("pro1").visible);
  EXPECT_EQ(C("pro1").progress_text, u"1  Right / 0  Wrong");
  // The first right answer after the reset scores 1 again, the second 2.
  rt.draws = {0, 0};
  lbl2_Click();
  EXPECT_EQ(C("pro1").progress_text, u"1  Right / 0  Wrong");
  lbl2_Click();
  EXPECT_EQ(C("pro1").progress_text, u"2  Right / 0  Wrong");
}

TEST_F(SwitchTest, ViewToggleLeavesTheLetterAndTheBoardAlone) {
  ShowLetter("resh");
  lbl2_Click();  // wrong mark on lbl21
  const auto key = CurrentKey;
  const auto text = DisplayText;
  const auto board = rt.Snapshot();
  lbl55_Click();
  auto after = rt.Snapshot();
  after.at("frm1") = board.at("frm1");
  after.at("pro1") = board.at("pro1");
  EXPECT_EQ(after, board);
  EXPECT_EQ(CurrentKey, key);
  EXPECT_EQ(DisplayText, text);
}

struct ViewFailure {
  float extent;
  const char* operation;
  int occurrence;
  bool counters_reset;
  float extent_after;
  bool visible_after;
  const char* text_after;
};

class ViewToggleFailure : public QuizTest,
                          public ::testing::WithParamInterface<ViewFailure> {};

TEST_P(ViewToggleFailure, KeepsTheStepsBeforeTheFailure) {
  const ViewFailure& f = GetParam();
  C("frm1").extent = f.extent;
  C("pro1").visible = f.extent == 11850.0f;
  C("pro1").progress_text = u"old";
  C("pro1").value = 12.0f;
  RightCount = 20;
  WrongCount = 3;
  rt.FailFirst(f.operation, f.operation[3] == 'E' ? "frm1" : "pro1", -1, f.occurrence);
  EXPECT_THROW(lbl55_Click(), CallError);
  EXPECT_EQ(RightCount, f.counters_reset ? 1 : 20);
  EXPECT_EQ(WrongCount, f.counters_reset ? 0 : 3);
  EXPECT_EQ(C("frm1").extent, f.extent_after);
  EXPECT_EQ(C("pro1").visible, f.visible_after);
  EXPECT_EQ(Narrow(C("pro1").progress_text), f.text_after);
}

INSTANTIATE_TEST_SUITE_P(
    EachCall, ViewToggleFailure,
    ::testing::Values(
        ViewFailure{11850.0f, "GetExtent", 1, false, 11850.0f, true, "old"},
        ViewFailure{11295.0f, "GetExtent", 2, false, 11295.0f, false, "old"},
        ViewFailure{11850.0f, "SetValue", 1, false, 11850.0f, true, "old"},
        ViewFailure{11850.0f, "SetProgressText", 1, true, 11850.0f, true, "old"},
        ViewFailure{11850.0f, "SetValue", 2, true, 11850.0f, true, "1  Right / 0  Wrong"},
        ViewFailure{11850.0f, "SetExtent", 1, true, 11850.0f, true, "1  Right / 0  Wrong"},
        ViewFailure{11295.0f, "SetExtent", 1, true, 11295.0f, false, "1  Right / 0  Wrong"},
        ViewFailure{11850.0f, "SetVisible", 1, true, 11295.0f, true, "1  Right / 0  Wrong"},
        ViewFailure{11295.0f, "SetVisible", 1, true, 11850.0f, false, "1  Right / 0  Wrong"}));

TEST_F(SwitchTest, FailedProgressTextLeavesValueAtZero) {
  C("pro1").value = 12.0f;
  rt.FailFirst("SetProgressText", "pro1");
  EXPECT_THROW(lbl55_Click(), CallError);
  EXPECT_EQ(C("pro1").value, 0.0f);
}

}  // namespace
}  // namespace lq::test
