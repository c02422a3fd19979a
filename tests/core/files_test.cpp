#include "runtime/files.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>
#include <vector>

#include "runtime/runtime.h"

namespace lq {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the life of the object, then puts back
// what was there.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string Win(const std::string& name) { return std::string("C:\\WINDOWS\\Fonts\\") + name; }

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::set<std::string> Listing(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

// Bytes that differ from one offset to the next, so a cut or shifted copy
// never compares equal.
std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 131 + i / 4093) & 0xff);
  return s;
}

std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// The name a writer gives its temporary file: "." + name + "." and six of
// mkstemp's letters and digits.
bool IsTemporaryOf(const std::string& entry, const std::string& name) {
  const std::string head = "." + name + ".";
  if (entry.size() != head.size() + 6 || entry.rfind(head, 0) != 0) return false;
  for (std::size_t i = head.size(); i < entry.size(); ++i)
    if (!std::isalnum(static_cast<unsigned char>(entry[i]))) return false;
  return true;
}

bool MentionsWindowsPath(const std::string& s) {
  for (std::size_t i = 0; i + 2 < s.size(); ++i)
    if ((s[i] == 'C' || s[i] == 'c') && s[i + 1] == ':' && s[i + 2] == '\\') return true;
  return false;
}

// Sets both times of an entry (not what a link points to) to `age_seconds`
// before now.
void SetAge(const fs::path& p, long age_seconds) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const timespec when{now.tv_sec - age_seconds, now.tv_nsec};
  const timespec times[2] = {when, when};
  ASSERT_EQ(utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << p;
}

// ---- a child process with its own limits -----------------------------------

// Sets a child up; "" when it is ready, else why the case cannot run here.
using Step = std::function<std::string()>;

struct ChildResult {
  std::string skipped;  // why the child did not run the body
  std::string out;      // what the body returned
};

// Runs `body` in a forked child once `prepare` has set the child up, and
// hands back what the body returned.  The child shares the file system with
// the test, which looks at it afterwards.
ChildResult RunInChild(const Step& prepare, const Step& body) {
  int fds[2];
  if (pipe(fds) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return {"no pipe", ""};
  }
  const pid_t pid = fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork: " << std::strerror(errno);
    return {"no fork", ""};
  }
  if (pid == 0) {
    close(fds[0]);
    const std::string why_not = prepare ? prepare() : std::string();
    const std::string message = why_not.empty() ? "+" + body() : "-" + why_not;
    std::size_t done = 0;
    while (done < message.size()) {
      const ssize_t n = write(fds[1], message.data() + done, message.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) _exit(3);
      done += static_cast<std::size_t>(n);
    }
    _exit(0);
  }
  close(fds[1]);
  std::string message;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    message.append(buffer, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || message.empty()) {
    ADD_FAILURE() << "the child ended abnormally (wait status " << status << ")";
    return {"the child ended abnormally", ""};
  }
  if (message[0] == '-') return {message.substr(1), ""};
  return {"", message.substr(1)};
}

// What a write did, as seen from the process that made it.
struct Outcome {
  int status = 1;
  std::int16_t exists = 1;  // ProgramFileExists afterwards
  std::string error;
};

std::string Encode(const Outcome& o) {
  return std::to_string(o.status) + " " + std::to_string(o.exists) + "\n" + o.error;
}

Outcome Decode(const std::string& s) {
  Outcome o;
  std::istringstream in(s);
  in >> o.status >> o.exists;
  const std::size_t newline = s.find('\n');
  if (newline != std::string::npos) o.error = s.substr(newline + 1);
  return o;
}

Outcome WriteAndLook(const std::string& path, const std::string& content) {
  Outcome o;
  o.status = WriteProgramFile(path, Bytes(content), &o.error);
  o.exists = ProgramFileExists(path);
  return o;
}

// Writes beyond `bytes` fail with EFBIG instead of killing the process.
std::string LimitFileSize(rlim_t bytes) {
  signal(SIGXFSZ, SIG_IGN);
  const rlimit limit{bytes, bytes};
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return std::string("setrlimit: ") + std::strerror(errno);
  return {};
}

