#include "runtime/channels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>

#include "runtime/runtime.h"
#include "tests/core/resource_fixture.h"

namespace lq {
namespace {

using testing::BuildFixtureSet;
using testing::Bytes;

// The head of a WAVE file: NUL bytes from the fifth byte on.
const std::string kWave("RIFF\x10\0\0\0WAVEfmt \0\0\0\0data", 24);

class ChannelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string text;
    for (int i = 0; i < 30; ++i) text += "row " + std::to_string(i) + "\n";
    text_ = text;
    std::vector<std::uint8_t> packed;
    ASSERT_TRUE(PackEntry(Bytes(text_), packed, nullptr));
    bytes_ = BuildFixtureSet({
        {":online", Bytes(kWave), 0},
        {":form", packed, static_cast<std::uint32_t>(text_.size())},
        {":onlinex", Bytes("other"), 0},
    });
    std::string error;
    set_ = ResourceSet::Open(bytes_, &error);
    ASSERT_TRUE(set_) << error;
    table_.emplace(&*set_);
  }

  std::string text_;
  std::vector<std::uint8_t> bytes_;
  std::optional<ResourceSet> set_;
  std::optional<ChannelTable> table_;
};

TEST_F(ChannelsTest, ReadsAResourceWholeNulBytesIncluded) {
  ChannelTable& t = *table_;
  ASSERT_EQ(t.Open(":online", kChannelModeReadBinary, 1), kOk);
  EXPECT_TRUE(t.AnyOpen());
  ASSERT_EQ(t.Length(1), static_cast<std::int32_t>(kWave.size()));
  std::string out;
  ASSERT_EQ(t.Read(t.Length(1), 1, out), kOk);
  EXPECT_EQ(out, kWave);  // 24 bytes, not cut at the first NUL
  EXPECT_EQ(t.Length(1), static_cast<std::int32_t>(kWave.size()));  // still the full length
  EXPECT_EQ(t.Close(1), kOk);
  EXPECT_FALSE(t.AnyOpen());

  // Reopened, it reads from the first byte again.
  ASSERT_EQ(t.Open(":online", kChannelModeReadBinary, 1), kOk);
  ASSERT_EQ(t.Read(4, 1, out), kOk);
  EXPECT_EQ(out, "RIFF");
  EXPECT_EQ(t.Close(1), kOk);
}

TEST_F(ChannelsTest, PackedEntryReadsUnpacked) {
  ChannelTable& t = *table_;
  ASSERT_EQ(t.Open(":form", kChannelModeReadBinary, 7), kOk);
  EXPECT_EQ(t.Length(7), static_cast<std::int32_t>(text_.size()));
  std::string out;
  ASSERT_EQ(t.Read(static_cast<std::int32_t>(text_.size()), 7, out), kOk);
  EXPECT_EQ(out, text_);
  EXPECT_EQ(t.Close(7), kOk);
}

TEST_F(ChannelsTest, ReadsAdvanceAndAnOverlongReadConsumesNothing) {
  ChannelTable& t = *table_;
  ASSERT_EQ(t.Open(":online", kChannelModeReadBinary, 1), kOk);
  std::string out;
  ASSERT_EQ(t.Read(4, 1, out), kOk);
  EXPECT_EQ(out, "RIFF");
  ASSERT_EQ(t.Read(0, 1, out), kOk);
  EXPECT_EQ(out, "");

  out = "stale";
  EXPECT_EQ(t.Read(21, 1, out), kErrChannel);  // 20 left
  EXPECT_EQ(out, "");
  EXPECT_NE(t.last_error().find("20 left"), std::string::npos) << t.last_error();

  ASSERT_EQ(t.Read(20, 1, out), kOk);  // the exact rest still reads
  EXPECT_EQ(out, kWave.substr(4));
  EXPECT_EQ(t.Read(1, 1, out), kErrChannel);
  ASSERT_EQ(t.Read(0, 1, out), kOk);
  EXPECT_EQ(t.Close(1), kOk);
}

