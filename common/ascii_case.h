#pragma once
// Letter case of ASCII letters only: the names and switches compared this way
// are the program's own, and the platform's wider rules depend on the locale.
#include <string>
#include <string_view>

namespace snapvik {

template <typename Char>
constexpr Char AsciiLower(Char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<Char>(c - 'A' + 'a') : c;
}

namespace detail {
template <typename Char>
constexpr bool SameIgnoringAsciiCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}
}  // namespace detail

// Whether two texts are the same, ASCII case ignored.
constexpr bool SameIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
  return detail::SameIgnoringAsciiCase(a, b);
}
constexpr bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return detail::SameIgnoringAsciiCase(a, b);
}

}  // namespace snapvik