// Makes renameat2 fail with `err`, as on a file system (EINVAL) or kernel
// (ENOSYS) without RENAME_NOREPLACE.
std::string RefuseRenameat2(int err) {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<__u32>(offsetof(seccomp_data, nr))),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<__u32>(SYS_renameat2), 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<__u32>(err) & SECCOMP_RET_DATA)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1UL, 0UL, 0UL, 0UL) != 0 ||
      prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
    return std::string("cannot install a seccomp filter: ") + std::strerror(errno);
  // The C library may report a missing system call as EINVAL.
  errno = 0;
  const bool refused =
      renameat2(AT_FDCWD, "/nonexistent-a", AT_FDCWD, "/nonexistent-b", RENAME_NOREPLACE) != 0 &&
      (errno == err || (err == ENOSYS && errno == EINVAL));
  if (!refused) return "the seccomp filter does not refuse renameat2";
  return {};
}

// A user id that the user database does not know.
uid_t UnknownUid() {
  for (uid_t uid = 47000; uid < 48000; ++uid)
    if (getpwuid(uid) == nullptr) return uid;
  return 0;
}

// Permission bits stop any user but root: as root, become another user.
// `reach` must stay reachable for that user.
std::string AsPlainUser(const fs::path& reach) {
  if (geteuid() == 0) {
    const uid_t uid = UnknownUid();
    if (uid == 0) return "no free user id";
    if (setgroups(0, nullptr) != 0 || setresgid(uid, uid, uid) != 0 ||
        setresuid(uid, uid, uid) != 0)
      return std::string("cannot leave root: ") + std::strerror(errno);
  }
  if (access(reach.c_str(), X_OK) != 0)
    return reach.string() + " is not reachable for user " + std::to_string(getuid());
  return {};
}

// ---- fixtures ---------------------------------------------------------------

// A fresh temporary folder; the fonts folder is "fonts" inside it and does
// not exist yet.
class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "lq_files_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fonts_ = root_ / "fonts";
    env_.emplace("LETTER_QUIZ_FONTS_DIR", fonts_.c_str());
  }
  void TearDown() override {
    env_.reset();
    OpenUp(root_);
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // Gives the owner every right on `folder` and the folders in it, so that
  // they can be removed.
  static void OpenUp(const fs::path& folder) {
    std::error_code ec;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, ec);
    for (const auto& e : fs::directory_iterator(folder, ec))
      if (e.is_directory(ec) && !e.is_symlink(ec)) OpenUp(e.path());
  }

  // Every temporary file of NewHebrew.ttf anywhere under the root.
  std::vector<std::string> Temporaries() const {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(
             root_, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (ec) break;
      if (IsTemporaryOf(it->path().filename().string(), "NewHebrew.ttf"))
        found.push_back(it->path().string());
    }
    return found;
  }

  fs::path root_, fonts_;
  std::optional<ScopedEnv> env_;
};

// ---- mapping ----------------------------------------------------------------