TEST_F(ChannelsTest, ChannelsAreIndependent) {
  ChannelTable& t = *table_;
  ASSERT_EQ(t.Open(":online", kChannelModeReadBinary, 1), kOk);
  ASSERT_EQ(t.Open(":online", kChannelModeReadBinary, 255), kOk);
  std::string a, b;
  ASSERT_EQ(t.Read(8, 1, a), kOk);
  ASSERT_EQ(t.Read(4, 255, b), kOk);
  EXPECT_EQ(b, "RIFF");
  EXPECT_EQ(t.Close(1), kOk);
  EXPECT_TRUE(t.AnyOpen());
  ASSERT_EQ(t.Read(4, 255, b), kOk);
  EXPECT_EQ(b, kWave.substr(4, 4));
  EXPECT_EQ(t.Close(255), kOk);
  EXPECT_FALSE(t.AnyOpen());
}

TEST_F(ChannelsTest, MisuseFailsAndSaysWhy) {
  ChannelTable& t = *table_;
  ASSERT_EQ(t.Open(":online", kChannelModeReadBinary, 1), kOk);
  std::string out;

  struct Case {
    const char* what;
    std::function<int()> call;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"unknown name", [&] { return t.Open(":alef", kChannelModeReadBinary, 2); },
       kErrNotFound, "no resource named \":alef\""},
      {"prefix of a name", [&] { return t.Open(":onl", kChannelModeReadBinary, 2); },
       kErrNotFound, "\":onl\""},
      {"name without ':'", [&] { return t.Open("online", kChannelModeReadBinary, 2); },
       kErrNotFound, "\"online\""},
      {"channel 0", [&] { return t.Open(":online", kChannelModeReadBinary, 0); },
       kErrChannel, "outside 1..255"},
      {"channel 256", [&] { return t.Open(":online", kChannelModeReadBinary, 256); },
       kErrChannel, "outside 1..255"},
      {"negative channel", [&] { return t.Open(":online", kChannelModeReadBinary, -1); },
       kErrChannel, "outside 1..255"},
      {"already open", [&] { return t.Open(":onlinex", kChannelModeReadBinary, 1); },
       kErrChannel, "channel 1 is already open"},
      {"mode 0", [&] { return t.Open(":online", 0, 2); }, kErrChannel, "mode 0"},
      {"mode 0x4002", [&] { return t.Open(":online", 0x4002, 2); }, kErrChannel,
       "mode 16386"},
      {"negative count", [&] { return t.Read(-1, 1, out); }, kErrChannel, "-1 bytes"},
      {"read on a closed channel", [&] { return t.Read(1, 2, out); }, kErrChannel,
       "channel 2 is not open"},
      {"length of a closed channel", [&] { return static_cast<int>(t.Length(2)); },
       kErrChannel, "channel 2 is not open"},
      {"close of a closed channel", [&] { return t.Close(2); }, kErrChannel,
       "channel 2 is not open"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(), c.status) << c.what;
    EXPECT_NE(t.last_error().find(c.message), std::string::npos)
        << c.what << ": message was \"" << t.last_error() << "\"";
  }

  // None of that touched channel 1, still at its first byte, and opened
  // nothing else.
  ASSERT_EQ(t.Read(4, 1, out), kOk);
  EXPECT_EQ(out, "RIFF");
  EXPECT_EQ(t.Close(1), kOk);
  EXPECT_FALSE(t.AnyOpen());
  EXPECT_EQ(t.Close(1), kErrChannel);
}

TEST(Channels, PackedEntryThatDoesNotUnpackFailsToOpen) {
  // The frame is sound, so the set opens; the payload is not deflate.
  std::vector<std::uint8_t> frame(30, 0xFF);
  frame[0] = 26;
  frame[1] = 0;
  std::memcpy(frame.data() + 2, "PCk1", 4);
  frame[6] = 18;
  frame[7] = 0;
  frame[8] = 100;
  frame[9] = 0;
  frame[28] = frame[29] = 0;
  const auto bytes = BuildFixtureSet({{":broken", frame, 100}});
  std::string error;
  const auto set = ResourceSet::Open(bytes, &error);
  ASSERT_TRUE(set) << error;
  ChannelTable t(&*set);
  EXPECT_EQ(t.Open(":broken", kChannelModeReadBinary, 1), kErrIo);
  EXPECT_NE(t.last_error().find("\":broken\": packed payload"), std::string::npos)
      << t.last_error();
  EXPECT_FALSE(t.AnyOpen());
  EXPECT_EQ(t.Length(1), kErrChannel);
}

}  // namespace
}  // namespace lq
