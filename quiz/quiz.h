// The question cycle, answer judging and wrong-answer feedback.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/runtime.h"

namespace lq {

// Flags for PlayWaveFromMemory: from memory, and wait until it has played.
inline constexpr std::int32_t kPlayFromMemory = 4;
// How long the value stays on show after its recording, in pause units.
inline constexpr std::int32_t kAfterAnswerPause = 440;
// Window extents of the two views.
inline constexpr float kFullViewExtent = 11850.0f;
inline constexpr float kCompactViewExtent = 11295.0f;
// A lead of right over wrong answers beyond this switches to the compact view.
inline constexpr std::int64_t kCompactLead = 100;

// "<right>  Right / <wrong>  Wrong" from the present counts.
std::string ScoreText();

// True when the button's caption equals `text`; reads the caption once.
bool CaptionEquals(ControlRef button, const char* text);

// Closes the question just answered and sets the next one.
void NextQuestion();

// What a wrong answer does: marks the right label and the glyph, plays the
// error recording, counts it and steps the progress bar back.
void ShowWrongAnswer();

// The answer handler of the row with this pick.
void JudgeAnswer(std::int32_t pick);

}  // namespace lq
