// The program's file paths on this platform.
//
// The program names its font files by their Windows paths in the folder
// "C:\WINDOWS\Fonts".  That folder maps to the user's font folder, which
// fontconfig scans: $LETTER_QUIZ_FONTS_DIR when set, else
// $XDG_DATA_HOME/fonts, else ~/.local/share/fonts.  Any other path, and
// any file name that is not a plain name inside that folder, is refused.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace lq {

inline constexpr const char* kWindowsFontsFolder = "C:\\WINDOWS\\Fonts";

// The folder that "C:\WINDOWS\Fonts" stands for here.
std::string FontsFolder();
// The local path for a Windows path in the fonts folder, or nothing.
std::optional<std::string> MapProgramPath(const std::string& path);

// kTrue when any directory entry stands at the mapped path (a file of any
// size, a directory, a symbolic link even when it dangles), else kFalse.
std::int16_t ProgramFileExists(const std::string& path);

// Writes `content` to the mapped path: creates the folder when missing,
// writes a temporary file in the same folder, then renames it over the
// target, so no reader ever sees a part-written file.  On failure removes
// the temporary file, returns a negative status and says why in *error.
int WriteProgramFile(const std::string& path,
                     std::span<const std::uint8_t> content,
                     std::string* error);

}  // namespace lq
