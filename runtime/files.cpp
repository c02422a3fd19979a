#include "runtime/files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
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

bool Fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

std::string Errno(int e) { return std::strerror(e); }

// mkdir -p: every missing folder on the way, mode 0755.
bool MakeFolders(const std::string& folder, std::string* error) {
  struct stat st;
  if (stat(folder.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    return Fail(error, folder + ": exists and is not a folder");
  }
  if (errno != ENOENT) return Fail(error, folder + ": " + Errno(errno));
  const std::size_t slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    if (!MakeFolders(folder.substr(0, slash), error)) return false;
  }
  if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
    return Fail(error, folder + ": cannot create the folder: " + Errno(errno));
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return Fail(error, folder + ": cannot create the folder");
  return true;
}

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

}  // namespace

std::string FontsFolder() {
  if (const char* dir = std::getenv("LETTER_QUIZ_FONTS_DIR"); dir && *dir)
    return dir;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/')
    return std::string(data) + "/fonts";
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    if (const passwd* pw = getpwuid(getuid())) home = pw->pw_dir;
  }
  if (!home || !*home) return {};
  return std::string(home) + "/.local/share/fonts";
}

std::optional<std::string> MapProgramPath(const std::string& path) {
  const std::string prefix = std::string(kWindowsFontsFolder) + "\\";
  if (!StartsWithNoCase(path, prefix)) return std::nullopt;
  const std::string name = path.substr(prefix.size());
  if (!PlainFileName(name)) return std::nullopt;
  std::string folder = FontsFolder();
  if (folder.empty()) return std::nullopt;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder + "/" + name;
}

std::int16_t ProgramFileExists(const std::string& path) {
  const std::optional<std::string> local = MapProgramPath(path);
  if (!local) return kFalse;
  struct stat st;
  return lstat(local->c_str(), &st) == 0 ? kTrue : kFalse;
}

int WriteProgramFile(const std::string& path,
                     std::span<const std::uint8_t> content,
                     std::string* error) {
  const std::optional<std::string> local = MapProgramPath(path);
  if (!local) {
    Fail(error, "\"" + path + "\" is not a file in " + kWindowsFontsFolder);
    return kErrNotFound;
  }
  const std::size_t slash = local->find_last_of('/');
  const std::string folder = slash == 0 ? "/" : local->substr(0, slash);
  const std::string name = local->substr(slash + 1);
  if (!MakeFolders(folder, error)) return kErrIo;

  std::string temp = folder + (folder == "/" ? "" : "/") + "." + name + ".XXXXXX";
  std::vector<char> pattern(temp.begin(), temp.end());
  pattern.push_back('\0');
  const int fd = mkstemp(pattern.data());
  if (fd < 0) {
    Fail(error, *local + ": cannot create a temporary file in " + folder + ": " +
                    Errno(errno));
    return kErrIo;
  }
  temp.assign(pattern.data());

  auto fail = [&](const std::string& what, int e, bool close_fd) {
    if (close_fd) close(fd);
    unlink(temp.c_str());
    Fail(error, *local + ": " + what + ": " + Errno(e));
    return kErrIo;
  };
  if (fchmod(fd, 0644) != 0) return fail("cannot set the file mode", errno, true);
  if (!WriteAll(fd, content)) return fail("write failed", errno, true);
  if (fsync(fd) != 0) return fail("fsync failed", errno, true);
  if (close(fd) != 0) return fail("close failed", errno, false);
  if (rename(temp.c_str(), local->c_str()) != 0)
    return fail("cannot replace the file", errno, false);

  // Make the rename itself durable; the file is in place either way.
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return kOk;
}

}  // namespace lq