TEST_F(FilesTest, MapsOnlyPlainNamesInTheFontsFolder) {
  EXPECT_EQ(MapProgramPath(Win("NewHebrew.ttf")), (fonts_ / "NewHebrew.ttf").string());
  // Windows compares the folder without regard to case; the name is kept.
  EXPECT_EQ(MapProgramPath("c:\\windows\\fonts\\OldHebrew.ttf"),
            (fonts_ / "OldHebrew.ttf").string());
  EXPECT_EQ(MapProgramPath("C:\\Windows\\FONTS\\a b.TTF"), (fonts_ / "a b.TTF").string());

  const std::string outside =
      ": it names no file in C:\\WINDOWS\\Fonts, the only program folder with a place on "
      "this machine";
  struct Refused {
    std::string path;
    std::string why;
  };
  const Refused refused[] = {
      {"", "cannot place \"\"" + outside},
      {"C:\\WINDOWS\\Fonts", "cannot place \"C:\\WINDOWS\\Fonts\"" + outside},
      {"C:\\WINDOWS\\Fonts\\", "cannot place \"C:\\WINDOWS\\Fonts\\\": \"\" is not a plain file name"},
      {"C:\\WINDOWS\\Fonts\\.", "cannot place \"C:\\WINDOWS\\Fonts\\.\": \".\" is not a plain file name"},
      {"C:\\WINDOWS\\Fonts\\..",
       "cannot place \"C:\\WINDOWS\\Fonts\\..\": \"..\" is not a plain file name"},
      {"C:\\WINDOWS\\Fonts\\..\\x.ttf",
       "cannot place \"C:\\WINDOWS\\Fonts\\..\\x.ttf\": \"..\\x.ttf\" is not a plain file name"},
      {"C:\\WINDOWS\\Fonts\\sub\\x.ttf",
       "cannot place \"C:\\WINDOWS\\Fonts\\sub\\x.ttf\": \"sub\\x.ttf\" is not a plain file name"},
      {"C:\\WINDOWS\\Fonts\\sub/x.ttf",
       "cannot place \"C:\\WINDOWS\\Fonts\\sub/x.ttf\": \"sub/x.ttf\" is not a plain file name"},
      {"C:\\WINDOWS\\Fonts\\../x.ttf",
       "cannot place \"C:\\WINDOWS\\Fonts\\../x.ttf\": \"../x.ttf\" is not a plain file name"},
      {"C:\\WINDOWS\\FontsX\\x.ttf", "cannot place \"C:\\WINDOWS\\FontsX\\x.ttf\"" + outside},
      {"C:\\WINDOWS\\System32\\x.ttf", "cannot place \"C:\\WINDOWS\\System32\\x.ttf\"" + outside},
      {"D:\\WINDOWS\\Fonts\\x.ttf", "cannot place \"D:\\WINDOWS\\Fonts\\x.ttf\"" + outside},
      {"C:/WINDOWS/Fonts/x.ttf", "cannot place \"C:/WINDOWS/Fonts/x.ttf\"" + outside},
      {"x.ttf", "cannot place \"x.ttf\"" + outside},
      {"/etc/passwd", "cannot place \"/etc/passwd\"" + outside},
      // A byte that would cut or garble the message is shown, not written.
      {std::string("C:\\WINDOWS\\Fonts\\x\0.ttf", 23),
       "cannot place \"C:\\WINDOWS\\Fonts\\x\\x00.ttf\": \"x\\x00.ttf\" is not a plain file name"},
      {"D:\\a\nb.ttf", "cannot place \"D:\\a\\x0ab.ttf\"" + outside},
  };
  for (const Refused& r : refused) {
    std::string why;
    EXPECT_EQ(MapProgramPath(r.path, &why), std::nullopt) << r.path;
    EXPECT_EQ(why, r.why);
    EXPECT_EQ(ProgramFileExists(r.path), kFalse) << r.path;
    std::string error;
    EXPECT_EQ(WriteProgramFile(r.path, {}, &error), kErrNotFound) << r.path;
    EXPECT_EQ(error, r.why);
  }
  EXPECT_FALSE(fs::exists(fonts_));  // no refused write made the folder
}

TEST(FontsFolder, FollowsTheEnvironment) {
  struct Case {
    const char* override_dir;
    const char* xdg;
    const char* home;
    const char* folder;
  };
  const Case cases[] = {
      {"/tmp/f", "/data", "/home/u", "/tmp/f"},
      {"", "/data", "/home/u", "/data/fonts"},
      {nullptr, "/data", "/home/u", "/data/fonts"},
      {nullptr, "relative", "/home/u", "/home/u/.local/share/fonts"},
      {nullptr, "", "/home/u", "/home/u/.local/share/fonts"},
      {nullptr, nullptr, "/home/u", "/home/u/.local/share/fonts"},
  };
  for (const Case& c : cases) {
    ScopedEnv a("LETTER_QUIZ_FONTS_DIR", c.override_dir);
    ScopedEnv b("XDG_DATA_HOME", c.xdg);
    ScopedEnv h("HOME", c.home);
    EXPECT_EQ(FontsFolder(), c.folder)
        << (c.override_dir ? c.override_dir : "-") << " " << (c.xdg ? c.xdg : "-");
  }
}

// The state of every entry under a folder: type, size, contents or link
// target, modification time (not of folders, whose entries are listed).
using Snapshot = std::map<std::string, std::tuple<unsigned, long long, long long, std::string>>;

Snapshot Take(const fs::path& folder) {
  Snapshot shot;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    struct stat st;
    if (lstat(e.path().c_str(), &st) != 0) continue;
    std::string body;
    if (S_ISREG(st.st_mode)) body = ReadAll(e.path());
    if (S_ISLNK(st.st_mode)) body = fs::read_symlink(e.path()).string();
    shot[fs::relative(e.path(), folder).string()] = {
        static_cast<unsigned>(st.st_mode), static_cast<long long>(st.st_size),
        S_ISDIR(st.st_mode)
            ? 0
            : static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec,
        body};
  }
  return shot;
}

