// The program's control names, in the order the runtime hands out their
// references (the form first).  The stored control-name list is built from
// it, and the resource packer checks the window definition against it.
#pragma once

#include <array>
#include <string_view>

namespace lq {

inline constexpr std::array<std::string_view, 37> kControlNames = {
    "frm1",  "lbl2",  "lbl3",  "lbl4",  "lbl5",  "lbl6",  "lbl7",  "lbl8",
    "lbl9",  "lbl10", "lbl11", "lbl12", "lbl13", "lbl14", "lbl15", "lbl16",
    "lbl17", "lbl18", "lbl19", "lbl20", "lbl21", "lbl22", "lbl23", "lbl24",
    "lbl25", "lbl55", "lbl26", "lbl27", "lbl28", "cmd1",  "cmd2",  "pro1",
    "lbl1",  "lbl29", "lbl30", "lbl31", "lbl32"};

}  // namespace lq
