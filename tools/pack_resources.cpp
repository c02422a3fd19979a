// lq_pack: builds the program's resource set from the asset files.
//
//   lq_pack --assets DIR --form FILE --out FILE
//
// Checks every input against the format and size the program relies on and
// stops, naming the file and the fault, at the first mismatch.  The output
// is written atomically: on any failure no output file is left behind.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "form/control_names.h"
#include "runtime/form_def.h"
#include "runtime/resource_set.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A refusal: the message has already been composed, main prints it.
struct Refusal {
  std::string message;
};

[[noreturn]] void Refuse(const std::string& file, const std::string& fault) {
  throw Refusal{file + ": " + fault};
}

// The letter recordings, in directory order, with their exact sizes.
struct Recording {
  const char* key;
  std::uint32_t size;
};
constexpr std::uint32_t kOnlineSize = 9306;
constexpr std::array<Recording, 28> kRecordings{{
    {"alef", 28122},        {"ayin", 35052},    {"dalet", 29356},
    {"gimel", 26272},       {"hey", 25654},     {"chet", 35836},
    {"quf", 27810},         {"kafsofit", 64530}, {"lamed", 48486},
    {"memsofit", 64626},    {"mem", 38674},     {"nunsofit", 67644},
    {"nun", 38070},         {"peysofit", 47728}, {"resh", 38674},
    {"samech", 38070},      {"tet", 29666},     {"taf", 27810},
    {"tzadiksofit", 57988}, {"tzadik", 30828},  {"vav", 44166},
    {"yud", 33368},         {"zayin", 44784},   {"online", kOnlineSize},
    {"betvet", 98788},      {"peyfey", 85368},  {"shinsin", 109578},
    {"kafhaf", 98188},
}};
constexpr std::uint32_t kMax16 = 0xFFFF;
constexpr std::uint32_t kNamesOffset = 500;
constexpr std::uint32_t kDataOffset = 731;
// Far beyond any recording: a longer file is refused before it is read.
constexpr std::uint64_t kMaxRecording = 64u << 20;

std::uint32_t Get16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8;
}
std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return Get16(b, at) | Get16(b, at + 2) << 16;
}
std::int32_t GetS16(const Bytes& b, std::size_t at) {
  const std::uint32_t v = Get16(b, at);
  return v >= 0x8000 ? static_cast<std::int32_t>(v) - 0x10000
                     : static_cast<std::int32_t>(v);
}
void Put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
bool TagIs(const Bytes& b, std::size_t at, const char (&tag)[5]) {
  return std::memcmp(b.data() + at, tag, 4) == 0;
}
std::string Tag(const Bytes& b, std::size_t at) {
  std::string s;
  for (std::size_t i = at; i < at + 4; ++i) {
    const char c = static_cast<char>(b[i]);
    s += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return "\"" + s + "\"";
}

// Reads a whole regular file, refusing anything longer than `limit`.
Bytes ReadFile(const std::string& path, std::uint64_t limit) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Refuse(path, std::string("cannot open: ") + std::strerror(errno));
  struct stat st;
  if (fstat(fd, &st) != 0) {
    const int e = errno;
    close(fd);
    Refuse(path, std::string("cannot examine: ") + std::strerror(e));
  }
  if (!S_ISREG(st.st_mode)) {
    close(fd);
    Refuse(path, "not a regular file");
  }
  if (static_cast<std::uint64_t>(st.st_size) > limit) {
    close(fd);
    Refuse(path, std::to_string(st.st_size) + " bytes, more than the " +
                     std::to_string(limit) + " it may have");
  }
  Bytes bytes(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int e = n < 0 ? errno : 0;
      close(fd);
      Refuse(path, e ? std::string("read failed: ") + std::strerror(e)
                     : std::string("file shrank while being read"));
    }
    done += static_cast<std::size_t>(n);
  }
  close(fd);
  return bytes;
}

void Expect(const std::string& path, std::uint32_t got, std::uint32_t want,
            const char* what, const char* unit = "") {
  if (got != want)
    Refuse(path, std::string(what) + " " + std::to_string(got) + unit +
                     ", expected " + std::to_string(want) + unit);
}

void CheckRiff(const std::string& path, const Bytes& b, std::uint32_t header) {
  if (b.size() < header)
    Refuse(path, std::to_string(b.size()) +
                     " bytes, too short for its WAVE header of " +
                     std::to_string(header) + " bytes");
  if (!TagIs(b, 0, "RIFF")) Refuse(path, "does not begin with \"RIFF\"");
  if (Get32(b, 4) != b.size() - 8)
    Refuse(path, "RIFF size " + std::to_string(Get32(b, 4)) +
                     " disagrees with the file's " + std::to_string(b.size()) +
                     " bytes (expected " + std::to_string(b.size() - 8) + ")");
  if (!TagIs(b, 8, "WAVE")) Refuse(path, "RIFF form is " + Tag(b, 8) + ", expected \"WAVE\"");
  if (!TagIs(b, 12, "fmt "))
    Refuse(path, "first chunk is " + Tag(b, 12) + ", expected \"fmt \"");
}