// With no home folder there is no fonts folder: nothing counts as present,
// nothing is written, and no path is probed in its stead ("/", the working
// folder).  Run in a child shut into a jail of its own, where the user
// database has no entry and where such probes would find files.
TEST_F(FilesTest, WithoutAHomeFolderNothingIsProbedOrWritten) {
  const fs::path jail = root_ / "jail";
  const std::string old_temp = ".NewHebrew.ttf.aB3xY9";
  for (const fs::path& folder : {jail, jail / ".local/share/fonts", jail / "data/fonts"}) {
    fs::create_directories(folder);
    std::ofstream(folder / "NewHebrew.ttf") << "someone's font";
    std::ofstream(folder / old_temp) << "left over";
    SetAge(folder / old_temp, 3600);
  }
  const Snapshot before = Take(jail);

  struct Case {
    const char* home;
    const char* xdg;
    const char* state;
  };
  const Case cases[] = {
      {nullptr, nullptr, "HOME is unset"},
      {"", "data", "HOME is empty"},  // a relative XDG_DATA_HOME does not count
  };
  for (const Case& c : cases) {
    const std::string path = Win("NewHebrew.ttf");
    const ChildResult run = RunInChild(
        [&]() -> std::string {
          if (geteuid() != 0) return "shutting the user database out (chroot) needs root";
          if (chroot(jail.c_str()) != 0 || chdir("/") != 0)
            return std::string("chroot: ") + std::strerror(errno);
          unsetenv("LETTER_QUIZ_FONTS_DIR");
          c.home ? setenv("HOME", c.home, 1) : unsetenv("HOME");
          c.xdg ? setenv("XDG_DATA_HOME", c.xdg, 1) : unsetenv("XDG_DATA_HOME");
          if (getpwuid(getuid()) != nullptr) return "the user database still answers in the jail";
          return {};
        },
        [&] {
          RemoveStaleTemporaries(path);
          std::string why;
          Outcome o = WriteAndLook(path, "font");
          const bool mapped = MapProgramPath(path, &why).has_value();
          if (mapped || why != o.error) o.error += " | MapProgramPath says: " + why;
          return Encode(o) + (FontsFolder().empty() ? "" : " | FontsFolder: " + FontsFolder());
        });
    if (!run.skipped.empty()) GTEST_SKIP() << run.skipped;
    const Outcome o = Decode(run.out);
    EXPECT_EQ(o.status, kErrNotFound) << c.state;
    EXPECT_EQ(o.exists, kFalse) << c.state;
    EXPECT_EQ(o.error, std::string("cannot place NewHebrew.ttf: there is no home folder for the "
                                   "fonts folder (") +
                           c.state + " and the user database has none)");
    EXPECT_EQ(Take(jail), before) << c.state;
  }
}

// ---- presence ---------------------------------------------------------------

TEST_F(FilesTest, AnyEntryCountsAsPresent) {
  EXPECT_EQ(ProgramFileExists(Win("NewHebrew.ttf")), kFalse);  // no folder yet
  fs::create_directories(fonts_);
  EXPECT_EQ(ProgramFileExists(Win("NewHebrew.ttf")), kFalse);

  std::ofstream(fonts_ / "full.ttf") << "font";
  std::ofstream(fonts_ / "empty.ttf");
  fs::create_directory(fonts_ / "folder.ttf");
  fs::create_symlink(root_ / "nowhere", fonts_ / "dangling.ttf");
  for (const char* name : {"full.ttf", "empty.ttf", "folder.ttf", "dangling.ttf"})
    EXPECT_EQ(ProgramFileExists(Win(name)), kTrue) << name;
  EXPECT_EQ(ProgramFileExists("C:\\windows\\FONTS\\full.ttf"), kTrue);
  EXPECT_EQ(ProgramFileExists(Win("FULL.ttf")), kFalse);  // the name is kept as is
}

// ---- writing ----------------------------------------------------------------

