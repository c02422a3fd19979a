#include "runtime/resource_set.h"

#include <zlib.h>

#include <cstring>
#include <limits>

namespace lq {
namespace {

constexpr std::size_t kDirectoryRow = 16;
constexpr std::size_t kFrameHeader = 10;  // two size fields, magic, size
constexpr std::size_t kFrameTrailer = 2;  // two closing zero bytes
constexpr std::size_t kFrameOverhead = kFrameHeader + kFrameTrailer;
constexpr std::uint32_t kMax16 = 0xFFFF;
constexpr char kMagic[4] = {'P', 'C', 'k', '1'};

std::uint32_t Read32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) |
         static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 |
         static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::uint32_t Read16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) |
         static_cast<std::uint32_t>(b[at + 1]) << 8;
}

void Put16(std::vector<std::uint8_t>& out, std::size_t at, std::size_t v) {
  out[at] = static_cast<std::uint8_t>(v & 0xFF);
  out[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

bool Fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

std::string EntryLabel(std::size_t i, std::string_view name) {
  std::string s = "entry " + std::to_string(i + 1);
  if (!name.empty()) s += " (\"" + std::string(name) + "\")";
  return s;
}

// Checks the frame around a packed entry's payload (everything but the
// payload itself).
bool CheckFrame(std::span<const std::uint8_t> stored,
                std::uint32_t unpacked_size, std::string* error) {
  const std::size_t n = stored.size();
  if (n < kFrameOverhead)
    return Fail(error, "packed entry of " + std::to_string(n) +
                           " bytes is shorter than its 12-byte frame");
  if (n - 4 > kMax16)
    return Fail(error, "packed entry of " + std::to_string(n) +
                           " bytes is too long for its 16-bit size field");
  if (unpacked_size == 0 || unpacked_size > kMax16)
    return Fail(error, "unpacked size " + std::to_string(unpacked_size) +
                           " is outside 1..65535");
  if (Read16(stored, 0) != n - 4)
    return Fail(error, "packed entry's first size field is " +
                           std::to_string(Read16(stored, 0)) + ", expected " +
                           std::to_string(n - 4));
  if (std::memcmp(stored.data() + 2, kMagic, sizeof kMagic) != 0)
    return Fail(error, "packed entry lacks the \"PCk1\" magic");
  if (Read16(stored, 6) != n - kFrameOverhead)
    return Fail(error, "packed entry's payload size field is " +
                           std::to_string(Read16(stored, 6)) + ", expected " +
                           std::to_string(n - kFrameOverhead));
  if (Read16(stored, 8) != unpacked_size)
    return Fail(error, "packed entry's unpacked size field is " +
                           std::to_string(Read16(stored, 8)) + ", expected " +
                           std::to_string(unpacked_size));
  if (stored[n - 2] != 0 || stored[n - 1] != 0)
    return Fail(error, "packed entry does not end in two zero bytes");
  return true;
}

}  // namespace

std::optional<ResourceSet> ResourceSet::Open(std::span<const std::uint8_t> bytes,
                                             std::string* error) {
  const std::size_t size = bytes.size();
  auto fail = [&](std::string message) -> std::optional<ResourceSet> {
    Fail(error, "resource set: " + std::move(message));
    return std::nullopt;
  };
  if (size < 4) return fail("only " + std::to_string(size) + " bytes, no entry count");
  const std::uint32_t count = Read32(bytes, 0);
  if (count == 0) return fail("the entry count is 0");
  // 64-bit arithmetic: a count near 2^32 must not wrap the directory's end.
  const std::uint64_t directory_end =
      4 + static_cast<std::uint64_t>(count) * kDirectoryRow;
  if (directory_end > size)
    return fail("entry count " + std::to_string(count) + " needs a " +
                std::to_string(directory_end) + "-byte directory, the set has " +
                std::to_string(size) + " bytes");

  ResourceSet set;
  set.bytes_ = bytes;
  set.entries_.resize(count);

  // The names, back to back after the directory.
  std::size_t expected = static_cast<std::size_t>(directory_end);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t row = 4 + i * kDirectoryRow;
    const std::uint32_t at = Read32(bytes, row);
    if (at != expected)
      return fail(EntryLabel(i, {}) + ": name at offset " + std::to_string(at) +
                  ", expected " + std::to_string(expected));
    const void* nul = std::memchr(bytes.data() + at, 0, size - at);
    if (!nul) return fail(EntryLabel(i, {}) + ": name runs past the set's end");
    const std::size_t length =
        static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) -
                                 (bytes.data() + at));
    std::string_view name(reinterpret_cast<const char*>(bytes.data() + at), length);
    if (name.empty() || name[0] != ':')
      return fail(EntryLabel(i, {}) + ": name \"" + std::string(name) +
                  "\" does not begin with ':'");
    for (std::size_t j = 0; j < i; ++j)
      if (set.entries_[j].name == name)
        return fail(EntryLabel(i, name) + ": name already used by entry " +
                    std::to_string(j + 1));
    set.entries_[i].name = name;
    expected = at + length + 1;
  }

  // The data, back to back after the last name, to the set's end.
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t row = 4 + i * kDirectoryRow;
    ResourceEntry& e = set.entries_[i];
    const std::uint32_t at = Read32(bytes, row + 4);
    const std::uint32_t stored = Read32(bytes, row + 8);
    e.unpacked_size = Read32(bytes, row + 12);
    if (at != expected)
      return fail(EntryLabel(i, e.name) + ": data at offset " + std::to_string(at) +
                  ", expected " + std::to_string(expected));
    if (stored > size - at)
      return fail(EntryLabel(i, e.name) + ": " + std::to_string(stored) +
                  " bytes from offset " + std::to_string(at) +
                  " run past the set's end at " + std::to_string(size));
    e.stored = bytes.subspan(at, stored);
    if (e.unpacked_size != 0) {
      std::string why;
      if (!CheckFrame(e.stored, e.unpacked_size, &why))
        return fail(EntryLabel(i, e.name) + ": " + why);
    }
    expected = static_cast<std::size_t>(at) + stored;
  }
  if (expected != size)
    return fail(std::to_string(size - expected) +
                " bytes follow the last entry's data");
  return set;
}

