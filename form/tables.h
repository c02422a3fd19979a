// The tables the program hands to its runtime: the event table that binds
// handlers by name, and the control-name list that orders the references.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace lq {

using Handler = void (*)();

struct Binding {
  std::string_view name;  // "<control>_<event>"
  Handler handler;
};

// The bound events, sorted by the bytes of their names.
extern const std::array<Binding, 31> kBindings;
// Their handlers, in the same order: entry i's handler index is i.
extern const std::array<Handler, 31> kHandlers;

std::span<const std::uint8_t> StoredEventTable();
std::span<const std::uint8_t> StoredControlNames();

}  // namespace lq