TEST_F(FilesTest, WriteCreatesTheFolderAndWritesExactBytes) {
  ScopedEnv nested("LETTER_QUIZ_FONTS_DIR", (root_ / "a" / "b" / "fonts").c_str());
  std::string content("\0\1\2font\xff\0", 9);
  for (int i = 0; i < 20000; ++i) content += static_cast<char>(i * 7);
  std::string error;
  ASSERT_EQ(WriteProgramFile(Win("NewHebrew.ttf"), Bytes(content), &error), kOk) << error;
  const fs::path target = root_ / "a" / "b" / "fonts" / "NewHebrew.ttf";
  EXPECT_EQ(ReadAll(target), content);
  EXPECT_EQ(Listing(target.parent_path()), std::set<std::string>{"NewHebrew.ttf"});
  EXPECT_EQ(ProgramFileExists(Win("NewHebrew.ttf")), kTrue);
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);  // readable by the font scanner

  // An empty content makes an empty file.
  ASSERT_EQ(WriteProgramFile(Win("empty.ttf"), {}, &error), kOk) << error;
  EXPECT_EQ(fs::file_size(target.parent_path() / "empty.ttf"), 0u);
}

// How the written file gets its name: renameat2 with RENAME_NOREPLACE, or
// link() where the file system or the kernel refuses that flag (a child
// process whose renameat2 fails with that error).
enum class Publish { kRenameNoReplace, kLinkAfterEinval, kLinkAfterEnosys };

class PublishTest : public FilesTest, public ::testing::WithParamInterface<Publish> {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    if (GetParam() != Publish::kRenameNoReplace) {
      const ChildResult probe = RunInChild(Prepare(), [] { return std::string(); });
      if (!probe.skipped.empty()) GTEST_SKIP() << probe.skipped;
    }
  }

  Step Prepare() const {
    switch (GetParam()) {
      case Publish::kLinkAfterEinval:
        return [] { return RefuseRenameat2(EINVAL); };
      case Publish::kLinkAfterEnosys:
        return [] { return RefuseRenameat2(ENOSYS); };
      case Publish::kRenameNoReplace:
        break;
    }
    return nullptr;
  }

  // Runs `body` here, or in a child that publishes the other way.
  std::string Run(const Step& body) const {
    if (GetParam() == Publish::kRenameNoReplace) return body();
    const ChildResult run = RunInChild(Prepare(), body);
    EXPECT_EQ(run.skipped, "");
    return run.out;
  }

  Outcome Write(const std::string& path, const std::string& content) const {
    return Decode(Run([&] { return Encode(WriteAndLook(path, content)); }));
  }
};

INSTANTIATE_TEST_SUITE_P(Files, PublishTest,
                         ::testing::Values(Publish::kRenameNoReplace, Publish::kLinkAfterEinval,
                                           Publish::kLinkAfterEnosys),
                         [](const ::testing::TestParamInfo<Publish>& param_info) {
                           switch (param_info.param) {
                             case Publish::kRenameNoReplace:
                               return "RenameNoReplace";
                             case Publish::kLinkAfterEinval:
                               return "LinkAfterEinval";
                             case Publish::kLinkAfterEnosys:
                               return "LinkAfterEnosys";
                           }
                           return "Unknown";
                         });

TEST_P(PublishTest, WritesTheFileWhenNothingIsThere) {
  const std::string content = Pattern(100000);
  const Outcome o = Write(Win("NewHebrew.ttf"), content);
  ASSERT_EQ(o.status, kOk) << o.error;
  EXPECT_EQ(o.exists, kTrue);
  EXPECT_EQ(ReadAll(fonts_ / "NewHebrew.ttf"), content);
  EXPECT_EQ(Listing(fonts_), std::set<std::string>{"NewHebrew.ttf"});
  struct stat st;
  ASSERT_EQ(lstat((fonts_ / "NewHebrew.ttf").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_nlink, 1u);  // the temporary name is gone
}

// An entry that got to the path first (another start, the user) stays as it
// is, whatever it is, and nothing is followed through it; the write counts
// as done and leaves no temporary file.
TEST_P(PublishTest, AnEntryAlreadyThereStaysUntouched) {
  fs::create_directories(fonts_);
  std::ofstream(root_ / "outside") << "keep me";
  const auto file = [](std::string body) {
    return [body](const fs::path& p) { std::ofstream(p) << body; };
  };
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> make;
  };
  const Case cases[] = {
      {"old.ttf", file("an older font")},
      {"empty.ttf", file("")},
      {"dangling.ttf", [&](const fs::path& p) { fs::create_symlink(root_ / "nowhere", p); }},
      {"link.ttf", [&](const fs::path& p) { fs::create_symlink(root_ / "outside", p); }},
      {"folder.ttf",
       [](const fs::path& p) {
         fs::create_directory(p);
         std::ofstream(p / "inside") << "x";
       }},
      {"fifo.ttf", [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }},
  };
  std::set<std::string> names;
  for (const Case& c : cases) {
    c.make(fonts_ / c.name);
    names.insert(c.name);
  }
  const Snapshot before = Take(root_);
  std::map<std::string, ino_t> inodes;
  for (const Case& c : cases) {
    struct stat st;
    ASSERT_EQ(lstat((fonts_ / c.name).c_str(), &st), 0);
    inodes[c.name] = st.st_ino;
  }

  const std::string content = Pattern(5000);
  for (const Case& c : cases) {
    const Outcome o = Write(Win(c.name), content);
    EXPECT_EQ(o.status, kOk) << c.name << ": " << o.error;
    EXPECT_EQ(o.exists, kTrue) << c.name;
    struct stat st;
    ASSERT_EQ(lstat((fonts_ / c.name).c_str(), &st), 0);
    EXPECT_EQ(st.st_ino, inodes[c.name]) << c.name << " was replaced";
  }
  EXPECT_EQ(Take(root_), before);  // nothing written anywhere, through no link
  EXPECT_FALSE(fs::exists(fs::symlink_status(root_ / "nowhere")));
  EXPECT_EQ(Listing(fonts_), names);  // no temporary file left
}

