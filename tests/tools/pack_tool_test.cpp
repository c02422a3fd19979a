// Runs the packing tool on generated inputs: small but exact recordings, a
// tiny TrueType-signed font and the project's own window definition, then on
// broken copies of them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "runtime/resource_set.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Recording {
  const char* key;
  std::uint32_t size;
};
const Recording kRecordings[] = {
    {"alef", 28122},        {"ayin", 35052},     {"dalet", 29356},
    {"gimel", 26272},       {"hey", 25654},      {"chet", 35836},
    {"quf", 27810},         {"kafsofit", 64530}, {"lamed", 48486},
    {"memsofit", 64626},    {"mem", 38674},      {"nunsofit", 67644},
    {"nun", 38070},         {"peysofit", 47728}, {"resh", 38674},
    {"samech", 38070},      {"tet", 29666},      {"taf", 27810},
    {"tzadiksofit", 57988}, {"tzadik", 30828},   {"vav", 44166},
    {"yud", 33368},         {"zayin", 44784},    {"online", 9306},
    {"betvet", 98788},      {"peyfey", 85368},   {"shinsin", 109578},
    {"kafhaf", 98188},
};

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
void PutTag(Bytes& b, std::size_t at, const char* tag) { std::memcpy(b.data() + at, tag, 4); }

// A mono 16-bit 22,050 Hz PCM WAVE of exactly `size` bytes: a short tone
// after some silence.
Bytes LetterWave(std::uint32_t size, double hz) {
  Bytes b(size, 0);
  PutTag(b, 0, "RIFF");
  Put32(b, 4, size - 8);
  PutTag(b, 8, "WAVE");
  PutTag(b, 12, "fmt ");
  Put32(b, 16, 18);
  Put16(b, 20, 1);
  Put16(b, 22, 1);
  Put32(b, 24, 22050);
  Put32(b, 28, 44100);
  Put16(b, 32, 2);
  Put16(b, 34, 16);
  Put16(b, 36, 0);
  PutTag(b, 38, "data");
  Put32(b, 42, size - 46);
  const std::size_t samples = (size - 46) / 2;
  for (std::size_t i = samples / 4; i < samples; ++i) {
    const double v = 8000.0 * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / 22050.0);
    const auto s = static_cast<std::int16_t>(v);
    Put16(b, 46 + 2 * i, static_cast<std::uint16_t>(s));
  }
  return b;
}

