// CheckImage: the parts of a program image the runtime reads, checked
// before the runtime is made.
#include <string>
#include <utility>

#include "runtime/qt/qt_runtime.h"

namespace lq::qt {

std::optional<CheckedImage> CheckImage(const ProgramImage& program,
                                       std::string* error) {
  std::string why;
  auto set = ResourceSet::Open(program.resources, &why);
  if (!set) {
    if (error != nullptr) *error = "the program's resource set is damaged: " + why;
    return std::nullopt;
  }
  auto events = EventTable::Parse(program.event_table, program.handlers.size(), &why);
  if (!events) {
    if (error != nullptr) *error = "the program's event table is damaged: " + why;
    return std::nullopt;
  }
  auto names = ParseControlNames(program.control_names, &why);
  if (!names) {
    if (error != nullptr) *error = "the program's control-name list is damaged: " + why;
    return std::nullopt;
  }
  if (names->size() != static_cast<std::size_t>(kControlCount)) {
    if (error != nullptr) {
      *error = "the program's control-name list holds " +
               std::to_string(names->size()) + " names, not " +
               std::to_string(kControlCount);
    }
    return std::nullopt;
  }
  return CheckedImage{std::move(*set), std::move(*events), std::move(*names)};
}

}  // namespace lq::qt