// The written file shows up at its path whole: the path is never opened
// or written itself, and the temporary file is written and closed before
// the path appears.
TEST_P(PublishTest, TheFileAppearsOnlyWhenComplete) {
  fs::create_directories(fonts_);
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, fonts_.c_str(), IN_ALL_EVENTS), 0);

  const std::string content = Pattern(256 * 1024);
  const Outcome o = Write(Win("NewHebrew.ttf"), content);
  ASSERT_EQ(o.status, kOk) << o.error;

  std::vector<std::pair<std::uint32_t, std::string>> events;
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = read(watch, buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      events.emplace_back(e->mask, e->len > 0 ? std::string(e->name) : std::string());
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
    }
  }
  close(watch);

  bool temporary_complete = false;
  int appeared = 0;
  for (const auto& [mask, name] : events) {
    ASSERT_FALSE(mask & IN_Q_OVERFLOW);
    if (name.empty()) continue;  // the folder itself
    if (name == "NewHebrew.ttf") {
      EXPECT_FALSE(mask & (IN_OPEN | IN_MODIFY | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE))
          << "the path itself was opened or written (mask " << mask << ")";
      if (mask & (IN_CREATE | IN_MOVED_TO)) {
        ++appeared;
        EXPECT_TRUE(temporary_complete) << "the path appeared before its content was written";
      }
    } else {
      EXPECT_TRUE(IsTemporaryOf(name, "NewHebrew.ttf")) << "unexpected entry " << name;
      if (mask & IN_CLOSE_WRITE) temporary_complete = true;
    }
  }
  EXPECT_EQ(appeared, 1);
  EXPECT_EQ(ReadAll(fonts_ / "NewHebrew.ttf"), content);
  EXPECT_EQ(Listing(fonts_), std::set<std::string>{"NewHebrew.ttf"});
}

// Writes `rounds` fresh files of `size` bytes while another thread opens the
// round's path over and over; returns what that reader saw wrong.
std::string WriteWhileReading(int rounds, std::size_t size) {
  const std::string content = Pattern(size);
  const auto name = [](int round) { return "round" + std::to_string(round) + ".ttf"; };
  const std::string folder = FontsFolder();
  std::atomic<int> current{-1};
  std::atomic<int> seen{-1};  // the last round the reader found complete
  std::atomic<bool> stop{false};
  std::string wrong;
  std::thread reader([&] {
    std::string got(size + 1, '\0');
    while (!stop.load()) {
      const int round = current.load();
      if (round < 0 || seen.load() == round) {
        std::this_thread::yield();
        continue;
      }
      const int fd = open((folder + "/" + name(round)).c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) continue;
      std::size_t total = 0;
      for (;;) {
        const ssize_t n = read(fd, got.data() + total, got.size() - total);
        if (n <= 0) break;
        total += static_cast<std::size_t>(n);
      }
      close(fd);
      if (total != size || got.compare(0, size, content) != 0) {
        if (wrong.size() < 2000)
          wrong += name(round) + ": read " + std::to_string(total) + " of " +
                   std::to_string(size) + " bytes, or other bytes\n";
        continue;
      }
      seen.store(round);
    }
  });
  std::string failure;
  for (int round = 0; round < rounds && failure.empty(); ++round) {
    current.store(round);
    std::string error;
    if (WriteProgramFile(Win(name(round)), Bytes(content), &error) != kOk) {
      failure = "the write failed: " + error;
      break;
    }
    // The finished file is there to be seen; wait until the reader has.
    while (seen.load() != round) std::this_thread::yield();
  }
  stop.store(true);
  reader.join();
  return failure + wrong;
}

