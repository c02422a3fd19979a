#include "runtime/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "runtime/runtime.h"

namespace lq {
namespace {

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Case-insensitive (ASCII) prefix test, as Windows compares paths.
bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (Lower(s[i]) != Lower(prefix[i])) return false;
  return true;
}

bool PlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (c == '\\' || c == '/' || c == '\0') return false;
  return true;
}

// A text as it goes into a message: control bytes as \xNN.
std::string Printable(const std::string& s) {
  std::string out;
  for (char c : s) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::string Quoted(const std::string& s) {
  const std::string text = Printable(s);
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  out += text;
  out += '"';
  return out;
}

std::string Errno(int e) { return std::strerror(e); }

// Where a program path lands: the folder and the plain name in it.
struct Place {
  std::string folder;
  std::string name;
  std::string path;
};

// The fonts folder, or empty with *why_not saying why there is none.
std::string FindFontsFolder(std::string* why_not) {
  if (const char* dir = std::getenv("LETTER_QUIZ_FONTS_DIR"); dir && *dir)
    return dir;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/')
    return std::string(data) + "/fonts";
  const char* home = std::getenv("HOME");
  const char* home_state = !home ? "HOME is unset" : !*home ? "HOME is empty" : nullptr;
  if (home_state) {
    home = nullptr;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir)
      home = pw->pw_dir;
  }
  if (!home) {
    if (why_not)
      *why_not = std::string("there is no home folder for the fonts folder (") +
                 home_state + " and the user database has none)";
    return {};
  }
  return std::string(home) + "/.local/share/fonts";
}

std::optional<Place> Locate(const std::string& path, std::string* why) {
  const std::string prefix = std::string(kWindowsFontsFolder) + "\\";
  if (!StartsWithNoCase(path, prefix)) {
    if (why)
      *why = "cannot place " + Quoted(path) + ": it names no file in " +
             kWindowsFontsFolder + ", the only program folder with a place on this machine";
    return std::nullopt;
  }
  Place place;
  place.name = path.substr(prefix.size());
  if (!PlainFileName(place.name)) {
    if (why)
      *why = "cannot place " + Quoted(path) + ": " + Quoted(place.name) +
             " is not a plain file name";
    return std::nullopt;
  }
  std::string why_not;
  place.folder = FindFontsFolder(&why_not);
  if (place.folder.empty()) {
    if (why) *why = "cannot place " + Printable(place.name) + ": " + why_not;
    return std::nullopt;
  }
  while (place.folder.size() > 1 && place.folder.back() == '/') place.folder.pop_back();
  place.path = place.folder + (place.folder == "/" ? "" : "/") + place.name;
  return place;
}

bool Fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

// mkdir -p: every missing folder on the way, mode 0755.  Messages are what
// follows the target's path.
bool MakeFolders(const std::string& folder, std::string* error) {
  struct stat st;
  if (stat(folder.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    return Fail(error, folder + " is not a folder");
  }
  // ENOTDIR: something on the way is not a folder; the parent says which.
  if (errno != ENOENT && errno != ENOTDIR)
    return Fail(error, "cannot reach the folder " + folder + ": " + Errno(errno));
  const std::size_t slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    if (!MakeFolders(folder.substr(0, slash), error)) return false;
  }
  if (mkdir(folder.c_str(), 0755) != 0) {
    const int e = errno;
    if (e != EEXIST) return Fail(error, "cannot create the folder " + folder + ": " + Errno(e));
  }
  // Made here, or by someone else meanwhile.
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return Fail(error, folder + " is not a folder");
  return true;
}

// Writes all of `content`; false with errno set on failure.
bool WriteAll(int fd, std::span<const std::uint8_t> content) {
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

enum class Published { kWritten, kAlreadyThere, kFailed };

// Gives the complete file `temp` the name `target` unless an entry already
// stands there.  The temporary name is gone afterwards unless it failed.
Published PublishNoReplace(const std::string& temp, const std::string& target) {
  if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
    return Published::kWritten;
  if (errno == EEXIST) return Published::kAlreadyThere;
  if (errno != EINVAL && errno != ENOSYS) return Published::kFailed;

  // The file system (or the kernel) has no RENAME_NOREPLACE.  A hard link
  // is just as complete the moment it appears, and refuses an existing
  // name too.
  if (link(temp.c_str(), target.c_str()) != 0)
    return errno == EEXIST ? Published::kAlreadyThere : Published::kFailed;
  unlink(temp.c_str());
  return Published::kWritten;
}

bool IsTemporaryName(const std::string& entry, const std::string& name) {
  const std::string head = "." + name + ".";
  if (entry.size() != head.size() + 6 || entry.compare(0, head.size(), head) != 0)
    return false;
  for (std::size_t i = head.size(); i < entry.size(); ++i) {
    const char c = entry[i];
    const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!alnum) return false;
  }
  return true;
}

}  // namespace

