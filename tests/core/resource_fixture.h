// Builds small resource sets for tests, laid out like the packed set:
// count, 16-byte directory rows, NUL-ended names, data back to back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lq::testing {

struct FixtureEntry {
  std::string name;
  std::vector<std::uint8_t> stored;
  std::uint32_t unpacked_size = 0;  // 0: stored whole
};

inline void PutU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i)
    b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline std::uint32_t GetU32(const std::vector<std::uint8_t>& b, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
  return v;
}

inline std::vector<std::uint8_t> BuildFixtureSet(const std::vector<FixtureEntry>& entries) {
  const std::size_t directory = 4 + 16 * entries.size();
  std::size_t names = 0;
  for (const auto& e : entries) names += e.name.size() + 1;
  std::vector<std::uint8_t> set(directory + names);
  PutU32(set, 0, static_cast<std::uint32_t>(entries.size()));
  std::size_t name_at = directory, data_at = directory + names;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& e = entries[i];
    PutU32(set, 4 + 16 * i, static_cast<std::uint32_t>(name_at));
    PutU32(set, 8 + 16 * i, static_cast<std::uint32_t>(data_at));
    PutU32(set, 12 + 16 * i, static_cast<std::uint32_t>(e.stored.size()));
    PutU32(set, 16 + 16 * i, e.unpacked_size);
    for (char c : e.name) set[name_at++] = static_cast<std::uint8_t>(c);
    set[name_at++] = 0;
    data_at += e.stored.size();
  }
  for (const auto& e : entries) set.insert(set.end(), e.stored.begin(), e.stored.end());
  return set;
}

inline std::vector<std::uint8_t> Bytes(const std::string& s) {
  return {s.begin(), s.end()};
}

}  // namespace lq::testing
