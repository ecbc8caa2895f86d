#pragma once

// Scans of long text a block at a time. Each is written once over a block
// type (block.hpp), so that the fuzzers can check the vector block of a build
// against the plain one, and each has a plain statement of what it finds in
// its comment.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "block.hpp"
#include "text.hpp"

namespace provlink {

// The position of the first byte at or after `from` that is one of `Needles`,
// or text.size().
template <class Block, char... Needles>
  requires(sizeof...(Needles) > 0)
std::size_t find_byte_in_blocks(std::string_view text, std::size_t from) noexcept {
  const auto needles_at = [&text](std::size_t at) {
    const Block block = Block::load(text.data() + at);
    return (block.eq(Needles) | ...).mask();
  };
  const auto is_needle = [](char c) { return ((c == Needles) || ...); };
  const std::size_t n = text.size();
  std::size_t i = from;
  // Dense text, where the next byte is often a needle, is spared a block.
  if (i < n && is_needle(text[i])) return i;
  for (; i + 16 <= n; i += 16) {
    if (const std::uint32_t hits = needles_at(i)) return i + static_cast<std::size_t>(std::countr_zero(hits));
  }
  if (i >= n) return n;
  if (n >= 16) {
    // The last sixteen bytes, less those before `i`, which were looked at.
    const std::size_t at = n - 16;
    const std::uint32_t hits = needles_at(at) >> (i - at);
    return hits != 0 ? i + static_cast<std::size_t>(std::countr_zero(hits)) : n;
  }
  for (; i < n; ++i) {
    if (is_needle(text[i])) return i;
  }
  return n;
}

template <char... Needles>
std::size_t find_byte(std::string_view text, std::size_t from) noexcept {
  return find_byte_in_blocks<Block16, Needles...>(text, from);
}

// The position of the last byte before `to` and at or after `from` that is
// one of `Needles`, or std::string_view::npos.
template <class Block, char... Needles>
  requires(sizeof...(Needles) > 0)
std::size_t find_last_byte_in_blocks(std::string_view text, std::size_t from, std::size_t to) noexcept {
  std::size_t i = to;
  for (; i >= from + 16; i -= 16) {
    const Block block = Block::load(text.data() + i - 16);
    if (const std::uint32_t hits = (block.eq(Needles) | ...).mask()) {
      return i - 16 + static_cast<std::size_t>(31 - std::countl_zero(hits));
    }
  }
  while (i-- > from) {
    if (((text[i] == Needles) || ...)) return i;
  }
  return std::string_view::npos;
}

template <char... Needles>
std::size_t find_last_byte(std::string_view text, std::size_t from, std::size_t to) noexcept {
  return find_last_byte_in_blocks<Block16, Needles...>(text, from, to);
}

// Whether `text` is "c2pa-manifest" with A to Z folded, as
// equals_ascii_folded tells, compared eight bytes at a time: ORing 0x20 into a
// letter folds it, and only the letters' bytes get it, so "2" and "-" must
// match exactly.
inline bool is_manifest_word(std::string_view text) noexcept {
  static constexpr char word[] = "c2pa-manifest";
  static constexpr char letters[] = "\x20\x00\x20\x20\x00\x20\x20\x20\x20\x20\x20\x20\x20";
  static_assert(sizeof word == 14 && sizeof letters == 14);
  if (text.size() != 13) return false;
  const auto folded_equal = [&text](std::size_t at) {
    std::uint64_t bytes = 0;
    std::uint64_t fold = 0;
    std::uint64_t expected = 0;
    std::memcpy(&bytes, text.data() + at, 8);
    std::memcpy(&fold, letters + at, 8);
    std::memcpy(&expected, word + at, 8);
    return (bytes | fold) == expected;
  };
  return folded_equal(0) && folded_equal(5);
}

// Whether "c2pa-manifest", A to Z folded, starts at `at`.
inline bool manifest_word_at(std::string_view text, std::size_t at) noexcept {
  return text.size() - at >= 13 && is_manifest_word(slice(text, at, at + 13));
}

// The position of the first backslash, or of the first "c2pa-manifest" with
// A to Z folded, at or after `from`; text.size() when there is neither.
// Digit and hyphen have no case, so a block finds the word's candidates as
// the places with "2" one byte on and "-" four bytes on, and each candidate
// is then compared whole.
template <class Block>
std::size_t find_word_or_backslash_in_blocks(std::string_view text, std::size_t from) noexcept {
  const std::size_t n = text.size();
  const auto events_in = [&text](std::size_t at) {
    const char* p = text.data() + at;
    return Block::load(p).eq('\\') | (Block::load(p + 1).eq('2') & Block::load(p + 4).eq('-'));
  };
  const auto events_at = [&events_in](std::size_t at) { return events_in(at).mask(); };
  // The first event among those marked in `events` (bit k: at `at + k`).
  const auto first_of = [&text](std::size_t at, std::uint64_t events) {
    for (; events != 0; events &= events - 1) {
      const std::size_t i = at + static_cast<std::size_t>(std::countr_zero(events));
      if (text[i] == '\\' || manifest_word_at(text, i)) return i;
    }
    return text.size();
  };
  std::size_t i = from;
  // Blocks while the loads at +4 stay inside the text: four a round, then one.
  for (; i + 68 <= n; i += 64) {
    const Block blocks[4] = {events_in(i), events_in(i + 16), events_in(i + 32), events_in(i + 48)};
    // Most rounds have no event: one test for all four blocks.
    if ((blocks[0] | blocks[1] | blocks[2] | blocks[3]).mask() == 0) continue;
    std::uint64_t events = 0;
    for (std::size_t k = 0; k < 4; ++k) events |= std::uint64_t{blocks[k].mask()} << (16 * k);
    if (const std::size_t found = first_of(i, events); found < n) return found;
  }
  for (; i + 20 <= n; i += 16) {
    if (const std::size_t found = first_of(i, events_at(i)); found < n) return found;
  }
  if (i < n && n >= 20) {
    // The last block that fits, less what was looked at, then the last four
    // bytes, where only a backslash can stand.
    const std::size_t at = n - 20;
    if (const std::size_t found = first_of(i, events_at(at) >> (i - at)); found < n) return found;
    i = std::max(i, n - 4);
  }
  for (; i < n; ++i) {
    if (text[i] == '\\' || manifest_word_at(text, i)) return i;
  }
  return n;
}

inline std::size_t find_word_or_backslash(std::string_view text, std::size_t from) noexcept {
  return find_word_or_backslash_in_blocks<Block16>(text, from);
}

// The position of the first byte at or after `from` that is not printable
// ASCII (0x21 to 0x7E) or is one of `Excluded`, or text.size().
template <class Block, char... Excluded>
std::size_t printable_run_end_in_blocks(std::string_view text, std::size_t from) noexcept {
  const std::size_t n = text.size();
  std::size_t i = from;
  for (; i + 16 <= n; i += 16) {
    const Block block = Block::load(text.data() + i);
    const Block excluded = (block.eq(0x7F) | ... | block.eq(Excluded));
    // Read as signed, bytes from 0x80 on are negative, so not above 0x20.
    const std::uint32_t printable = block.gt(0x20).mask() & ~excluded.mask();
    if (printable != 0xFFFF) return i + static_cast<std::size_t>(std::countr_one(printable));
  }
  const auto is_printable = [](char c) {
    return static_cast<signed char>(c) > 0x20 && c != 0x7F && ((c != Excluded) && ...);
  };
  while (i < n && is_printable(text[i])) ++i;
  return i;
}

template <char... Excluded>
std::size_t printable_run_end(std::string_view text, std::size_t from) noexcept {
  return printable_run_end_in_blocks<Block16, Excluded...>(text, from);
}

// The length of the longest prefix of `text` made of is_uri_literal bytes.
template <class Block>
std::size_t literal_prefix_in_blocks(std::string_view text) noexcept {
  return printable_run_end_in_blocks<Block, '"', '<', '>', '\\', '^', '`', '{', '|', '}'>(text, 0);
}

inline std::size_t literal_prefix(std::string_view text) noexcept { return literal_prefix_in_blocks<Block16>(text); }

// Whether an odd number of double quotes stand in text[from, to). The
// quote bits of all blocks are XORed, and only the parity of that is counted.
template <class Block>
bool odd_quotes_in_blocks(std::string_view text, std::size_t from, std::size_t to) noexcept {
  std::uint32_t parity = 0;
  std::size_t i = from;
  for (; i + 16 <= to; i += 16) parity ^= Block::load(text.data() + i).eq('"').mask();
  for (; i < to; ++i) parity ^= text[i] == '"' ? 1 : 0;
  return std::popcount(parity) % 2 != 0;
}

inline bool odd_quotes(std::string_view text, std::size_t from, std::size_t to) noexcept {
  return odd_quotes_in_blocks<Block16>(text, from, to);
}

}  // namespace provlink
