// What the start-up takes from the embedded resources: the two letter fonts,
// written to the fonts folder where missing, and the 29 recordings, read
// whole into memory.
#pragma once

#include <string>

namespace lq {

inline constexpr const char* kNewHebrewPath = "C:\\WINDOWS\\Fonts\\NewHebrew.ttf";
inline constexpr const char* kOldHebrewPath = "C:\\WINDOWS\\Fonts\\OldHebrew.ttf";

// Writes each font whose file is missing; a file already there, whatever it
// holds, is left alone.
void InstallFonts();

// Reads one resource whole into `buffer` through channel 1.
void LoadRecording(const std::string& name, std::string& buffer);

// ":online" into ErrorSound and again into CurrentSound, then the 27 letter
// recordings in their load order.
void PreloadRecordings();

}  // namespace lq