const ResourceEntry* ResourceSet::Find(std::string_view name) const {
  for (const ResourceEntry& e : entries_)
    if (e.name == name) return &e;
  return nullptr;
}

bool ResourceSet::Content(const ResourceEntry& entry,
                          std::vector<std::uint8_t>& out, std::string* error) {
  if (entry.unpacked_size == 0) {
    out.assign(entry.stored.begin(), entry.stored.end());
    return true;
  }
  return UnpackEntry(entry.stored, entry.unpacked_size, out, error);
}

bool PackEntry(std::span<const std::uint8_t> content,
               std::vector<std::uint8_t>& out, std::string* error) {
  out.clear();
  if (content.empty())
    return Fail(error, "an empty content cannot be packed (unpacked size 0 "
                       "means stored whole)");
  if (content.size() > kMax16)
    return Fail(error, "content of " + std::to_string(content.size()) +
                           " bytes exceeds the 65,535 a packed entry can hold");

  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9,
                   Z_DEFAULT_STRATEGY) != Z_OK)
    return Fail(error, "deflate could not start");
  const uLong bound = deflateBound(&z, static_cast<uLong>(content.size()));
  std::vector<std::uint8_t> payload(bound);
  z.next_in = const_cast<Bytef*>(content.data());
  z.avail_in = static_cast<uInt>(content.size());
  z.next_out = payload.data();
  z.avail_out = static_cast<uInt>(payload.size());
  const int rc = deflate(&z, Z_FINISH);
  const std::size_t produced = z.total_out;
  deflateEnd(&z);
  if (rc != Z_STREAM_END) return Fail(error, "deflate did not finish");

  const std::size_t stored = produced + kFrameOverhead;
  if (stored - 4 > kMax16)
    return Fail(error, "packed entry would be " + std::to_string(stored) +
                           " bytes; its stored size less 4 (" +
                           std::to_string(stored - 4) +
                           ") exceeds the 65,535 its size field holds");
  out.assign(stored, 0);
  Put16(out, 0, stored - 4);
  std::memcpy(out.data() + 2, kMagic, sizeof kMagic);
  Put16(out, 6, produced);
  Put16(out, 8, content.size());
  std::memcpy(out.data() + kFrameHeader, payload.data(), produced);
  return true;
}

bool UnpackEntry(std::span<const std::uint8_t> stored,
                 std::uint32_t unpacked_size, std::vector<std::uint8_t>& out,
                 std::string* error) {
  out.clear();
  if (!CheckFrame(stored, unpacked_size, error)) return false;
  const std::span<const std::uint8_t> payload =
      stored.subspan(kFrameHeader, stored.size() - kFrameOverhead);

  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return Fail(error, "inflate could not start");
  // One byte of room beyond the expected size shows a payload that
  // inflates to more.
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(unpacked_size) + 1);
  z.next_in = const_cast<Bytef*>(payload.data());
  z.avail_in = static_cast<uInt>(payload.size());
  z.next_out = buffer.data();
  z.avail_out = static_cast<uInt>(buffer.size());
  const int rc = inflate(&z, Z_FINISH);
  const std::size_t produced = z.total_out;
  const std::size_t left_in = z.avail_in;
  const std::string zmsg = z.msg ? z.msg : "";
  inflateEnd(&z);

  if (rc == Z_STREAM_END) {
    if (produced != unpacked_size)
      return Fail(error, "packed payload inflates to " + std::to_string(produced) +
                             " bytes, expected " + std::to_string(unpacked_size));
    if (left_in != 0)
      return Fail(error, "packed payload's stream ends " + std::to_string(left_in) +
                             " bytes before the payload's end");
    buffer.resize(produced);
    out = std::move(buffer);
    return true;
  }
  if (rc == Z_DATA_ERROR)
    return Fail(error, "packed payload is not a valid deflate stream" +
                           (zmsg.empty() ? std::string() : ": " + zmsg));
  if (produced > unpacked_size)
    return Fail(error, "packed payload inflates to more than " +
                           std::to_string(unpacked_size) + " bytes");
  return Fail(error, "packed payload ends after " + std::to_string(produced) +
                         " of " + std::to_string(unpacked_size) +
                         " bytes, before its stream's end");
}

}  // namespace lq
