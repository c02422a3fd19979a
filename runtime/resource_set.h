// Read access to a packed resource set.
//
// Layout (all fields 32-bit little-endian, no padding):
//   0            entry count n
//   4 + 16*i     offset of entry i's name, from the set's start
//   8 + 16*i     offset of entry i's first data byte, from the set's start
//   12 + 16*i    stored size of entry i
//   16 + 16*i    unpacked size of entry i; 0 for an entry stored whole
//   4 + 16*n     the names, NUL-ended, in entry order
//   after them   the entries' data, in entry order, back to back
// A packed entry is framed (little-endian):
//   0  u16 stored size - 4      2  "PCk1"      6  u16 stored size - 12
//   8  u16 unpacked size        10 raw-deflate payload      end-2  two NULs
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lq {

struct ResourceEntry {
  std::string_view name;                 // includes the leading ':'
  std::span<const std::uint8_t> stored;  // the bytes as stored
  std::uint32_t unpacked_size = 0;       // 0: stored whole
};

class ResourceSet {
 public:
  // Checks the directory against the bytes (every offset and size inside
  // the set, names NUL-ended, data back to back).  On failure returns
  // nothing and says why in *error.
  static std::optional<ResourceSet> Open(std::span<const std::uint8_t> bytes,
                                         std::string* error);

  // The entry with exactly this name, wherever it stands; nullptr if none.
  const ResourceEntry* Find(std::string_view name) const;
  const std::vector<ResourceEntry>& entries() const { return entries_; }
  std::span<const std::uint8_t> bytes() const { return bytes_; }

  // The entry's content: its stored bytes, or for a packed entry the
  // unpacked bytes, exactly unpacked_size of them.  False (and *error)
  // on a bad frame or a payload that does not unpack to that size.
  static bool Content(const ResourceEntry& entry,
                      std::vector<std::uint8_t>& out, std::string* error);

 private:
  std::span<const std::uint8_t> bytes_;
  std::vector<ResourceEntry> entries_;
};

// Frames `content` as a packed entry (raw deflate).  Fails, with *error,
// when a 16-bit size field cannot hold the result.
bool PackEntry(std::span<const std::uint8_t> content,
               std::vector<std::uint8_t>& out, std::string* error);
// Checks the frame and unpacks it to exactly `unpacked_size` bytes.
bool UnpackEntry(std::span<const std::uint8_t> stored,
                 std::uint32_t unpacked_size, std::vector<std::uint8_t>& out,
                 std::string* error);

}  // namespace lq
