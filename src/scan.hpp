#pragma once

// Scans of text a block of sixteen bytes at a time. Each is written once over
// a block type (block.hpp), so that the fuzzers can check the vector block of
// a build against the plain one, and says in its comment what it finds. A
// scan that finds nothing returns npos, as std::string_view::find does.

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "block.hpp"
#include "check.hpp"
#include "text.hpp"

namespace provlink {

inline constexpr std::size_t npos = std::string_view::npos;
inline constexpr std::size_t kBlockSize = 16;

// The first position at or after `from` that holds one of `Needles`, or npos.
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
  for (; i + kBlockSize <= n; i += kBlockSize) {
    if (const std::uint32_t hits = needles_at(i)) return i + static_cast<std::size_t>(std::countr_zero(hits));
  }
  if (i >= n) return npos;
  if (n >= kBlockSize) {
    // The last block of the text. Its bits for the positions before `i`,
    // looked at already, are shifted out, so that bit k stands for i + k.
    const std::size_t at = n - kBlockSize;
    const std::uint32_t hits = needles_at(at) >> (i - at);
    return hits != 0 ? i + static_cast<std::size_t>(std::countr_zero(hits)) : npos;
  }
  for (; i < n; ++i) {
    if (is_needle(text[i])) return i;
  }
  return npos;
}

template <char... Needles>
std::size_t find_byte(std::string_view text, std::size_t from) noexcept {
  return find_byte_in_blocks<Block16, Needles...>(text, from);
}

// The last position before `to` and at or after `from` that holds one of
// `Needles`, or npos.
template <class Block, char... Needles>
  requires(sizeof...(Needles) > 0)
std::size_t find_last_byte_in_blocks(std::string_view text, std::size_t from, std::size_t to) noexcept {
  PROVLINK_ASSERT(from <= to && to <= text.size());
  std::size_t i = to;
  for (; i >= from + kBlockSize; i -= kBlockSize) {
    const Block block = Block::load(text.data() + i - kBlockSize);
    if (const std::uint32_t hits = (block.eq(Needles) | ...).mask()) {
      return i - kBlockSize + static_cast<std::size_t>(std::bit_width(hits) - 1);
    }
  }
  while (i-- > from) {
    if (((text[i] == Needles) || ...)) return i;
  }
  return npos;
}

template <char... Needles>
std::size_t find_last_byte(std::string_view text, std::size_t from, std::size_t to) noexcept {
  return find_last_byte_in_blocks<Block16, Needles...>(text, from, to);
}

// Whether `text` is kManifestRel with A to Z folded, as equals_ascii_folded
// tells, compared eight bytes at a time: ORing 0x20 into an ASCII letter
// folds it, and only the letters' bytes get it, so "2" and "-" must match
// exactly.
inline bool equals_manifest_rel(std::string_view text) noexcept {
  constexpr std::size_t size = kManifestRel.size();
  constexpr std::size_t load = 8;
  static_assert(load < size && size <= 2 * load);
  static constexpr std::array<char, size> fold = [] {
    std::array<char, size> bits{};
    for (std::size_t i = 0; i < size; ++i) bits[i] = kManifestRel[i] >= 'a' && kManifestRel[i] <= 'z' ? 0x20 : 0;
    return bits;
  }();
  if (text.size() != size) return false;
  const auto folded_equal = [&text](std::size_t at) {
    std::uint64_t bytes = 0;
    std::uint64_t bits = 0;
    std::uint64_t expected = 0;
    std::memcpy(&bytes, text.data() + at, load);
    std::memcpy(&bits, fold.data() + at, load);
    std::memcpy(&expected, kManifestRel.data() + at, load);
    return (bytes | bits) == expected;
  };
  // Two loads that overlap cover the thirteen bytes.
  return folded_equal(0) && folded_equal(size - load);
}

// Whether kManifestRel, A to Z folded, starts at `at`.
inline bool manifest_rel_at(std::string_view text, std::size_t at) noexcept {
  return text.size() - at >= kManifestRel.size() && equals_manifest_rel(slice(text, at, at + kManifestRel.size()));
}

