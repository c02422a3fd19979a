#include "runtime/resource_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>

#include "tests/core/resource_fixture.h"

namespace lq {
namespace {

using testing::BuildFixtureSet;
using testing::Bytes;
using testing::FixtureEntry;
using testing::GetU32;
using testing::PutU32;

std::vector<std::uint8_t> TextContent() {
  std::string s;
  for (int i = 0; i < 40; ++i) s += "line " + std::to_string(i) + " of a form definition\n";
  return Bytes(s);
}

std::vector<std::uint8_t> RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<std::uint8_t> out(n);
  for (auto& b : out) b = static_cast<std::uint8_t>(gen());
  return out;
}

std::vector<std::uint8_t> Packed(const std::vector<std::uint8_t>& content) {
  std::vector<std::uint8_t> out;
  std::string error;
  EXPECT_TRUE(PackEntry(content, out, &error)) << error;
  return out;
}

// Four entries: a name that is a prefix of another, ahead of it and after
// it, a packed entry and an empty stored one.
class ResourceSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    content_ = TextContent();
    set_ = BuildFixtureSet({
        {":memsofit", Bytes("final mem"), 0},
        {":mem", Bytes(std::string("mem\0\0data", 9)), 0},
        {":{frm1", Packed(content_), static_cast<std::uint32_t>(content_.size())},
        {":empty", {}, 0},
    });
  }
  std::vector<std::uint8_t> content_;
  std::vector<std::uint8_t> set_;
};

TEST_F(ResourceSetTest, OpensAndFindsExactNamesOnly) {
  std::string error;
  const auto set = ResourceSet::Open(set_, &error);
  ASSERT_TRUE(set) << error;
  ASSERT_EQ(set->entries().size(), 4u);

  const ResourceEntry* mem = set->Find(":mem");
  ASSERT_NE(mem, nullptr);
  EXPECT_EQ(mem->name, ":mem");
  EXPECT_EQ(mem->stored.size(), 9u);  // the NULs inside belong to it
  EXPECT_EQ(set->Find(":memsofit"), &set->entries()[0]);
  EXPECT_EQ(set->Find(":{frm1"), &set->entries()[2]);
  for (const char* absent : {":me", ":mems", "mem", ":MEM", ":mem ", "", ":", "{frm1"})
    EXPECT_EQ(set->Find(absent), nullptr) << absent;

  std::vector<std::uint8_t> out;
  ASSERT_TRUE(ResourceSet::Content(*set->Find(":{frm1"), out, &error)) << error;
  EXPECT_EQ(out, content_);
  ASSERT_TRUE(ResourceSet::Content(*mem, out, &error));
  EXPECT_EQ(out, Bytes(std::string("mem\0\0data", 9)));
  ASSERT_TRUE(ResourceSet::Content(*set->Find(":empty"), out, &error));
  EXPECT_TRUE(out.empty());
}

TEST_F(ResourceSetTest, RefusesEveryTruncation) {
  // Every proper prefix of a good set is refused, with a reason, and
  // without reading past its end.
  for (std::size_t n = 0; n < set_.size(); ++n) {
    std::vector<std::uint8_t> prefix(set_.begin(), set_.begin() + static_cast<long>(n));
    std::string error;
    EXPECT_FALSE(ResourceSet::Open(prefix, &error)) << "length " << n;
    EXPECT_FALSE(error.empty()) << "length " << n;
  }
}

