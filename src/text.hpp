#pragma once

// Byte classes and the small text helpers shared by reading and writing.

#include <array>
#include <cstddef>
#include <string_view>

#include "check.hpp"

namespace provlink {

inline constexpr unsigned char byte_at(std::string_view text, std::size_t i) noexcept {
  return static_cast<unsigned char>(text[i]);
}

// A set of bytes, as a 256-entry table built at compile time.
class ByteClass {
 public:
  template <class Member>
  static consteval ByteClass of(Member member) {
    ByteClass table;
    for (int b = 0; b < 256; ++b) table.members_[b] = member(static_cast<unsigned char>(b));
    return table;
  }

  constexpr bool operator()(char c) const noexcept { return members_[static_cast<unsigned char>(c)]; }

  constexpr std::size_t size() const noexcept { return members_outside(ByteClass()); }

  // How many members of this class `other` does not have.
  constexpr std::size_t members_outside(const ByteClass& other) const noexcept {
    std::size_t n = 0;
    for (std::size_t b = 0; b < 256; ++b) n += members_[b] && !other.members_[b] ? 1 : 0;
    return n;
  }

 private:
  std::array<bool, 256> members_{};
};

// The link relation that this module reads and writes.
inline constexpr std::string_view kManifestRel = "c2pa-manifest";

// Visible ASCII, 0x21 to 0x7E (VCHAR in RFC 5234): no space, no control.
inline constexpr ByteClass is_visible = ByteClass::of([](unsigned char b) { return b > 0x20 && b < 0x7F; });

// The visible bytes but the double quote, the angle brackets and the
// backslash, the four that change how a Link header value is read.
inline constexpr ByteClass is_plain = ByteClass::of([](unsigned char b) {
  return is_visible(static_cast<char>(b)) && b != '"' && b != '<' && b != '>' && b != '\\';
});

// RFC 3986 unreserved characters, general delimiters and sub-delimiters, plus
// "%": the bytes that may stand literally in a URI reference. Every other byte
// is percent-encoded by encode_target and refused by format_strict.
inline constexpr ByteClass is_uri_literal = ByteClass::of([](unsigned char b) {
  return b == 0x21 || (b >= 0x23 && b <= 0x3B) || b == 0x3D || (b >= 0x3F && b <= 0x5B) ||
         b == 0x5D || b == 0x5F || (b >= 0x61 && b <= 0x7A) || b == 0x7E;
});
static_assert(is_uri_literal.size() == 85);

// The ASCII members of Unicode White_Space: what trimming removes besides the
// multi-byte members below.
inline constexpr ByteClass is_ascii_white_space =
    ByteClass::of([](unsigned char b) { return (b >= 0x09 && b <= 0x0D) || b == 0x20; });

// What separates relation types in a "rel" value: ASCII whitespace, which
// unlike White_Space leaves out U+000B.
inline constexpr ByteClass is_relation_separator = ByteClass::of(
    [](unsigned char b) { return b == 0x20 || b == 0x09 || b == 0x0A || b == 0x0C || b == 0x0D; });

// text[from, to), or text[from, end): the caller keeps the bounds in range.
// Unlike substr nothing is checked in a release build, so no out_of_range
// path is linked in.
constexpr std::string_view slice(std::string_view text, std::size_t from, std::size_t to) noexcept {
  PROVLINK_ASSERT(from <= to && to <= text.size());
  return {text.data() + from, to - from};
}
constexpr std::string_view slice(std::string_view text, std::size_t from) noexcept {
  return slice(text, from, text.size());
}

// Length of the White_Space character that `text` starts with, or 0.
// Beyond ASCII these are U+0085 and U+00A0 (two bytes in UTF-8), U+1680,
// U+2000..U+200A, U+2028, U+2029, U+202F, U+205F and U+3000 (three bytes).
constexpr std::size_t white_space_length(std::string_view text) noexcept {
  if (text.empty()) return 0;
  const unsigned char b0 = byte_at(text, 0);
  if (b0 < 0x80) return is_ascii_white_space(static_cast<char>(b0)) ? 1 : 0;
  if (text.size() < 2) return 0;
  const unsigned char b1 = byte_at(text, 1);
  if (b0 == 0xC2) return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;
  if (text.size() < 3 || b0 < 0xE1 || b0 > 0xE3) return 0;
  const unsigned char b2 = byte_at(text, 2);
  const bool three_byte = (b0 == 0xE1 && b1 == 0x9A && b2 == 0x80) ||
                          (b0 == 0xE2 && b1 == 0x80 && ((b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 ||
                                                        b2 == 0xA9 || b2 == 0xAF)) ||
                          (b0 == 0xE2 && b1 == 0x81 && b2 == 0x9F) ||
                          (b0 == 0xE3 && b1 == 0x80 && b2 == 0x80);
  return three_byte ? 3 : 0;
}

// Length of the White_Space character that `text` ends with, or 0. In UTF-8 a
// lead byte never passes for a continuation byte, so a matching tail is always
// a whole character.
constexpr std::size_t trailing_white_space_length(std::string_view text) noexcept {
  const std::size_t n = text.size();
  if (n == 0) return 0;
  if (byte_at(text, n - 1) < 0x80) return is_ascii_white_space(text[n - 1]) ? 1 : 0;
  if (n >= 2 && white_space_length(slice(text, n - 2)) == 2) return 2;
  if (n >= 3 && white_space_length(slice(text, n - 3)) == 3) return 3;
  return 0;
}

// `text` without the Unicode White_Space at either end.
constexpr std::string_view trim(std::string_view text) noexcept {
  while (const std::size_t n = white_space_length(text)) text.remove_prefix(n);
  while (const std::size_t n = trailing_white_space_length(text)) text.remove_suffix(n);
  return text;
}

// Only A to Z fold: relation types and the "jumbf=" prefix are ASCII tokens.
constexpr char ascii_lower(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `text` equals the lower-case ASCII `lower` after folding A to Z.
constexpr bool equals_ascii_folded(std::string_view text, std::string_view lower) noexcept {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (ascii_lower(text[i]) != lower[i]) return false;
  }
  return true;
}

}  // namespace provlink
