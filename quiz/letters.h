// The 27 letter forms the quiz drills, and the orders in which the routines
// visit them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "quiz/state.h"

namespace lq {

struct Letter {
  std::int32_t Pick;            // 1..27: place in the pick order
  const char* Key;              // answer key, "alef" ... "tzadiksofit"
  char Glyph;                   // code the letter fonts draw it at
  const char* Value;            // number value as decimal text
  const char16_t* NameCaption;  // caption in name mode
  int AnswerLabelNumber;        // n of lbl<n>, Pick + 1
};

inline constexpr int kLetterCount = 27;

// In pick order: the 22 letters alef to taf, then the final forms of kaf,
// mem, nun, pey and tzadik.
extern const std::array<Letter, kLetterCount> Letters;

// Each row's recording, the whole WAVE file; index Pick - 1.  Filled once at
// start and never written again.
extern std::array<std::string, kLetterCount> Recording;

inline const Letter& LetterByPick(std::int32_t pick) { return Letters[pick - 1]; }
inline ControlRef AnswerLabel(const Letter& row) {
  return Controls[AnswerLabelRef(row.AnswerLabelNumber)];
}

// Picks in the order the name-mode switch writes the captions: alphabet
// order with each final form right after its base letter.
extern const std::array<std::int32_t, kLetterCount> NameModeOrder;
// Picks in the order the value-mode switch writes the captions.
extern const std::array<std::int32_t, kLetterCount> ValueModeOrder;
// Keys in the order the start-up loads the recordings.
extern const std::array<const char*, kLetterCount> RecordingLoadOrder;

}  // namespace lq