TEST_P(PublishTest, AReaderNeverSeesAPartFile) {
  EXPECT_EQ(Run([] { return WriteWhileReading(12, 4 << 20); }), "");
}

// ---- failures ---------------------------------------------------------------

// A failed write leaves neither a temporary file nor a file at the path, and
// its message names the path on this machine and what went wrong.  Each case
// runs in a child: some set a file size limit, some drop root so that
// permission bits hold.
TEST_F(FilesTest, AFailedWriteLeavesNothingAndNamesTheLocalPath) {
  const std::string root = root_.string();
  const std::string fonts = fonts_.string();
  std::ofstream(root_ / "plain") << "x";
  fs::create_symlink(root_ / "nowhere", root_ / "dangling");
  fs::create_directory(root_ / "ro");
  fs::create_directory(root_ / "locked");
  ASSERT_EQ(chmod(root_.c_str(), 0755), 0);
  ASSERT_EQ(chmod((root_ / "ro").c_str(), 0555), 0);
  ASSERT_EQ(chmod((root_ / "locked").c_str(), 0), 0);
  const Step plain_user = [&] { return AsPlainUser(root_); };
  const Step small_files = [] { return LimitFileSize(64 * 1024); };
  const std::string denied = std::strerror(EACCES);

  struct Case {
    const char* what;
    std::string fonts;
    Step prepare;
    std::string error;
  };
  const Case cases[] = {
      {"the folder lies under a file", root + "/plain/fonts", nullptr,
       root + "/plain/fonts/NewHebrew.ttf: " + root + "/plain is not a folder"},
      {"the folder is a file", root + "/plain", nullptr,
       root + "/plain/NewHebrew.ttf: " + root + "/plain is not a folder"},
      {"the folder is a dangling link", root + "/dangling", nullptr,
       root + "/dangling/NewHebrew.ttf: " + root + "/dangling is not a folder"},
      {"a folder on the way cannot be made", root + "/ro/share/fonts", plain_user,
       root + "/ro/share/fonts/NewHebrew.ttf: cannot create the folder " + root +
           "/ro/share: " + denied},
      {"the folder is read-only", root + "/ro", plain_user,
       root + "/ro/NewHebrew.ttf: cannot create a temporary file in " + root + "/ro: " + denied},
      {"the folder cannot be reached", root + "/locked/fonts", plain_user,
       root + "/locked/fonts/NewHebrew.ttf: cannot reach the folder " + root +
           "/locked/fonts: " + denied},
      {"the file is larger than the file system takes", fonts, small_files,
       fonts + "/NewHebrew.ttf: cannot write the content: " + std::strerror(EFBIG)},
  };
  const std::string content = Pattern(1 << 20);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedEnv env("LETTER_QUIZ_FONTS_DIR", c.fonts.c_str());
    const ChildResult run = RunInChild(
        c.prepare, [&] { return Encode(WriteAndLook(Win("NewHebrew.ttf"), content)); });
    if (!run.skipped.empty()) {
      std::printf("[ SKIPPED  ] %s: %s\n", c.what, run.skipped.c_str());
      continue;
    }
    const Outcome o = Decode(run.out);
    EXPECT_EQ(o.status, kErrIo);
    EXPECT_EQ(o.error, c.error);
    EXPECT_FALSE(MentionsWindowsPath(o.error)) << o.error;
    EXPECT_EQ(o.exists, kFalse);
    struct stat st;
    EXPECT_NE(lstat((c.fonts + "/NewHebrew.ttf").c_str(), &st), 0) << "a file is at the path";
    EXPECT_EQ(Temporaries(), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(fs::symlink_status(root_ / "nowhere")));
  }
  EXPECT_EQ(ReadAll(root_ / "plain"), "x");
}

// ---- stale temporary files --------------------------------------------------

