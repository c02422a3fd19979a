// The resource set that the build packs into the executable.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "media/embedded.h"
#include "runtime/channels.h"
#include "runtime/resource_set.h"
#include "runtime/runtime.h"

namespace lq {
namespace {

const char* const kNames[31] = {
    ":OldHebrew", ":NewHebrew", ":alef",     ":ayin",     ":dalet",   ":gimel",
    ":hey",       ":chet",      ":quf",      ":kafsofit", ":lamed",   ":memsofit",
    ":mem",       ":nunsofit",  ":nun",      ":peysofit", ":resh",    ":samech",
    ":tet",       ":taf",       ":tzadiksofit", ":tzadik", ":vav",    ":yud",
    ":zayin",     ":online",    ":betvet",   ":peyfey",   ":shinsin", ":kafhaf",
    ":{frm1",
};

class EmbeddedSetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    set_ = new std::optional<ResourceSet>(ResourceSet::Open(EmbeddedResourceSet(), &error));
    ASSERT_TRUE(*set_) << error;
  }
  static void TearDownTestSuite() {
    delete set_;
    set_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(set_ && *set_); }
  const ResourceSet& set() const { return **set_; }

  static std::optional<ResourceSet>* set_;
};
std::optional<ResourceSet>* EmbeddedSetTest::set_ = nullptr;

std::uint32_t U16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
  return U16(b, at) | U16(b, at + 2) << 16;
}
std::int32_t S16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::int16_t>(U16(b, at));
}
std::string Tag(std::span<const std::uint8_t> b, std::size_t at) {
  return {reinterpret_cast<const char*>(b.data() + at), 4};
}

TEST_F(EmbeddedSetTest, NamesInOrderAndFoundWhereverTheyStand) {
  const auto& entries = set().entries();
  ASSERT_EQ(entries.size(), 31u);
  EXPECT_EQ(U32(EmbeddedResourceSet(), 0), 31u);
  for (std::size_t i = 0; i < 31; ++i) {
    EXPECT_EQ(entries[i].name, kNames[i]) << i;
    EXPECT_EQ(set().Find(kNames[i]), &entries[i]) << kNames[i];
  }
  EXPECT_EQ(set().Find(":OldHebrew"), &entries[0]);
  EXPECT_EQ(set().Find(":alef"), &entries[2]);
  EXPECT_EQ(set().Find(":kafhaf"), &entries[29]);
  EXPECT_EQ(set().Find(":{frm1"), &entries[30]);
  EXPECT_EQ(set().Find("frm1"), nullptr);
}

TEST_F(EmbeddedSetTest, LayoutIsBackToBackToTheEnd) {
  const std::span<const std::uint8_t> bytes = EmbeddedResourceSet();
  const auto& entries = set().entries();
  const auto* base = bytes.data();

  // The directory's pointer fields hold offsets from the set's start.
  std::size_t name_at = 500;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(U32(bytes, 4 + 16 * i), name_at) << i;
    EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(entries[i].name.data()) - base,
              static_cast<std::ptrdiff_t>(name_at));
    name_at += entries[i].name.size() + 1;
  }
  EXPECT_EQ(name_at, 731u);  // 231 bytes of names

  std::size_t data_at = 731;
  std::size_t stored_total = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(U32(bytes, 8 + 16 * i), data_at) << entries[i].name;
    EXPECT_EQ(entries[i].stored.data() - base, static_cast<std::ptrdiff_t>(data_at));
    EXPECT_EQ(U32(bytes, 12 + 16 * i), entries[i].stored.size());
    data_at += entries[i].stored.size();
    stored_total += entries[i].stored.size();
  }
  EXPECT_EQ(data_at, bytes.size());
  const auto& last = entries.back();
  EXPECT_EQ(static_cast<std::size_t>(last.stored.data() + last.stored.size() - (base + 731)),
            stored_total);
}

TEST_F(EmbeddedSetTest, PackedEntriesUnpackToTheirSize) {
  const auto& entries = set().entries();
  for (std::size_t i : {0u, 1u, 30u}) {
    const ResourceEntry& e = entries[i];
    ASSERT_GT(e.unpacked_size, 0u) << e.name;
    EXPECT_LE(e.unpacked_size, 65535u);
    EXPECT_LE(e.stored.size() - 4, 65535u);
    std::vector<std::uint8_t> content;
    std::string error;
    ASSERT_TRUE(ResourceSet::Content(e, content, &error)) << e.name << ": " << error;
    EXPECT_EQ(content.size(), e.unpacked_size) << e.name;
    if (i < 2) {  // the fonts are TrueType
      ASSERT_GE(content.size(), 4u);
      const bool truetype = (content[0] == 0 && content[1] == 1 && content[2] == 0 &&
                             content[3] == 0) ||
                            std::memcmp(content.data(), "true", 4) == 0;
      EXPECT_TRUE(truetype) << e.name;
    }
  }
  for (std::size_t i = 2; i < 30; ++i) EXPECT_EQ(entries[i].unpacked_size, 0u) << entries[i].name;
}

TEST_F(EmbeddedSetTest, ChannelsReadRecordingsWhole) {
  ChannelTable table(&set());
  const std::pair<const char*, std::int32_t> cases[] = {{":online", 9306}, {":shinsin", 109578},
                                                        {":hey", 25654}};
  for (const auto& [name, size] : cases) {
    ASSERT_EQ(table.Open(name, kChannelModeReadBinary, 1), kOk) << name;
    ASSERT_EQ(table.Length(1), size) << name;
    std::string out;
    ASSERT_EQ(table.Read(size, 1, out), kOk) << name;
    EXPECT_EQ(out.size(), static_cast<std::size_t>(size));
    EXPECT_EQ(out.substr(0, 4), "RIFF");
    EXPECT_EQ(out.substr(8, 4), "WAVE");
    EXPECT_EQ(table.Close(1), kOk);
  }
  EXPECT_FALSE(table.AnyOpen());
}