void CheckData(const std::string& path, const Bytes& b, std::size_t at) {
  if (!TagIs(b, at, "data"))
    Refuse(path, "chunk at offset " + std::to_string(at) + " is " + Tag(b, at) +
                     ", expected \"data\"");
  const std::uint32_t want = static_cast<std::uint32_t>(b.size() - at - 8);
  if (Get32(b, at + 4) != want)
    Refuse(path, "\"data\" chunk of " + std::to_string(Get32(b, at + 4)) +
                     " bytes, expected " + std::to_string(want) +
                     " (the samples must run to the file's end)");
}

// A letter recording: PCM, 22,050 Hz, mono, 16 bits, data from offset 46.
void CheckLetter(const std::string& path, const Bytes& b, std::uint32_t size) {
  CheckRiff(path, b, 46);
  Expect(path, Get32(b, 16), 18, "\"fmt \" chunk of", " bytes");
  if (Get16(b, 20) != 1)
    Refuse(path, "format tag " + std::to_string(Get16(b, 20)) + ", expected 1 (PCM)");
  if (Get16(b, 22) != 1)
    Refuse(path, std::to_string(Get16(b, 22)) + " channels, expected mono");
  Expect(path, Get32(b, 24), 22050, "sample rate", " Hz");
  Expect(path, Get32(b, 28), 44100, "byte rate", " B/s");
  Expect(path, Get16(b, 32), 2, "block align");
  Expect(path, Get16(b, 34), 16, "bits per sample");
  Expect(path, Get16(b, 36), 0, "extra format size");
  CheckData(path, b, 38);
  if (b.size() != size)
    Refuse(path, std::to_string(b.size()) + " bytes, expected " + std::to_string(size));
}

