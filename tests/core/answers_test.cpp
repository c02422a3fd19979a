// Answer judging and wrong-answer feedback.
#include <limits>

#include "quiz_fixture.h"

namespace lq::test {
namespace {

using AnswerTest = QuizTest;

// A letter and its final form show the same value; only the form on show
// is right, and the wrong mark goes to its label.
struct PairCase {
  const char* on_show;
  int right_label;
  int twin_label;  // shows the same value in value mode
};

class SameValuePairs : public QuizTest,
                       public ::testing::WithParamInterface<PairCase> {};

TEST_P(SameValuePairs, JudgeByTheLabelsOwnLetterNotItsText) {
  const PairCase c = GetParam();
  cmd2_Click();  // value mode
  ASSERT_EQ(C(Label(c.right_label)).caption, C(Label(c.twin_label)).caption);
  ShowLetter(c.on_show);
  rt.ClearLog();
  rt.Fire(Label(c.twin_label) + "_Click");
  EXPECT_EQ(rt.ControlLog(),
            (Lines{"SetForeColor " + Label(c.right_label) + " 0x000000FF",
                   "SetForeColor lbl55 0x000000FF", "GetValue pro1",
                   "SetValue pro1 -1"}));
  EXPECT_EQ(C(Label(c.twin_label)).fore, 0u) << "the clicked label is untouched";
  EXPECT_EQ(WrongCount, 1);
  EXPECT_EQ(CurrentKey, c.on_show);

  rt.draws = {0};
  rt.Fire(Label(c.right_label) + "_Click");
  EXPECT_EQ(WrongCount, 1);
  EXPECT_EQ(RightCount, 2);
}

INSTANTIATE_TEST_SUITE_P(
    FiveValues, SameValuePairs,
    ::testing::Values(PairCase{"kafsofit", 24, 12}, PairCase{"kafhaf", 12, 24},
                      PairCase{"memsofit", 25, 14}, PairCase{"mem", 14, 25},
                      PairCase{"nunsofit", 26, 15}, PairCase{"nun", 15, 26},
                      PairCase{"peysofit", 27, 18}, PairCase{"peyfey", 18, 27},
                      PairCase{"tzadiksofit", 28, 19},
                      PairCase{"tzadik", 19, 28}));

TEST_F(AnswerTest, EveryLabelIsRightExactlyForItsOwnLetter) {
  for (const Letter& shown : Letters) {
    for (const Letter& clicked : Letters) {
      ShowLetter(shown.Key);
      WrongCount = 0;
      rt.draws = {shown.Pick - 1};  // keep the same letter on show
      ASSERT_TRUE(rt.Fire(Label(clicked.AnswerLabelNumber) + "_Click"));
      EXPECT_EQ(RightCount == 2, shown.Pick == clicked.Pick)
          << shown.Key << " on show, " << clicked.Key << " clicked";
      EXPECT_EQ(WrongCount == 1, shown.Pick != clicked.Pick);
    }
  }
}

TEST_F(AnswerTest, RightAnswerMarksTheLabelAndShowsTheValueInEitherMode) {
  ShowLetter("kafsofit");
  rt.draws = {0};
  lbl24_Click();  // name mode
  EXPECT_EQ(rt.ControlLog()[0], "SetBackColor lbl24 0x80000000");
  EXPECT_EQ(rt.ControlLog()[1], "SetStyleValue lbl24 7");
  const Lines& log = rt.log();
  EXPECT_NE(std::find(log.begin(), log.end(), "SetCaption lbl55 \"20\""), log.end());
}

TEST_F(AnswerTest, MarkedLabelKeepsTheRedTextOfAnEarlierWrongMark) {
  ShowLetter("hey");
  lbl2_Click();
  lbl3_Click();
  EXPECT_EQ(WrongCount, 2);
  GiveMarkedLook(Controls[AnswerLabelRef(6)]);
  EXPECT_EQ(C("lbl6").fore, kRed);
  EXPECT_EQ(C("lbl6").back, kScrollBar);
  EXPECT_EQ(C("lbl6").style, 7);
}

TEST_F(AnswerTest, RightClickAfterWrongClicksKeepsTheRedTextWhileTheValueShows) {
  ShowLetter("hey");
  rt.Fire("lbl2_Click");
  rt.Fire("lbl3_Click");
  ASSERT_EQ(WrongCount, 2);
  // Stop the question at the board reset's first call, after the recording:
  // the board is as the learner sees it while the value and the sound last.
  rt.FailFirst("SetFontSize", "lbl55", -1, 2);
  ASSERT_TRUE(rt.Fire("lbl6_Click"));
  ASSERT_EQ(rt.log().back(), "RaiseCallError -1");
  const Lines& log = rt.log();
  ASSERT_NE(std::find(log.begin(), log.end(), "PlayWaveFromMemory :hey 4"), log.end());
  EXPECT_EQ(RightCount, 2);
  EXPECT_EQ(C("lbl6").fore, kRed);
  EXPECT_EQ(C("lbl6").back, kScrollBar);
  EXPECT_EQ(C("lbl6").style, 7);
  EXPECT_EQ(C("lbl55").caption, u"5");
  EXPECT_EQ(C("lbl55").fore, kRed);  // the value look's own red
}

TEST_F(AnswerTest, NoLetterOnShowEveryClickIsWrongAndMarksNothing) {
  for (int n : {2, 14, 25, 28}) rt.Fire(Label(n) + "_Click");
  EXPECT_EQ(WrongCount, 4);
  EXPECT_EQ(rt.ControlLog().size(), 8u);  // GetValue and SetValue each time
  for (const std::string& line : rt.ControlLog()) {
    EXPECT_FALSE(line.starts_with("SetForeColor")) << line;
  }
  EXPECT_EQ(C("pro1").value, -4.0f);
}

TEST_F(AnswerTest, ThreeWrongClicksPlayThreeTimesAndKeepTheOldScoreText) {
  ShowLetter("mem");
  C("pro1").progress_text = u"1  Right / 0  Wrong";
  C("pro1").value = 1.0f;
  for (int n : {25, 2, 25}) rt.Fire(Label(n) + "_Click");
  const Lines& log = rt.log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "PlayWaveFromMemory :online 4"), 3);
  EXPECT_EQ(WrongCount, 3);
  EXPECT_EQ(C("pro1").value, -2.0f);
  EXPECT_EQ(C("pro1").progress_text, u"1  Right / 0  Wrong");
  EXPECT_EQ(CurrentKey, "mem");
  EXPECT_EQ(C("lbl14").fore, kRed);
  EXPECT_EQ(C("lbl25").fore, 0u);  // "memsofit" is not "mem"
}