TEST_F(ResourceSetTest, RefusesInconsistentDirectories) {
  using Bytes_ = std::vector<std::uint8_t>;
  const std::size_t names_at = 4 + 16 * 4;
  const std::size_t data_at = GetU32(set_, 8);
  struct Case {
    const char* what;
    std::function<void(Bytes_&)> corrupt;
    const char* message;
  };
  const Case cases[] = {
      {"count 0", [](Bytes_& b) { PutU32(b, 0, 0); }, "count is 0"},
      {"huge count", [](Bytes_& b) { PutU32(b, 0, 0xFFFFFFFFu); }, "directory"},
      {"count one short", [](Bytes_& b) { PutU32(b, 0, 3); }, "entry 1: name at offset"},
      {"name not after the directory",
       [&](Bytes_& b) { PutU32(b, 4, static_cast<std::uint32_t>(names_at + 1)); },
       "entry 1: name at offset 69, expected 68"},
      {"second name moved", [](Bytes_& b) { PutU32(b, 20, GetU32(b, 20) - 1); },
       "entry 2: name at offset"},
      {"name without ':'", [&](Bytes_& b) { b[names_at] = 'x'; },
       "does not begin with ':'"},
      {"duplicate name",
       [](Bytes_& b) { b = BuildFixtureSet({{":a", Bytes("1"), 0}, {":a", Bytes("2"), 0}}); },
       "entry 2 (\":a\"): name already used by entry 1"},
      {"data not after the names",
       [&](Bytes_& b) { PutU32(b, 8, static_cast<std::uint32_t>(data_at + 1)); },
       "entry 1 (\":memsofit\"): data at offset"},
      {"gap between data", [](Bytes_& b) { PutU32(b, 24, GetU32(b, 24) + 1); },
       "entry 2 (\":mem\"): data at offset"},
      {"stored size too long", [](Bytes_& b) { PutU32(b, 60, 1); },
       "run past the set's end"},
      {"offset far outside", [](Bytes_& b) { PutU32(b, 56, 0xFFFFFFF0u); },
       "entry 4 (\":empty\"): data at offset"},
      {"stored size too short", [](Bytes_& b) { PutU32(b, 12, GetU32(b, 12) - 1); },
       "entry 2 (\":mem\"): data at offset"},
      {"trailing bytes", [](Bytes_& b) { b.push_back(0); },
       "1 bytes follow the last entry's data"},
      {"packed size disagrees with its frame",
       [](Bytes_& b) { PutU32(b, 48, GetU32(b, 48) + 1); },
       "entry 3 (\":{frm1\"): packed entry's unpacked size field"},
      {"packed size beyond 16 bits", [](Bytes_& b) { PutU32(b, 48, 0x10000); },
       "outside 1..65535"},
      {"frame magic broken", [](Bytes_& b) { b[GetU32(b, 40) + 2] = 'X'; }, "PCk1"},
  };
  for (const Case& c : cases) {
    Bytes_ bytes = set_;
    c.corrupt(bytes);
    std::string error;
    EXPECT_FALSE(ResourceSet::Open(bytes, &error)) << c.what;
    EXPECT_NE(error.find(c.message), std::string::npos)
        << c.what << ": message was \"" << error << "\"";
  }
}