// The error recording: Microsoft ADPCM at 11,025 Hz with a "fact" chunk.
void CheckOnline(const std::string& path, const Bytes& b) {
  static constexpr std::int32_t kCoefficients[7][2] = {
      {256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
  CheckRiff(path, b, 90);
  Expect(path, Get32(b, 16), 50, "\"fmt \" chunk of", " bytes");
  if (Get16(b, 20) != 2)
    Refuse(path, "format tag " + std::to_string(Get16(b, 20)) + ", expected 2 (MS ADPCM)");
  if (Get16(b, 22) != 1)
    Refuse(path, std::to_string(Get16(b, 22)) + " channels, expected mono");
  Expect(path, Get32(b, 24), 11025, "sample rate", " Hz");
  Expect(path, Get32(b, 28), 5644, "byte rate", " B/s");
  Expect(path, Get16(b, 32), 256, "block align");
  Expect(path, Get16(b, 34), 4, "bits per sample");
  Expect(path, Get16(b, 36), 32, "extra format size");
  Expect(path, Get16(b, 38), 500, "samples per block");
  Expect(path, Get16(b, 40), 7, "coefficient count");
  for (std::size_t i = 0; i < 7; ++i) {
    const std::int32_t c1 = GetS16(b, 42 + 4 * i), c2 = GetS16(b, 44 + 4 * i);
    if (c1 != kCoefficients[i][0] || c2 != kCoefficients[i][1])
      Refuse(path, "coefficient pair " + std::to_string(i + 1) + " is (" +
                       std::to_string(c1) + "," + std::to_string(c2) +
                       "), not the standard MS ADPCM (" +
                       std::to_string(kCoefficients[i][0]) + "," +
                       std::to_string(kCoefficients[i][1]) + ")");
  }
  if (!TagIs(b, 70, "fact"))
    Refuse(path, "chunk at offset 70 is " + Tag(b, 70) + ", expected \"fact\"");
  Expect(path, Get32(b, 74), 4, "\"fact\" chunk of", " bytes");
  Expect(path, Get32(b, 78), 17778, "sample count");
  CheckData(path, b, 82);
  if (b.size() != kOnlineSize)
    Refuse(path, std::to_string(b.size()) + " bytes, expected " +
                     std::to_string(kOnlineSize));
}

void CheckFont(const std::string& path, const Bytes& b) {
  static constexpr std::uint8_t kTrueType[4] = {0x00, 0x01, 0x00, 0x00};
  if (b.size() < 12 || (std::memcmp(b.data(), kTrueType, 4) != 0 &&
                        std::memcmp(b.data(), "true", 4) != 0))
    Refuse(path, "not a TrueType font (no 0x00010000 or \"true\" signature)");
}

Bytes Pack(const std::string& path, const Bytes& content) {
  if (content.empty()) Refuse(path, "empty; a packed entry needs content");
  Bytes out;
  std::string why;
  if (!lq::PackEntry(content, out, &why)) Refuse(path, why);
  // Prove the entry reads back before anything depends on it.
  Bytes back;
  if (!lq::UnpackEntry(out, static_cast<std::uint32_t>(content.size()), back, &why) ||
      back != content)
    Refuse(path, "packed entry does not unpack to its content: " + why);
  return out;
}

struct Entry {
  std::string name;
  Bytes stored;
  std::uint32_t unpacked_size;
};

Bytes Layout(const std::vector<Entry>& entries) {
  const auto count = static_cast<std::uint32_t>(entries.size());
  std::uint32_t names_size = 0;
  for (const Entry& e : entries)
    names_size += static_cast<std::uint32_t>(e.name.size() + 1);
  const std::uint32_t names_at = 4 + 16 * count;
  const std::uint32_t data_at = names_at + names_size;
  if (names_at != kNamesOffset || data_at != kDataOffset)
    throw Refusal{"internal: names at " + std::to_string(names_at) + ", data at " +
                  std::to_string(data_at) + ", expected 500 and 731"};

  Bytes set;
  Put32(set, count);
  std::uint32_t name = names_at, data = data_at;
  for (const Entry& e : entries) {
    Put32(set, name);
    Put32(set, data);
    Put32(set, static_cast<std::uint32_t>(e.stored.size()));
    Put32(set, e.unpacked_size);
    name += static_cast<std::uint32_t>(e.name.size() + 1);
    data += static_cast<std::uint32_t>(e.stored.size());
  }
  for (const Entry& e : entries) {
    set.insert(set.end(), e.name.begin(), e.name.end());
    set.push_back(0);
  }
  for (const Entry& e : entries) set.insert(set.end(), e.stored.begin(), e.stored.end());
  return set;
}

// Writes `bytes` to `out` through a temporary file in the same folder.
void WriteAtomically(const std::string& out, const Bytes& bytes) {
  const std::size_t slash = out.find_last_of('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : out.substr(0, slash));
  std::string temp = folder + "/.lq_pack.XXXXXX";
  std::vector<char> pattern(temp.begin(), temp.end());
  pattern.push_back('\0');
  const int fd = mkstemp(pattern.data());
  if (fd < 0) Refuse(out, std::string("cannot create a temporary file: ") + std::strerror(errno));
  temp.assign(pattern.data());
  auto fail = [&](const char* what, int e, bool close_fd) {
    if (close_fd) close(fd);
    unlink(temp.c_str());
    Refuse(out, std::string(what) + ": " + std::strerror(e));
  };
  if (fchmod(fd, 0644) != 0) fail("cannot set the file mode", errno, true);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail("write failed", n < 0 ? errno : EIO, true);
    done += static_cast<std::size_t>(n);
  }
  if (fsync(fd) != 0) fail("fsync failed", errno, true);
  if (close(fd) != 0) fail("close failed", errno, false);
  if (rename(temp.c_str(), out.c_str()) != 0) fail("cannot rename into place", errno, false);
}

Bytes BuildSet(const std::string& assets, const std::string& form) {
  std::vector<Entry> entries;
  for (const char* font : {"OldHebrew", "NewHebrew"}) {
    const std::string path = assets + "/" + font + ".ttf";
    const Bytes content = ReadFile(path, kMax16);
    CheckFont(path, content);
    entries.push_back({std::string(":") + font, Pack(path, content),
                       static_cast<std::uint32_t>(content.size())});
  }
  for (const Recording& r : kRecordings) {
    const std::string path = assets + "/" + r.key + ".wav";
    Bytes content = ReadFile(path, kMaxRecording);
    if (std::string_view(r.key) == "online")
      CheckOnline(path, content);
    else
      CheckLetter(path, content, r.size);
    entries.push_back({std::string(":") + r.key, std::move(content), 0});
  }
  {
    const Bytes content = ReadFile(form, kMax16);
    Bytes packed = Pack(form, content);
    // A window definition the program could not build stops the build here
    // rather than the program at its start.
    std::string why;
    const auto parsed = lq::ParseFormDef(
        std::string_view(reinterpret_cast<const char*>(content.data()), content.size()),
        &why);
    if (!parsed) Refuse(form, why);
    if (parsed->name != "frm1") Refuse(form, "defines the form " + parsed->name + ", expected frm1");
    const std::vector<std::string> names(lq::kControlNames.begin(), lq::kControlNames.end());
    if (!lq::CheckFormControls(*parsed, names, &why)) Refuse(form, why);
    entries.push_back({":{frm1", std::move(packed),
                       static_cast<std::uint32_t>(content.size())});
  }

  Bytes set = Layout(entries);
  std::string why;
  const auto opened = lq::ResourceSet::Open(set, &why);
  if (!opened || opened->entries().size() != entries.size())
    throw Refusal{"internal: the packed set does not open: " + why};
  return set;
}

int Usage() {
  std::fputs("usage: lq_pack --assets DIR --form FILE --out FILE\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string assets, form, out;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    std::string* target = arg == "--assets" ? &assets
                          : arg == "--form" ? &form
                          : arg == "--out"  ? &out
                                            : nullptr;
    if (!target || i + 1 >= argc) return Usage();
    *target = argv[++i];
  }
  if (assets.empty() || form.empty() || out.empty()) return Usage();
  try {
    WriteAtomically(out, BuildSet(assets, form));
  } catch (const Refusal& r) {
    std::fprintf(stderr, "lq_pack: %s\n", r.message.c_str());
    return 1;
  }
  return 0;
}