// The first position at or after `from` that holds a backslash or starts
// kManifestRel with A to Z folded, or npos.
//
// Digit and hyphen have no case, so a block marks as candidates the
// positions that have the "2" and the "-" of c2pa-manifest at their places
// after them, and each candidate is compared whole. The candidates of a block that starts
// at `at` so look at bytes up to at + 16 + `reach`.
template <class Block>
std::size_t find_manifest_rel_or_backslash_in_blocks(std::string_view text, std::size_t from) noexcept {
  constexpr std::size_t two = kManifestRel.find('2');
  constexpr std::size_t hyphen = kManifestRel.find('-');
  constexpr std::size_t reach = std::max(two, hyphen);
  // Blocks tested together, since most have no event at all.
  constexpr std::size_t round = 4 * kBlockSize;
  const std::size_t n = text.size();
  const auto events_in = [&text](std::size_t at) {
    const char* p = text.data() + at;
    return Block::load(p).eq('\\') | (Block::load(p + two).eq('2') & Block::load(p + hyphen).eq('-'));
  };
  const auto events_at = [&events_in](std::size_t at) { return events_in(at).mask(); };
  // The first event among those marked in `events`, bit k for position at + k.
  const auto first_of = [&text](std::size_t at, std::uint64_t events) {
    for (; events != 0; events &= events - 1) {
      const std::size_t i = at + static_cast<std::size_t>(std::countr_zero(events));
      if (text[i] == '\\' || manifest_rel_at(text, i)) return i;
    }
    return npos;
  };
  std::size_t i = from;
  for (; i + round + reach <= n; i += round) {
    const Block blocks[4] = {events_in(i), events_in(i + kBlockSize), events_in(i + 2 * kBlockSize),
                             events_in(i + 3 * kBlockSize)};
    if ((blocks[0] | blocks[1] | blocks[2] | blocks[3]).mask() == 0) continue;
    std::uint64_t events = 0;
    for (std::size_t k = 0; k < 4; ++k) events |= std::uint64_t{blocks[k].mask()} << (kBlockSize * k);
    if (const std::size_t found = first_of(i, events); found != npos) return found;
  }
  for (; i + kBlockSize + reach <= n; i += kBlockSize) {
    if (const std::size_t found = first_of(i, events_at(i)); found != npos) return found;
  }
  if (i < n && n >= kBlockSize + reach) {
    // The last block whose candidates fit, its bits for the positions before
    // `i` shifted out as in find_byte_in_blocks. In the last `reach`
    // positions after it c2pa-manifest no longer fits: only a backslash can
    // stand there.
    const std::size_t at = n - (kBlockSize + reach);
    if (const std::size_t found = first_of(i, events_at(at) >> (i - at)); found != npos) return found;
    for (i = std::max(i, n - reach); i < n; ++i) {
      if (text[i] == '\\') return i;
    }
    return npos;
  }
  for (; i < n; ++i) {
    if (text[i] == '\\' || manifest_rel_at(text, i)) return i;
  }
  return npos;
}

inline std::size_t find_manifest_rel_or_backslash(std::string_view text, std::size_t from) noexcept {
  return find_manifest_rel_or_backslash_in_blocks<Block16>(text, from);
}

// The visible bytes (0x21 to 0x7E) that `Class`, a class of visible bytes
// only, leaves out: a block finds the members of such a class as the
// visible bytes that are none of these.
template <const ByteClass& Class>
  requires(Class.members_outside(is_visible) == 0)
inline constexpr auto kVisibleLeftOut = [] {
  std::array<char, is_visible.members_outside(Class)> left_out{};
  std::size_t k = 0;
  for (int b = 0; b < 256; ++b) {
    if (is_visible(static_cast<char>(b)) && !Class(static_cast<char>(b))) left_out[k++] = static_cast<char>(b);
  }
  return left_out;
}();

// The first position at or after `from` whose byte is not in `Class`, a class
// of visible bytes only, or text.size().
template <class Block, const ByteClass& Class>
std::size_t class_run_end_in_blocks(std::string_view text, std::size_t from) noexcept {
  PROVLINK_ASSERT(from <= text.size());
  const auto members = [](const Block& block) {
    const auto excluded = [&block]<std::size_t... K>(std::index_sequence<K...>) {
      return (block.eq(0x7F) | ... | block.eq(kVisibleLeftOut<Class>[K]));
    }(std::make_index_sequence<kVisibleLeftOut<Class>.size()>());
    // Read as signed, bytes from 0x80 on are negative, so not above 0x20.
    return block.gt(0x20).mask() & ~excluded.mask();
  };
  const std::size_t n = text.size();
  std::size_t i = from;
  for (; i + kBlockSize <= n; i += kBlockSize) {
    const std::uint32_t in_class = members(Block::load(text.data() + i));
    if (in_class != 0xFFFF) return i + static_cast<std::size_t>(std::countr_one(in_class));
  }
  while (i < n && Class(text[i])) ++i;
  return i;
}

template <const ByteClass& Class>
std::size_t class_run_end(std::string_view text, std::size_t from) noexcept {
  return class_run_end_in_blocks<Block16, Class>(text, from);
}

// The length of the longest prefix of `text` made of is_uri_literal bytes.
template <class Block>
std::size_t literal_prefix_in_blocks(std::string_view text) noexcept {
  return class_run_end_in_blocks<Block, is_uri_literal>(text, 0);
}

inline std::size_t literal_prefix(std::string_view text) noexcept { return literal_prefix_in_blocks<Block16>(text); }

// Whether an odd number of double quotes stand in text[from, to). The quote
// bits of all blocks are XORed, and only the parity of that is counted.
template <class Block>
bool odd_quotes_in_blocks(std::string_view text, std::size_t from, std::size_t to) noexcept {
  PROVLINK_ASSERT(from <= to && to <= text.size());
  std::uint32_t parity = 0;
  std::size_t i = from;
  for (; i + kBlockSize <= to; i += kBlockSize) parity ^= Block::load(text.data() + i).eq('"').mask();
  for (; i < to; ++i) parity ^= text[i] == '"' ? 1 : 0;
  return std::popcount(parity) % 2 != 0;
}

inline bool odd_quotes(std::string_view text, std::size_t from, std::size_t to) noexcept {
  return odd_quotes_in_blocks<Block16>(text, from, to);
}

}  // namespace provlink