// The error recording's exact header, with made-up ADPCM blocks.
Bytes OnlineWave() {
  static const std::int16_t kCoefficients[7][2] = {
      {256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
  Bytes b(9306, 0);
  PutTag(b, 0, "RIFF");
  Put32(b, 4, 9298);
  PutTag(b, 8, "WAVE");
  PutTag(b, 12, "fmt ");
  Put32(b, 16, 50);
  Put16(b, 20, 2);
  Put16(b, 22, 1);
  Put32(b, 24, 11025);
  Put32(b, 28, 5644);
  Put16(b, 32, 256);
  Put16(b, 34, 4);
  Put16(b, 36, 32);
  Put16(b, 38, 500);
  Put16(b, 40, 7);
  for (std::size_t i = 0; i < 7; ++i) {
    Put16(b, 42 + 4 * i, static_cast<std::uint16_t>(kCoefficients[i][0]));
    Put16(b, 44 + 4 * i, static_cast<std::uint16_t>(kCoefficients[i][1]));
  }
  PutTag(b, 70, "fact");
  Put32(b, 74, 4);
  Put32(b, 78, 17778);
  PutTag(b, 82, "data");
  Put32(b, 86, 9216);
  for (std::size_t i = 90; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i * 37);
  return b;
}

Bytes FakeFont(const char* family) {
  Bytes b = {0x00, 0x01, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x80, 0x00, 0x03, 0x00, 0x20};
  for (int i = 0; i < 300; ++i) b.insert(b.end(), family, family + std::strlen(family));
  return b;
}

Bytes RandomBytes(std::size_t n) {
  std::mt19937 gen(1234);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(gen());
  return b;
}

void WriteFile(const fs::path& p, const Bytes& b) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
  ASSERT_TRUE(out.good()) << p;
}
Bytes ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct ToolRun {
  int status;
  std::string output;
};

// Runs lq_pack with `args`, its stdout and stderr collected in `log`.
ToolRun RunPack(const std::vector<std::string>& args, const fs::path& log) {
  std::vector<char*> argv;
  std::string tool = LQ_PACK_TOOL;
  argv.push_back(tool.data());
  std::vector<std::string> copies = args;
  for (auto& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid;
  const int rc = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return {-1, "spawn failed: " + std::string(std::strerror(rc))};
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const Bytes text = ReadFile(log);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(text.begin(), text.end())};
}

std::set<std::string> Listing(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

// Where the record that begins with `start` (kind and name) begins in a
// definition, or npos (a failure of the test: the form has changed).
std::size_t RecordAt(const std::string& text, const std::string& start) {
  const std::size_t at = text.find("\n" + start);
  EXPECT_NE(at, std::string::npos) << "no record \"" << start << "\" in the form";
  return at == std::string::npos ? at : at + 1;
}

void DropRecord(std::string& text, const std::string& start) {
  const std::size_t at = RecordAt(text, start);
  if (at != std::string::npos) text.erase(at, text.find('\n', at) + 1 - at);
}

class PackToolTest : public ::testing::Test {
 public:  // the cases' mutations reach the inputs through a PackToolTest&
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "lq_pack_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    assets_ = root_ / "assets";
    out_dir_ = root_ / "out";
    fs::create_directories(assets_);
    fs::create_directories(out_dir_);
    double hz = 220.0;
    for (const Recording& r : kRecordings) {
      inputs_[r.key] = std::string(r.key) == "online" ? OnlineWave() : LetterWave(r.size, hz);
      hz += 20.0;
      WriteFile(assets_ / (std::string(r.key) + ".wav"), inputs_[r.key]);
    }
    inputs_["OldHebrew"] = FakeFont("PCFrank");
    inputs_["NewHebrew"] = FakeFont("PCMiriam");
    WriteFile(assets_ / "OldHebrew.ttf", inputs_["OldHebrew"]);
    WriteFile(assets_ / "NewHebrew.ttf", inputs_["NewHebrew"]);
    // The project's own window definition: the one the build packs.
    inputs_["form"] = ReadFile(fs::path(LQ_SOURCE_DIR) / "form" / "frm1.form");
    ASSERT_FALSE(inputs_["form"].empty());
    form_ = root_ / "frm1.form";
    WriteFile(form_, inputs_["form"]);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  ToolRun Pack() {
    return RunPack({"--assets", assets_.string(), "--form", form_.string(), "--out",
                    (out_dir_ / "resources.bin").string()},
                   root_ / "log.txt");
  }

  fs::path root_, assets_, out_dir_, form_;
  std::map<std::string, Bytes> inputs_;
};

TEST_F(PackToolTest, PacksTheThirtyOneEntries) {
  const ToolRun run = Pack();
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "");
  EXPECT_EQ(Listing(out_dir_), std::set<std::string>{"resources.bin"});

  const Bytes set_bytes = ReadFile(out_dir_ / "resources.bin");
  std::string error;
  const auto set = lq::ResourceSet::Open(set_bytes, &error);
  ASSERT_TRUE(set) << error;
  const auto& entries = set->entries();
  ASSERT_EQ(entries.size(), 31u);

  std::vector<std::string> expected = {":OldHebrew", ":NewHebrew"};
  for (const Recording& r : kRecordings) expected.push_back(std::string(":") + r.key);
  expected.push_back(":{frm1");
  for (std::size_t i = 0; i < 31; ++i) EXPECT_EQ(entries[i].name, expected[i]) << i;

  EXPECT_EQ(entries[0].name.data() - reinterpret_cast<const char*>(set_bytes.data()), 500);
  EXPECT_EQ(entries[0].stored.data() - set_bytes.data(), 731);

  // Fonts and form packed, recordings byte for byte as given.
  const std::pair<std::size_t, const char*> packed[] = {
      {0, "OldHebrew"}, {1, "NewHebrew"}, {30, "form"}};
  for (const auto& [index, input] : packed) {
    const lq::ResourceEntry& e = entries[index];
    EXPECT_EQ(e.unpacked_size, inputs_[input].size()) << input;
    Bytes content;
    ASSERT_TRUE(lq::ResourceSet::Content(e, content, &error)) << input << ": " << error;
    EXPECT_EQ(content, inputs_[input]) << input;
  }
  for (std::size_t i = 0; i < std::size(kRecordings); ++i) {
    const lq::ResourceEntry& e = entries[i + 2];
    EXPECT_EQ(e.unpacked_size, 0u) << e.name;
    EXPECT_TRUE(std::equal(e.stored.begin(), e.stored.end(), inputs_[kRecordings[i].key].begin(),
                           inputs_[kRecordings[i].key].end()))
        << e.name;
  }

  // Packing again replaces the set with the same bytes.
  ASSERT_EQ(Pack().status, 0);
  EXPECT_EQ(ReadFile(out_dir_ / "resources.bin"), set_bytes);
  EXPECT_EQ(Listing(out_dir_), std::set<std::string>{"resources.bin"});
}

TEST_F(PackToolTest, RefusesFaultyInputsNamingFileAndFault) {
  using Mutate = std::function<void(PackToolTest&)>;
  auto wave = [](const char* key, std::function<void(Bytes&)> change) -> Mutate {
    return [key, change](PackToolTest& t) {
      Bytes b = t.inputs_[key];
      change(b);
      WriteFile(t.assets_ / (std::string(key) + ".wav"), b);
    };
  };
  auto edit_form = [](std::function<void(std::string&)> change) -> Mutate {
    return [change](PackToolTest& t) {
      std::string text(t.inputs_["form"].begin(), t.inputs_["form"].end());
      change(text);
      WriteFile(t.form_, Bytes(text.begin(), text.end()));
    };
  };
  struct Case {
    const char* what;
    Mutate mutate;
    std::string file;  // relative to the test folder
    std::string fault;
  };
  const Case cases[] = {
      {"stereo recording", wave("alef", [](Bytes& b) {
         Put16(b, 22, 2);
         Put32(b, 28, 88200);
         Put16(b, 32, 4);
       }),
       "assets/alef.wav", "2 channels, expected mono"},
      {"44.1 kHz recording", wave("hey", [](Bytes& b) {
         Put32(b, 24, 44100);
         Put32(b, 28, 88200);
       }),
       "assets/hey.wav", "sample rate 44100 Hz, expected 22050 Hz"},
      {"8-bit recording", wave("tet", [](Bytes& b) { Put16(b, 34, 8); }), "assets/tet.wav",
       "bits per sample 8, expected 16"},
      {"ADPCM letter", wave("nun", [](Bytes& b) { Put16(b, 20, 2); }), "assets/nun.wav",
       "format tag 2, expected 1 (PCM)"},
      {"RIFF size disagrees", wave("kafhaf", [](Bytes& b) { Put32(b, 4, 98188 - 10); }),
       "assets/kafhaf.wav", "RIFF size 98178 disagrees with the file's 98188 bytes"},
      {"not RIFF", wave("vav", [](Bytes& b) { PutTag(b, 0, "RIFX"); }), "assets/vav.wav",
       "does not begin with \"RIFF\""},
      {"wrong file size", [](PackToolTest& t) {
         WriteFile(t.assets_ / "gimel.wav", LetterWave(26274, 300));
       },
       "assets/gimel.wav", "26274 bytes, expected 26272"},
      {"chunk after the samples", wave("mem", [](Bytes& b) {
         Put32(b, 42, static_cast<std::uint32_t>(b.size() - 46 - 12));
         PutTag(b, b.size() - 12, "LIST");
         Put32(b, b.size() - 8, 4);
       }),
       "assets/mem.wav", "\"data\" chunk of 38616 bytes, expected 38628"},
      {"fmt chunk of 16 bytes", wave("yud", [](Bytes& b) { Put32(b, 16, 16); }),
       "assets/yud.wav", "\"fmt \" chunk of 16 bytes, expected 18 bytes"},
      {"error tone as PCM", [](PackToolTest& t) {
         WriteFile(t.assets_ / "online.wav", LetterWave(9306, 500));
       },
       "assets/online.wav", "\"fmt \" chunk of 18 bytes, expected 50 bytes"},
      {"error tone coefficient", wave("online", [](Bytes& b) { Put16(b, 62, 461); }),
       "assets/online.wav", "coefficient pair 6 is (461,-208)"},
      {"error tone sample count", wave("online", [](Bytes& b) { Put32(b, 78, 17777); }),
       "assets/online.wav", "sample count 17777, expected 17778"},
      {"error tone block align", wave("online", [](Bytes& b) { Put16(b, 32, 512); }),
       "assets/online.wav", "block align 512, expected 256"},
      {"missing recording", [](PackToolTest& t) { fs::remove(t.assets_ / "zayin.wav"); },
       "assets/zayin.wav", "cannot open: No such file or directory"},
      {"folder for a recording", [](PackToolTest& t) {
         fs::remove(t.assets_ / "quf.wav");
         fs::create_directory(t.assets_ / "quf.wav");
       },
       "assets/quf.wav", "not a regular file"},
      {"font without TrueType signature", [](PackToolTest& t) {
         Bytes b = t.inputs_["NewHebrew"];
         PutTag(b, 0, "OTTO");
         WriteFile(t.assets_ / "NewHebrew.ttf", b);
       },
       "assets/NewHebrew.ttf", "not a TrueType font"},
      {"font too long", [](PackToolTest& t) {
         Bytes b = t.inputs_["OldHebrew"];
         b.resize(65536, 0);
         WriteFile(t.assets_ / "OldHebrew.ttf", b);
       },
       "assets/OldHebrew.ttf", "65536 bytes, more than the 65535"},
      {"incompressible form", [](PackToolTest& t) { WriteFile(t.form_, RandomBytes(65535)); },
       "frm1.form", "packed entry would be"},
      {"empty form", [](PackToolTest& t) { WriteFile(t.form_, {}); }, "frm1.form", "empty"},
      {"malformed form",
       [](PackToolTest& t) {
         const std::string bad = "form frm1 title=\"x\" width=200 extent=3000\nlabel lbl2 x=0\n";
         WriteFile(t.form_, Bytes(bad.begin(), bad.end()));
       },
       "frm1.form", "line 2"},
      {"another form",
       [](PackToolTest& t) {
         const std::string other = "form frm2 title=\"x\" width=200 extent=3000\n";
         WriteFile(t.form_, Bytes(other.begin(), other.end()));
       },
       "frm1.form", "defines the form frm2, expected frm1"},
      // Definitions that parse but that the program could not build.
      {"form without lbl32", edit_form([](std::string& text) { DropRecord(text, "label lbl32 "); }),
       "frm1.form", "the form definition has no label lbl32"},
      {"cmd2 as a label",
       edit_form([](std::string& text) {
         const std::size_t at = RecordAt(text, "button cmd2 ");
         if (at != std::string::npos) text.replace(at, 6, "label");
       }),
       "frm1.form", "cmd2 is a label, not a button"},
      {"form record only",
       edit_form([](std::string& text) {
         const std::size_t at = RecordAt(text, "form frm1 ");
         if (at != std::string::npos) text.erase(text.find('\n', at) + 1);
       }),
       "frm1.form", "the form definition has no label lbl2"},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    c.mutate(*this);
    const ToolRun run = Pack();
    EXPECT_EQ(run.status, 1);
    const std::string message = "lq_pack: " + (root_ / c.file).string() + ": " + c.fault;
    EXPECT_NE(run.output.find(message), std::string::npos)
        << "expected \"" << message << "\"\ngot \"" << run.output << "\"";
    EXPECT_TRUE(Listing(out_dir_).empty()) << "output left behind";
  }
}

TEST_F(PackToolTest, RefusalLeavesAnEarlierSetUntouched) {
  ASSERT_EQ(Pack().status, 0);
  const Bytes before = ReadFile(out_dir_ / "resources.bin");
  fs::remove(assets_ / "alef.wav");
  EXPECT_EQ(Pack().status, 1);
  EXPECT_EQ(ReadFile(out_dir_ / "resources.bin"), before);
  EXPECT_EQ(Listing(out_dir_), std::set<std::string>{"resources.bin"});
}

TEST_F(PackToolTest, UnwritableOutputFails) {
  const ToolRun run = RunPack({"--assets", assets_.string(), "--form", form_.string(), "--out",
                           (root_ / "no" / "such" / "resources.bin").string()},
                          root_ / "log.txt");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("cannot create a temporary file"), std::string::npos) << run.output;
}

TEST_F(PackToolTest, UsageErrors) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"--assets", assets_.string()},
        {"--assets", assets_.string(), "--form", form_.string(), "--out"},
        {"--bogus", "x", "--assets", "a", "--form", "f", "--out", "o"}}) {
    const ToolRun run = RunPack(args, root_ / "log.txt");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("usage: lq_pack"), std::string::npos) << run.output;
  }
}

}  // namespace
