// The stored tables that a program hands to its runtime: the event table
// (handler names to handler routines) and the control-name list.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lq {

class EventTable {
 public:
  // Reads a stored event table:
  //   0          u32 n
  //   4          n x u32 offset of the entry's name (from the table's start)
  //   4 + 4n     n x u32 offset of the entry's second text
  //   4 + 8n     n x u32 index of the entry's handler routine
  //   4 + 12n    eight NUL bytes (the first is the empty text)
  //   12 + 12n   the n names, NUL-ended
  // Every offset must lie inside the table and every index below
  // `handler_count`.  On failure returns nothing and says why in *error.
  static std::optional<EventTable> Parse(std::span<const std::uint8_t> bytes,
                                         std::size_t handler_count,
                                         std::string* error);

  // The handler index bound to exactly this name ("lbl5_Click"), or -1.
  int Find(std::string_view name) const;
  std::size_t size() const { return names_.size(); }
  const std::vector<std::string>& names() const { return names_; }

 private:
  std::vector<std::string> names_;
  std::vector<std::uint32_t> handlers_;
};

// Reads a stored control-name list: NUL-ended names back to back, then two
// more NUL bytes.  On failure returns nothing and says why in *error.
std::optional<std::vector<std::string>> ParseControlNames(
    std::span<const std::uint8_t> bytes, std::string* error);

}  // namespace lq
