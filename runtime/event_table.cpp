#include "runtime/event_table.h"

#include <cstring>

namespace lq {

namespace {

bool ReadU32(std::span<const std::uint8_t> bytes, std::size_t offset,
             std::uint32_t& value) {
  if (offset > bytes.size() || bytes.size() - offset < 4) return false;
  value = static_cast<std::uint32_t>(bytes[offset]) |
          static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
          static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
          static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
  return true;
}

// The NUL-ended text at `offset`, or false when it runs past the end.
bool ReadText(std::span<const std::uint8_t> bytes, std::uint32_t offset,
              std::string& text) {
  if (offset >= bytes.size()) return false;
  const auto* begin = bytes.data() + offset;
  const void* nul = std::memchr(begin, 0, bytes.size() - offset);
  if (nul == nullptr) return false;
  text.assign(reinterpret_cast<const char*>(begin),
              static_cast<const std::uint8_t*>(nul) - begin);
  return true;
}

bool Fail(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
  return false;
}

}  // namespace

std::optional<EventTable> EventTable::Parse(std::span<const std::uint8_t> bytes,
                                            std::size_t handler_count,
                                            std::string* error) {
  std::uint32_t n = 0;
  if (!ReadU32(bytes, 0, n)) {
    Fail(error, "event table: too short for its count");
    return std::nullopt;
  }
  if (bytes.size() < 12 + 12 * static_cast<std::uint64_t>(n)) {
    Fail(error, "event table: count " + std::to_string(n) +
                    " does not fit the table's " +
                    std::to_string(bytes.size()) + " bytes");
    return std::nullopt;
  }
  EventTable table;
  for (std::uint32_t i = 0; i < n; ++i) {
    std::uint32_t name_at = 0, second_at = 0, handler = 0;
    ReadU32(bytes, 4 + 4 * i, name_at);
    ReadU32(bytes, 4 + 4 * (n + i), second_at);
    ReadU32(bytes, 4 + 4 * (2 * n + i), handler);
    std::string name, second;
    if (!ReadText(bytes, name_at, name) || name.empty()) {
      Fail(error, "event table: entry " + std::to_string(i) +
                      " has no valid name");
      return std::nullopt;
    }
    if (!ReadText(bytes, second_at, second)) {
      Fail(error, "event table: entry " + std::to_string(i) + " (" + name +
                      ") has no valid second text");
      return std::nullopt;
    }
    if (handler >= handler_count) {
      Fail(error, "event table: entry " + std::to_string(i) + " (" + name +
                      ") names handler " + std::to_string(handler) + " of " +
                      std::to_string(handler_count));
      return std::nullopt;
    }
    if (table.Find(name) >= 0) {
      Fail(error, "event table: " + name + " is bound twice");
      return std::nullopt;
    }
    table.names_.push_back(std::move(name));
    table.handlers_.push_back(handler);
  }
  return table;
}

int EventTable::Find(std::string_view name) const {
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (names_[i] == name) return static_cast<int>(handlers_[i]);
  }
  return -1;
}

std::optional<std::vector<std::string>> ParseControlNames(
    std::span<const std::uint8_t> bytes, std::string* error) {
  std::vector<std::string> names;
  std::size_t at = 0;
  while (true) {
    std::string name;
    if (!ReadText(bytes, static_cast<std::uint32_t>(at), name)) {
      Fail(error, "control-name list: not ended by two NUL bytes");
      return std::nullopt;
    }
    if (name.empty()) break;  // the first of the two closing NULs
    at += name.size() + 1;
    names.push_back(std::move(name));
  }
  if (at + 2 != bytes.size() || bytes[at + 1] != 0) {
    Fail(error, "control-name list: " + std::to_string(bytes.size() - at) +
                    " bytes after the last name, expected two NULs");
    return std::nullopt;
  }
  return names;
}

}  // namespace lq
