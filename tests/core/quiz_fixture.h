// A quiz driven through the recording runtime: the form loaded, the
// recordings read, the log cleared.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "form/handlers.h"
#include "media/preload.h"
#include "quiz/letters.h"
#include "quiz/looks.h"
#include "quiz/quiz.h"
#include "quiz/state.h"
#include "media/embedded.h"
#include "runtime/double/recording_runtime.h"
#include "runtime/strings.h"
#include "start/program.h"

namespace lq::test {

using Lines = std::vector<std::string>;
using fake::Narrow;

inline std::string Label(int number) { return "lbl" + std::to_string(number); }

// The label showing the letter with this key, lbl2 ... lbl28.
inline int LabelOfKey(const std::string& key) {
  for (const Letter& row : Letters) {
    if (key == row.Key) return row.AnswerLabelNumber;
  }
  return -1;
}

inline int PickOfKey(const std::string& key) {
  for (const Letter& row : Letters) {
    if (key == row.Key) return row.Pick;
  }
  return -1;
}

class QuizTest : public ::testing::Test {
 protected:
  QuizTest() : rt(TheProgram()) {
    SetRuntime(&rt);
    RightCount = 0;
    WrongCount = 0;
    DisplayText.clear();
    CurrentKey.clear();
    CurrentPick = 0;
    Controls.fill(kNoControl);
    for (auto& recording : Recording) recording.clear();
    PreloadRecordings();
    rt.LoadForm("frm1", 2, 0, 0, Controls.data());
    rt.ClearLog();
  }
  ~QuizTest() override { SetRuntime(nullptr); }

  // Puts the letter with `key` on show, as a draw would.
  void ShowLetter(const std::string& key) {
    const Letter& row = LetterByPick(PickOfKey(key));
    CurrentPick = row.Pick;
    CurrentKey = row.Key;
    DisplayText = std::string(1, row.Glyph);
    CurrentSound = Recording[row.Pick - 1];
    RightCount = 1;
  }

  // Runs `routine`, which must raise a call error, and says so.
  template <typename Routine>
  void ExpectRaises(Routine routine) {
    EXPECT_THROW(routine(), CallError);
  }

  fake::ControlState& C(const std::string& name) { return rt.control(name); }

  fake::RecordingRuntime rt;
};

// The 86 operations of a board reset, as a learner's eye would list them.
inline Lines ResetBoardLines() {
  Lines lines = {"SetFontSize lbl55 190", "SetStyleValue lbl55 7",
                 "SetSecondStyleValue lbl55 0", "SetForeColor lbl55 0x80000008",
                 "SetBackColor lbl55 0x80000000"};
  for (int n = 2; n <= 28; ++n) lines.push_back("SetBackColor " + Label(n) + " 0x8000000F");
  for (int n = 2; n <= 28; ++n) lines.push_back("SetForeColor " + Label(n) + " 0x80000008");
  for (int n = 2; n <= 28; ++n) lines.push_back("SetStyleValue " + Label(n) + " 6");
  return lines;
}

inline Lines Concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

}  // namespace lq::test