TEST_F(AnswerTest, KeysMatchOnlyAsWholeTexts) {
  for (const char* key : {"mem", "nun", "tzadik", "memsofit", "nunsofit",
                          "tzadiksofit", "me", "memsofitx", "Mem", ""}) {
    CurrentKey = key;
    rt.ClearLog();
    ShowWrongAnswer();
    const int label = LabelOfKey(key);
    const Lines control = rt.ControlLog();
    if (label > 0) {
      EXPECT_EQ(control[0], "SetForeColor " + Label(label) + " 0x000000FF") << key;
      EXPECT_EQ(control.size(), 4u) << key;
    } else {
      EXPECT_EQ(control.size(), 2u) << key;
    }
  }
}

TEST_F(AnswerTest, WrongAnswerInTheCompactViewLowersTheHiddenProgressAllTheSame) {
  ShowLetter("quf");
  C("frm1").extent = 11295.0f;
  C("pro1").visible = false;
  C("pro1").value = 4.0f;
  ASSERT_TRUE(rt.Fire("lbl21_Click"));
  EXPECT_EQ(rt.ControlLog(), (Lines{"SetForeColor lbl20 0x000000FF",
                                    "SetForeColor lbl55 0x000000FF", "GetValue pro1",
                                    "SetValue pro1 3"}));
  EXPECT_EQ(WrongCount, 1);
  EXPECT_EQ(C("pro1").value, 3.0f);
  EXPECT_FALSE(C("pro1").visible);
  EXPECT_EQ(C("frm1").extent, 11295.0f);
}