// Packed-entry frames, field by field.
class PackedEntryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    content_ = TextContent();
    ASSERT_TRUE(PackEntry(content_, packed_, nullptr));
  }
  std::uint32_t size() const { return static_cast<std::uint32_t>(content_.size()); }

  // Rebuilds a frame around `payload` with consistent size fields.
  static std::vector<std::uint8_t> Frame(std::span<const std::uint8_t> payload,
                                         std::uint32_t unpacked) {
    std::vector<std::uint8_t> f(payload.size() + 12, 0);
    auto put16 = [&](std::size_t at, std::size_t v) {
      f[at] = static_cast<std::uint8_t>(v);
      f[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    put16(0, f.size() - 4);
    std::memcpy(f.data() + 2, "PCk1", 4);
    put16(6, payload.size());
    put16(8, unpacked);
    std::copy(payload.begin(), payload.end(), f.begin() + 10);
    return f;
  }
  std::span<const std::uint8_t> Payload(const std::vector<std::uint8_t>& frame) const {
    return std::span(frame).subspan(10, frame.size() - 12);
  }

  std::vector<std::uint8_t> content_;
  std::vector<std::uint8_t> packed_;
};

TEST_F(PackedEntryTest, FrameFieldsAndRoundTrip) {
  const std::size_t n = packed_.size();
  ASSERT_GT(n, 12u);
  EXPECT_LT(n, content_.size());  // it does pack
  EXPECT_EQ(packed_[0] | packed_[1] << 8, static_cast<int>(n - 4));
  EXPECT_EQ(std::string(packed_.begin() + 2, packed_.begin() + 6), "PCk1");
  EXPECT_EQ(packed_[6] | packed_[7] << 8, static_cast<int>(n - 12));
  EXPECT_EQ(packed_[8] | packed_[9] << 8, static_cast<int>(content_.size()));
  EXPECT_EQ(packed_[n - 2], 0);
  EXPECT_EQ(packed_[n - 1], 0);

  std::vector<std::uint8_t> out;
  std::string error;
  ASSERT_TRUE(UnpackEntry(packed_, size(), out, &error)) << error;
  EXPECT_EQ(out, content_);
}

TEST_F(PackedEntryTest, RefusesBadFrames) {
  using Bytes_ = std::vector<std::uint8_t>;
  std::vector<std::uint8_t> longer = content_, shorter = content_;
  longer.push_back('!');
  shorter.pop_back();
  const Bytes_ packed_longer = Packed(longer), packed_shorter = Packed(shorter);
  const std::span<const std::uint8_t> payload = Payload(packed_);

  struct Case {
    const char* what;
    Bytes_ stored;
    std::uint32_t unpacked;
    std::string message;
  };
  std::vector<Case> cases;
  auto with = [&](const char* what, std::function<void(Bytes_&)> change, const char* message) {
    Bytes_ b = packed_;
    change(b);
    cases.push_back({what, b, size(), message});
  };
  with("wrong magic", [](Bytes_& b) { b[5] = '2'; }, "PCk1");
  with("first size field", [](Bytes_& b) { b[0] = static_cast<std::uint8_t>(b[0] + 1); },
       "first size field");
  with("payload size field", [](Bytes_& b) { b[6] = static_cast<std::uint8_t>(b[6] - 1); },
       "payload size field");
  with("unpacked size field", [](Bytes_& b) { b[8] = static_cast<std::uint8_t>(b[8] + 1); },
       "unpacked size field");
  with("closing zeros missing", [](Bytes_& b) { b.back() = 1; }, "two zero bytes");
  with("closing zeros cut off", [](Bytes_& b) { b = Bytes_(b.begin(), b.end() - 2); },
       "first size field");
  with("payload corrupted", [](Bytes_& b) { std::fill(b.begin() + 10, b.end() - 2, 0xFF); },
       "not a valid deflate stream");
  cases.push_back({"shorter than a frame", Bytes_(packed_.begin(), packed_.begin() + 11),
                   size(), "shorter than its 12-byte frame"});
  cases.push_back({"unpacked size 0", packed_, 0, "outside 1..65535"});
  {
    Bytes_ b = packed_longer;  // inflates to one byte more than it claims
    b[8] = static_cast<std::uint8_t>(size());
    b[9] = static_cast<std::uint8_t>(size() >> 8);
    cases.push_back({"inflates to one more", b, size(),
                     "inflates to " + std::to_string(size() + 1) + " bytes, expected " +
                         std::to_string(size())});
  }
  {
    std::vector<std::uint8_t> twice = content_;
    twice.insert(twice.end(), content_.begin(), content_.end());
    Bytes_ b = Packed(twice);  // inflates to twice what it claims
    b[8] = static_cast<std::uint8_t>(size());
    b[9] = static_cast<std::uint8_t>(size() >> 8);
    cases.push_back({"inflates to more", b, size(), "inflates to more than"});
  }
  {
    Bytes_ b = packed_shorter;  // inflates to one byte less
    b[8] = static_cast<std::uint8_t>(size());
    b[9] = static_cast<std::uint8_t>(size() >> 8);
    cases.push_back({"inflates to less", b, size(),
                     "inflates to " + std::to_string(size() - 1) + " bytes, expected " +
                         std::to_string(size())});
  }
  {
    Bytes_ p(payload.begin(), payload.end());
    p.push_back(0x00);  // a byte after the stream's end
    cases.push_back({"stream ends early", Frame(p, size()), size(), "before the payload's end"});
  }
  {
    Bytes_ p(payload.begin(), payload.end() - 1);  // stream cut short
    cases.push_back({"stream cut short", Frame(p, size()), size(), "packed payload"});
  }

  for (const Case& c : cases) {
    std::vector<std::uint8_t> out{1, 2, 3};
    std::string error;
    EXPECT_FALSE(UnpackEntry(c.stored, c.unpacked, out, &error)) << c.what;
    EXPECT_TRUE(out.empty()) << c.what;
    EXPECT_NE(error.find(c.message), std::string::npos)
        << c.what << ": message was \"" << error << "\"";
  }
}

TEST(PackEntry, RefusesWhatSixteenBitFieldsCannotHold) {
  std::vector<std::uint8_t> out;
  std::string error;

  // 65,535 bytes is the most a packed entry can unpack to.
  const std::vector<std::uint8_t> zeros(65535, 0);
  ASSERT_TRUE(PackEntry(zeros, out, &error)) << error;
  std::vector<std::uint8_t> back;
  ASSERT_TRUE(UnpackEntry(out, 65535, back, &error)) << error;
  EXPECT_EQ(back, zeros);

  const std::vector<std::uint8_t> too_long(65536, 0);
  EXPECT_FALSE(PackEntry(too_long, out, &error));
  EXPECT_NE(error.find("65536"), std::string::npos) << error;

  // Incompressible content: the packed entry grows past the first size
  // field's reach although the unpacked size fits.
  error.clear();
  EXPECT_FALSE(PackEntry(RandomBytes(65535, 7), out, &error));
  EXPECT_NE(error.find("stored size less 4"), std::string::npos) << error;
  EXPECT_TRUE(out.empty());

  // Just below that reach it still packs and reads back.
  const std::vector<std::uint8_t> random = RandomBytes(65000, 8);
  ASSERT_TRUE(PackEntry(random, out, &error)) << error;
  EXPECT_LE(out.size() - 4, 65535u);
  ASSERT_TRUE(UnpackEntry(out, 65000, back, &error)) << error;
  EXPECT_EQ(back, random);

  EXPECT_FALSE(PackEntry({}, out, &error));
}

}  // namespace
}  // namespace lq
