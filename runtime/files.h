// The program's file paths on this platform.
//
// The program names its font files by their Windows paths in the folder
// "C:\WINDOWS\Fonts".  That folder maps to the user's font folder, which
// fontconfig scans: $LETTER_QUIZ_FONTS_DIR when set, else
// $XDG_DATA_HOME/fonts (when absolute), else ~/.local/share/fonts, with the
// home folder from $HOME or else the user database.  Any other path, and
// any file name that is not a plain name inside that folder, is refused.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace lq {

inline constexpr const char* kWindowsFontsFolder = "C:\\WINDOWS\\Fonts";

// The folder that "C:\WINDOWS\Fonts" stands for here; empty when there is
// no home folder to put it in.
std::string FontsFolder();

// The local path for a Windows path in the fonts folder, or nothing.  When
// it maps nothing and `why` is given, *why holds a whole message that says
// so, one of:
//   cannot place "<path>": it names no file in C:\WINDOWS\Fonts, the only
//     program folder with a place on this machine
//   cannot place "<path>": "<name>" is not a plain file name
//   cannot place <name>: there is no home folder for the fonts folder
//     (HOME is unset and the user database has none)
//   (or "HOME is empty" in the last one).  Control bytes in <path> and
//   <name> are shown as \xNN.
std::optional<std::string> MapProgramPath(const std::string& path,
                                          std::string* why = nullptr);

// kTrue when any directory entry stands at the mapped path (a file of any
// size, a directory, a symbolic link even when it dangles), else kFalse.
// A path that maps nothing (refused, or no home folder) is kFalse, and
// nothing is probed.
std::int16_t ProgramFileExists(const std::string& path);

// Writes `content` to the mapped path without ever replacing what is there.
//
// Creates the folder when missing, writes and fsyncs a temporary file
// ".<name>.XXXXXX" in the same folder, then publishes it under the path
// with renameat2(RENAME_NOREPLACE), or with link() and unlink() where the
// file system refuses that flag.  A reader never sees a part-written file
// at the path.
//
// Returns kOk when the path holds an entry afterwards: the written file,
// or an entry that got there first (another start, the user).  That entry
// is left as it is, the temporary file is removed, and nothing is said.
// On success *error is not touched.
//
// On failure returns a negative status (kErrNotFound when the path maps
// nothing, kErrIo otherwise), leaves no temporary file behind, and puts in
// *error a whole message.  When the path maps, it begins with the local
// path, then ": " and one of:
//   <folder> is not a folder
//   cannot reach the folder <folder>: <system error>
//   cannot create the folder <folder>: <system error>
//   cannot create a temporary file in <folder>: <system error>
//   cannot set the mode of the temporary file: <system error>
//   cannot write the content: <system error>
//   cannot flush the content to disk: <system error>
//   cannot close the temporary file: <system error>
//   cannot put the file in place: <system error>
// When it does not, the message is the one MapProgramPath gives.
int WriteProgramFile(const std::string& path,
                     std::span<const std::uint8_t> content,
                     std::string* error);

// Removes the temporary files that an interrupted WriteProgramFile for
// `path` left in the mapped folder: entries named "." + name + "." and six
// of [A-Za-z0-9], that are regular files (a link, a folder or anything
// else with such a name stays) last modified more than a minute ago (a
// younger one may belong to a start writing right now).  Nothing else is
// touched and no entry is followed.  Best effort: does nothing when the
// path maps nothing or the folder is missing, and ignores every error.
void RemoveStaleTemporaries(const std::string& path);

}  // namespace lq