std::string FontsFolder() { return FindFontsFolder(nullptr); }

std::optional<std::string> MapProgramPath(const std::string& path, std::string* why) {
  std::optional<Place> place = Locate(path, why);
  if (!place) return std::nullopt;
  return place->path;
}

std::int16_t ProgramFileExists(const std::string& path) {
  const std::optional<Place> place = Locate(path, nullptr);
  if (!place) return kFalse;
  struct stat st;
  return lstat(place->path.c_str(), &st) == 0 ? kTrue : kFalse;
}

int WriteProgramFile(const std::string& path,
                     std::span<const std::uint8_t> content,
                     std::string* error) {
  std::string why;
  const std::optional<Place> place = Locate(path, &why);
  if (!place) {
    Fail(error, why);
    return kErrNotFound;
  }
  const std::string& target = place->path;
  if (!MakeFolders(place->folder, &why)) {
    Fail(error, target + ": " + why);
    return kErrIo;
  }

  std::string temp =
      place->folder + (place->folder == "/" ? "" : "/") + "." + place->name + ".XXXXXX";
  std::vector<char> pattern(temp.begin(), temp.end());
  pattern.push_back('\0');
  const int fd = mkstemp(pattern.data());
  if (fd < 0) {
    Fail(error, target + ": cannot create a temporary file in " + place->folder + ": " +
                    Errno(errno));
    return kErrIo;
  }
  temp.assign(pattern.data());

  auto fail = [&](const std::string& what, int e, bool close_fd) {
    if (close_fd) close(fd);
    unlink(temp.c_str());
    Fail(error, target + ": " + what + ": " + Errno(e));
    return kErrIo;
  };
  if (fchmod(fd, 0644) != 0) return fail("cannot set the mode of the temporary file", errno, true);
  if (!WriteAll(fd, content)) return fail("cannot write the content", errno, true);
  if (fsync(fd) != 0) return fail("cannot flush the content to disk", errno, true);
  if (close(fd) != 0) return fail("cannot close the temporary file", errno, false);

  switch (PublishNoReplace(temp, target)) {
    case Published::kFailed:
      return fail("cannot put the file in place", errno, false);
    case Published::kAlreadyThere:
      // Whatever got there first stays; the path holds an entry either way.
      unlink(temp.c_str());
      return kOk;
    case Published::kWritten:
      break;
  }

  // Make the new name itself durable; the file is in place either way.
  const int dir = open(place->folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return kOk;
}

void RemoveStaleTemporaries(const std::string& path) {
  const std::optional<Place> place = Locate(path, nullptr);
  if (!place) return;
  // The folder itself may well be a link to the real one; its entries are
  // never followed.
  const int dir_fd = open(place->folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd < 0) return;
  DIR* dir = fdopendir(dir_fd);
  if (!dir) {
    close(dir_fd);
    return;
  }
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const time_t cutoff = now.tv_sec - 60;  // older than a minute: mtime < now - 60 s

  std::vector<std::string> stale;
  while (const dirent* entry = readdir(dir)) {
    const std::string entry_name = entry->d_name;
    if (!IsTemporaryName(entry_name, place->name)) continue;
    struct stat st;
    if (fstatat(dir_fd, entry_name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode)) continue;
    const bool old = st.st_mtim.tv_sec < cutoff ||
                     (st.st_mtim.tv_sec == cutoff && st.st_mtim.tv_nsec < now.tv_nsec);
    if (old) stale.push_back(entry_name);
  }
  // unlinkat removes the entry itself, whatever stands there by now.
  for (const std::string& entry_name : stale) unlinkat(dir_fd, entry_name.c_str(), 0);
  closedir(dir);
}

}  // namespace lq