TEST_F(EmbeddedSetTest, LetterRecordingsHaveTheirExactFormat) {
  const std::pair<const char*, std::uint32_t> kSizes[] = {
      {":alef", 28122},     {":ayin", 35052},        {":dalet", 29356},   {":gimel", 26272},
      {":hey", 25654},      {":chet", 35836},        {":quf", 27810},     {":kafsofit", 64530},
      {":lamed", 48486},    {":memsofit", 64626},    {":mem", 38674},     {":nunsofit", 67644},
      {":nun", 38070},      {":peysofit", 47728},    {":resh", 38674},    {":samech", 38070},
      {":tet", 29666},      {":taf", 27810},         {":tzadiksofit", 57988},
      {":tzadik", 30828},   {":vav", 44166},         {":yud", 33368},     {":zayin", 44784},
      {":betvet", 98788},   {":peyfey", 85368},      {":shinsin", 109578}, {":kafhaf", 98188},
  };
  std::size_t buffers = 2 * 9306;  // ":online" is held twice
  for (const auto& [name, size] : kSizes) {
    SCOPED_TRACE(name);
    const ResourceEntry* e = set().Find(name);
    ASSERT_NE(e, nullptr);
    const std::span<const std::uint8_t> b = e->stored;
    ASSERT_EQ(b.size(), size);
    buffers += b.size();
    EXPECT_EQ(Tag(b, 0), "RIFF");
    EXPECT_EQ(U32(b, 4), size - 8);
    EXPECT_EQ(Tag(b, 8), "WAVE");
    EXPECT_EQ(Tag(b, 12), "fmt ");
    EXPECT_EQ(U32(b, 16), 18u);
    EXPECT_EQ(U16(b, 20), 1u);      // PCM
    EXPECT_EQ(U16(b, 22), 1u);      // mono
    EXPECT_EQ(U32(b, 24), 22050u);  // samples per second
    EXPECT_EQ(U32(b, 28), 44100u);  // bytes per second
    EXPECT_EQ(U16(b, 32), 2u);      // block align
    EXPECT_EQ(U16(b, 34), 16u);     // bits per sample
    EXPECT_EQ(U16(b, 36), 0u);      // extra size
    EXPECT_EQ(Tag(b, 38), "data");
    EXPECT_EQ(U32(b, 42), size - 46);

    // It carries sound, not silence.
    std::int32_t peak = 0;
    for (std::size_t at = 46; at + 1 < b.size(); at += 2) peak = std::max(peak, std::abs(S16(b, at)));
    EXPECT_GT(peak, 8000);
  }
  EXPECT_EQ(buffers, 1333748u);
}

TEST_F(EmbeddedSetTest, ErrorToneIsMsAdpcmWithItsExactHeader) {
  const ResourceEntry* e = set().Find(":online");
  ASSERT_NE(e, nullptr);
  const std::span<const std::uint8_t> b = e->stored;
  ASSERT_EQ(b.size(), 9306u);
  EXPECT_EQ(Tag(b, 0), "RIFF");
  EXPECT_EQ(U32(b, 4), 9298u);
  EXPECT_EQ(Tag(b, 8), "WAVE");
  EXPECT_EQ(Tag(b, 12), "fmt ");
  EXPECT_EQ(U32(b, 16), 50u);
  EXPECT_EQ(U16(b, 20), 2u);      // MS ADPCM
  EXPECT_EQ(U16(b, 22), 1u);
  EXPECT_EQ(U32(b, 24), 11025u);
  EXPECT_EQ(U32(b, 28), 5644u);
  EXPECT_EQ(U16(b, 32), 256u);
  EXPECT_EQ(U16(b, 34), 4u);
  EXPECT_EQ(U16(b, 36), 32u);
  EXPECT_EQ(U16(b, 38), 500u);    // samples per block
  EXPECT_EQ(U16(b, 40), 7u);
  const std::int32_t kCoefficients[7][2] = {
      {256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}};
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(S16(b, 42 + 4 * i), kCoefficients[i][0]) << i;
    EXPECT_EQ(S16(b, 44 + 4 * i), kCoefficients[i][1]) << i;
  }
  EXPECT_EQ(Tag(b, 70), "fact");
  EXPECT_EQ(U32(b, 74), 4u);
  EXPECT_EQ(U32(b, 78), 17778u);
  EXPECT_EQ(Tag(b, 82), "data");
  EXPECT_EQ(U32(b, 86), 9216u);

  // 36 blocks of 256 bytes, each opening with a block header: a predictor
  // among the 7 pairs and a step of at least 16 (the codec's floor); and
  // the tone's nibbles are not all zero (silence may follow it).
  std::size_t blocks_with_sound = 0;
  for (std::size_t block = 0; block < 36; ++block) {
    const std::size_t at = 90 + 256 * block;
    EXPECT_LT(b[at], 7u) << "block " << block;
    EXPECT_GE(S16(b, at + 1), 16) << "block " << block;
    if (std::any_of(b.begin() + static_cast<long>(at + 7), b.begin() + static_cast<long>(at + 256),
                    [](std::uint8_t x) { return x != 0; }))
      ++blocks_with_sound;
  }
  EXPECT_GE(blocks_with_sound, 4u);
}

}  // namespace
}  // namespace lq