TEST_F(AnswerTest, WrongCountAtTheTopOfItsRangeStepsOnToTheBottom) {
  ShowLetter("alef");
  WrongCount = std::numeric_limits<std::int32_t>::max();
  lbl3_Click();
  EXPECT_EQ(WrongCount, std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(C("pro1").value, -1.0f);
}

TEST_F(AnswerTest, WrongAnswerWaitsForTheErrorRecordingBeforeCounting) {
  ShowLetter("alef");
  rt.ClearLog();
  ShowWrongAnswer();
  EXPECT_EQ(rt.log(), (Lines{"SetForeColor lbl2 0x000000FF",
                             "SetForeColor lbl55 0x000000FF",
                             "PlayWaveFromMemory :online 4", "GetValue pro1",
                             "SetValue pro1 -1"}));
}

// What a failing control call of the wrong-answer feedback leaves.
struct WrongFailure {
  const char* operation;
  const char* control;
  bool played;
  float value_after;
};

class ShowWrongAnswerFailure : public QuizTest,
                               public ::testing::WithParamInterface<WrongFailure> {};

TEST_P(ShowWrongAnswerFailure, KeepsTheStepsBeforeIt) {
  const WrongFailure f = GetParam();
  ShowLetter("zayin");
  C("pro1").value = 5.0f;
  rt.FailFirst(f.operation, f.control);
  EXPECT_THROW(ShowWrongAnswer(), CallError);
  const Lines& log = rt.log();
  const bool played =
      std::find(log.begin(), log.end(), "PlayWaveFromMemory :online 4") != log.end();
  EXPECT_EQ(played, f.played);
  EXPECT_EQ(WrongCount, f.played ? 1 : 0);
  EXPECT_EQ(C("pro1").value, f.value_after);
  EXPECT_EQ(C("lbl55").fore == kRed, std::string(f.control) != "lbl8" &&
                                         std::string(f.control) != "lbl55");
}

INSTANTIATE_TEST_SUITE_P(
    EachCall, ShowWrongAnswerFailure,
    ::testing::Values(WrongFailure{"SetForeColor", "lbl8", false, 5.0f},
                      WrongFailure{"SetForeColor", "lbl55", false, 5.0f},
                      WrongFailure{"GetValue", "pro1", true, 5.0f},
                      WrongFailure{"SetValue", "pro1", true, 5.0f}));

struct JudgeFailure {
  const char* operation;
};

class AnswerHandlerFailure : public QuizTest,
                             public ::testing::WithParamInterface<JudgeFailure> {};

TEST_P(AnswerHandlerFailure, LeavesTheLetterAndCountsAsTheyWere) {
  ShowLetter("samech");
  rt.FailFirst(GetParam().operation, "lbl16");
  rt.Fire("lbl16_Click");  // dispatched: the error is raised and caught
  EXPECT_EQ(rt.raised, std::vector<int>{-1});
  EXPECT_EQ(CurrentKey, "samech");
  EXPECT_EQ(DisplayText, "R");
  EXPECT_EQ(RightCount, 1);
  EXPECT_EQ(WrongCount, 0);
  const Lines& log = rt.log();
  EXPECT_EQ(std::find(log.begin(), log.end(), "GetCaption cmd1"), log.end());
}

INSTANTIATE_TEST_SUITE_P(Both, AnswerHandlerFailure,
                         ::testing::Values(JudgeFailure{"SetBackColor"},
                                           JudgeFailure{"SetStyleValue"}));

TEST_F(AnswerTest, FailedStyleKeepsTheMarkedBackColourUntilTheNextReset) {
  ShowLetter("samech");
  rt.FailFirst("SetStyleValue", "lbl16");
  EXPECT_THROW(JudgeAnswer(15), CallError);
  EXPECT_EQ(C("lbl16").back, kScrollBar);
}

}  // namespace
}  // namespace lq::test
