#include "form/tables.h"

#include "form/control_names.h"
#include "form/handlers.h"

namespace lq {

namespace {

constexpr std::array<Binding, 31> kBindingTable = {{
    {"cmd1_Click", &cmd1_Click},
    {"cmd1_LostFocus", &cmd1_LostFocus},
    {"cmd2_Click", &cmd2_Click},
    {"lbl10_Click", &lbl10_Click},
    {"lbl11_Click", &lbl11_Click},
    {"lbl12_Click", &lbl12_Click},
    {"lbl13_Click", &lbl13_Click},
    {"lbl14_Click", &lbl14_Click},
    {"lbl15_Click", &lbl15_Click},
    {"lbl16_Click", &lbl16_Click},
    {"lbl17_Click", &lbl17_Click},
    {"lbl18_Click", &lbl18_Click},
    {"lbl19_Click", &lbl19_Click},
    {"lbl20_Click", &lbl20_Click},
    {"lbl21_Click", &lbl21_Click},
    {"lbl22_Click", &lbl22_Click},
    {"lbl23_Click", &lbl23_Click},
    {"lbl24_Click", &lbl24_Click},
    {"lbl25_Click", &lbl25_Click},
    {"lbl26_Click", &lbl26_Click},
    {"lbl27_Click", &lbl27_Click},
    {"lbl28_Click", &lbl28_Click},
    {"lbl2_Click", &lbl2_Click},
    {"lbl3_Click", &lbl3_Click},
    {"lbl4_Click", &lbl4_Click},
    {"lbl55_Click", &lbl55_Click},
    {"lbl5_Click", &lbl5_Click},
    {"lbl6_Click", &lbl6_Click},
    {"lbl7_Click", &lbl7_Click},
    {"lbl8_Click", &lbl8_Click},
    {"lbl9_Click", &lbl9_Click},
}};

template <std::size_t N>
constexpr std::array<std::string_view, N> NamesOf(
    const std::array<Binding, N>& bindings) {
  std::array<std::string_view, N> names{};
  for (std::size_t i = 0; i < N; ++i) names[i] = bindings[i].name;
  return names;
}
constexpr auto kEventNames = NamesOf(kBindingTable);

template <std::size_t N>
constexpr bool SortedByBytes(const std::array<std::string_view, N>& names) {
  for (std::size_t i = 1; i < N; ++i) {
    if (!(names[i - 1] < names[i])) return false;  // unsigned byte order
  }
  return true;
}
static_assert(SortedByBytes(kEventNames), "the event table must be sorted");

template <std::size_t N>
constexpr std::size_t NamesSize(const std::array<std::string_view, N>& names) {
  std::size_t size = 0;
  for (auto name : names) size += name.size() + 1;
  return size;
}

constexpr void PutU32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// count, name offsets, second-text offsets, handler indexes, eight NULs
// (the first is the one empty second text), then the names.
template <std::size_t N, std::size_t Size>
constexpr std::array<std::uint8_t, Size> BuildEventTable(
    const std::array<std::string_view, N>& names) {
  std::array<std::uint8_t, Size> table{};
  const std::uint32_t empty_text = 4 + 12 * N;
  std::uint32_t name_at = 12 + 12 * N;
  PutU32(&table[0], N);
  for (std::size_t i = 0; i < N; ++i) {
    PutU32(&table[4 + 4 * i], name_at);
    PutU32(&table[4 + 4 * (N + i)], empty_text);
    PutU32(&table[4 + 4 * (2 * N + i)], static_cast<std::uint32_t>(i));
    for (char c : names[i]) table[name_at++] = static_cast<std::uint8_t>(c);
    table[name_at++] = 0;
  }
  return table;
}

template <std::size_t N, std::size_t Size>
constexpr std::array<std::uint8_t, Size> BuildNameList(
    const std::array<std::string_view, N>& names) {
  std::array<std::uint8_t, Size> list{};
  std::size_t at = 0;
  for (auto name : names) {
    for (char c : name) list[at++] = static_cast<std::uint8_t>(c);
    list[at++] = 0;
  }
  return list;  // the two closing NULs are the array's last two zeros
}

constexpr auto kEventTable =
    BuildEventTable<31, 12 + 12 * 31 + NamesSize(kEventNames)>(kEventNames);
constexpr auto kControlNameList =
    BuildNameList<37, NamesSize(kControlNames) + 2>(kControlNames);
static_assert(kEventTable.size() == 749);
static_assert(kControlNameList.size() == 211);

}  // namespace

template <std::size_t N>
constexpr std::array<Handler, N> HandlersOf(
    const std::array<Binding, N>& bindings) {
  std::array<Handler, N> handlers{};
  for (std::size_t i = 0; i < N; ++i) handlers[i] = bindings[i].handler;
  return handlers;
}

const std::array<Binding, 31> kBindings = kBindingTable;
const std::array<Handler, 31> kHandlers = HandlersOf(kBindingTable);

std::span<const std::uint8_t> StoredEventTable() { return kEventTable; }
std::span<const std::uint8_t> StoredControlNames() { return kControlNameList; }

}  // namespace lq
