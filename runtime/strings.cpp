#include "runtime/strings.h"

#include "runtime/runtime.h"

namespace lq {

std::string FormatInt(std::int32_t n) { return std::to_string(n); }

std::u16string MakeTempBstr(const std::string& text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (char c : text) {
    wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  }
  return wide;
}

int CompareStrings(const std::string& a, const std::string& b) {
  const int order = a.compare(b);  // char_traits<char> compares as unsigned
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

std::int16_t TestVariantsEqual(const std::u16string& a, const Variant& b) {
  return a == b ? kTrue : kFalse;
}

std::int16_t TestVariantEqualsInt(std::int32_t variant, std::int32_t k) {
  return variant == k ? kTrue : kFalse;
}

}  // namespace lq