TEST_F(FilesTest, TheSweepRemovesOnlyOldTemporaryFilesOfThatFont) {
  fs::create_directories(fonts_);
  std::ofstream(root_ / "victim") << "not a temporary file";
  SetAge(root_ / "victim", 3600);

  enum Kind { kFile, kLink, kFolder, kFifo };
  struct Case {
    std::string name;
    Kind kind;
    long age_seconds;
    bool removed;
  };
  const long old = 120;
  const Case cases[] = {
      {".NewHebrew.ttf.aB3xY9", kFile, old, true},
      {".NewHebrew.ttf.000000", kFile, 30L * 86400, true},
      {".NewHebrew.ttf.Zz09aA", kFile, 0, false},      // a start may be writing it now
      {".NewHebrew.ttf.future", kFile, -3600, false},  // a clock that went back
      {".OldHebrew.ttf.aB3xY9", kFile, old, false},    // the other font's
      {".newhebrew.ttf.aB3xY9", kFile, old, false},
      {".NewHebrew.ttf.aB3xY", kFile, old, false},
      {".NewHebrew.ttf.aB3xY9z", kFile, old, false},
      {".NewHebrew.ttf.aB3xY9.bak", kFile, old, false},
      {".NewHebrew.ttf.aB-xY9", kFile, old, false},
      {".NewHebrew.ttf.aB.xY9", kFile, old, false},
      {".NewHebrew.ttf.aB3x\xc3\xa9", kFile, old, false},
      {".NewHebrew.ttf.", kFile, old, false},
      {"NewHebrew.ttf.aB3xY9", kFile, old, false},
      {"x.NewHebrew.ttf.aB3xY9", kFile, old, false},
      {"NewHebrew.ttf", kFile, old, false},
      {".NewHebrew.ttf.link01", kLink, old, false},
      {".NewHebrew.ttf.dir001", kFolder, old, false},
      {".NewHebrew.ttf.fifo01", kFifo, old, false},
  };
  std::set<std::string> stays;
  for (const Case& c : cases) {
    const fs::path p = fonts_ / c.name;
    switch (c.kind) {
      case kFile:
        std::ofstream(p) << "part of a font";
        break;
      case kLink:
        fs::create_symlink(root_ / "victim", p);
        break;
      case kFolder:
        fs::create_directory(p);
        std::ofstream(p / "inside") << "x";
        SetAge(p / "inside", old);
        break;
      case kFifo:
        ASSERT_EQ(mkfifo(p.c_str(), 0644), 0);
        break;
    }
    SetAge(p, c.age_seconds);
    if (!c.removed) stays.insert(c.name);
  }
  // One named by mkstemp itself, as the writer names its own.
  std::string made = (fonts_ / ".NewHebrew.ttf.XXXXXX").string();
  const int fd = mkstemp(made.data());
  ASSERT_GE(fd, 0);
  close(fd);
  SetAge(made, old);

  RemoveStaleTemporaries(Win("NewHebrew.ttf"));
  EXPECT_EQ(Listing(fonts_), stays);
  EXPECT_EQ(Listing(fonts_ / ".NewHebrew.ttf.dir001"), std::set<std::string>{"inside"});
  EXPECT_EQ(ReadAll(root_ / "victim"), "not a temporary file");

  // The other font's sweep takes its own.
  RemoveStaleTemporaries(Win("OldHebrew.ttf"));
  stays.erase(".OldHebrew.ttf.aB3xY9");
  EXPECT_EQ(Listing(fonts_), stays);
}

TEST_F(FilesTest, TheSweepDoesNothingWithoutAFolder) {
  std::ofstream(root_ / ".NewHebrew.ttf.aB3xY9") << "x";
  SetAge(root_ / ".NewHebrew.ttf.aB3xY9", 3600);
  RemoveStaleTemporaries(Win("NewHebrew.ttf"));
  EXPECT_FALSE(fs::exists(fonts_));  // not made

  // Paths that map nothing sweep nowhere, not in the folder above either.
  RemoveStaleTemporaries("C:\\WINDOWS\\Fonts\\..\\NewHebrew.ttf");
  RemoveStaleTemporaries("C:\\WINDOWS\\NewHebrew.ttf");
  {
    ScopedEnv is_file("LETTER_QUIZ_FONTS_DIR", (root_ / ".NewHebrew.ttf.aB3xY9").c_str());
    RemoveStaleTemporaries(Win("NewHebrew.ttf"));
  }
  EXPECT_EQ(Listing(root_), std::set<std::string>{".NewHebrew.ttf.aB3xY9"});
}

}  // namespace
}  // namespace lq
