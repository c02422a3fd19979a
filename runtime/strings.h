// String services of the runtime.  The program's texts are 8-bit; texts for
// controls are UTF-16.  These are plain functions: nothing here touches the
// platform, so both runtimes share them.
#pragma once

#include <cstdint>
#include <string>

namespace lq {

// A value held for comparison with a control's caption: UTF-16 text.
using Variant = std::u16string;

// Gives `target` its own byte-exact copy of `source`.
inline void AssignString(std::string& target, const std::string& source) {
  target = source;
}
// Gives `target` the empty text.
inline void AssignString(std::string& target) { target.clear(); }

// The decimal text of n, with a leading '-' when negative and nothing
// before a non-negative number.
std::string FormatInt(std::int32_t n);

inline std::string ConcatTemps(const std::string& a, const std::string& b) {
  return a + b;
}
inline std::string ConcatTempWithLiteral(const std::string& a,
                                         const char* literal) {
  return a + literal;
}

// The UTF-16 form of an 8-bit text: each byte widened to one code unit.
std::u16string MakeTempBstr(const std::string& text);

// 0 exactly when the two texts are equal byte for byte; otherwise -1 or 1
// by the first differing byte (unsigned), or by length.
int CompareStrings(const std::string& a, const std::string& b);

inline Variant MakeVariantFromString(const std::string& text) {
  return MakeTempBstr(text);
}
// kTrue (-1) exactly when the two texts are equal, else kFalse (0).
std::int16_t TestVariantsEqual(const std::u16string& a, const Variant& b);

inline void AssignIntToVariant(std::int32_t& variant, std::int32_t value) {
  variant = value;
}
// kTrue exactly when the variant holds k, else kFalse.
std::int16_t TestVariantEqualsInt(std::int32_t variant, std::int32_t k);

}  // namespace lq
