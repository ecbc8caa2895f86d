#pragma once

// Sixteen bytes of text at a time: the few byte-wise tests that scanning
// needs, on a block type chosen at compile time. The plain block is the
// statement of what each test means and is always built, so that every
// vector block can be checked against it; a vector block must answer exactly
// as the plain one does.

#include <array>
#include <cstdint>
#include <cstring>

// Every x86-64 processor has SSE2 and every AArch64 one NEON. GCC and Clang
// say so by __SSE2__ and __ARM_NEON; MSVC names only the target, and its
// intrinsics are the same.
#if !defined(PROVLINK_PORTABLE_SCAN) && (defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64))
#include <emmintrin.h>
#define PROVLINK_SCAN_SSE2 1
#elif !defined(PROVLINK_PORTABLE_SCAN) && ((defined(__ARM_NEON) && defined(__aarch64__)) || defined(_M_ARM64))
#include <arm_neon.h>
#define PROVLINK_SCAN_NEON 1
#endif

namespace provlink {

namespace plain {

// Sixteen bytes in an array, tested one at a time. Byte order is the text's
// own, whatever the machine's endianness.
class Block16 {
 public:
  static Block16 load(const char* data) noexcept {
    Block16 block;
    std::memcpy(block.bytes_.data(), data, 16);
    return block;
  }

  // 0xFF where the byte is `c`, 0 elsewhere.
  Block16 eq(char c) const noexcept {
    return map([c](unsigned char b) { return b == static_cast<unsigned char>(c) ? 0xFF : 0; });
  }
  // 0xFF where the byte, read as a signed number, is greater than `c`.
  Block16 gt(signed char c) const noexcept {
    return map([c](unsigned char b) { return static_cast<signed char>(b) > c ? 0xFF : 0; });
  }
  Block16 operator|(const Block16& other) const noexcept { return zip(other, [](auto a, auto b) { return a | b; }); }
  Block16 operator&(const Block16& other) const noexcept { return zip(other, [](auto a, auto b) { return a & b; }); }

  // Bit i holds the top bit of byte i.
  std::uint32_t mask() const noexcept {
    std::uint32_t bits = 0;
    for (int i = 0; i < 16; ++i) bits |= static_cast<std::uint32_t>(bytes_[i] >> 7) << i;
    return bits;
  }

 private:
  template <class F>
  Block16 map(F f) const noexcept {
    Block16 out;
    for (int i = 0; i < 16; ++i) out.bytes_[i] = static_cast<unsigned char>(f(bytes_[i]));
    return out;
  }
  template <class F>
  Block16 zip(const Block16& other, F f) const noexcept {
    Block16 out;
    for (int i = 0; i < 16; ++i) out.bytes_[i] = static_cast<unsigned char>(f(bytes_[i], other.bytes_[i]));
    return out;
  }

  std::array<unsigned char, 16> bytes_{};
};

}  // namespace plain

#if defined(PROVLINK_SCAN_SSE2)

namespace sse2 {

// One SSE2 register.
class Block16 {
 public:
  static Block16 load(const char* data) noexcept {
    return Block16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)));
  }
  Block16 eq(char c) const noexcept { return Block16(_mm_cmpeq_epi8(v_, _mm_set1_epi8(c))); }
  Block16 gt(signed char c) const noexcept { return Block16(_mm_cmpgt_epi8(v_, _mm_set1_epi8(c))); }
  Block16 operator|(const Block16& other) const noexcept { return Block16(_mm_or_si128(v_, other.v_)); }
  Block16 operator&(const Block16& other) const noexcept { return Block16(_mm_and_si128(v_, other.v_)); }
  std::uint32_t mask() const noexcept { return static_cast<std::uint32_t>(_mm_movemask_epi8(v_)); }

 private:
  explicit Block16(__m128i v) noexcept : v_(v) {}
  __m128i v_;
};

}  // namespace sse2

using Block16 = sse2::Block16;

#elif defined(PROVLINK_SCAN_NEON)

namespace neon {

// One NEON register (AArch64).
class Block16 {
 public:
  static Block16 load(const char* data) noexcept { return Block16(vld1q_u8(reinterpret_cast<const std::uint8_t*>(data))); }
  Block16 eq(char c) const noexcept { return Block16(vceqq_u8(v_, vdupq_n_u8(static_cast<std::uint8_t>(c)))); }
  Block16 gt(signed char c) const noexcept {
    return Block16(vcgtq_s8(vreinterpretq_s8_u8(v_), vdupq_n_s8(c)));
  }
  Block16 operator|(const Block16& other) const noexcept { return Block16(vorrq_u8(v_, other.v_)); }
  Block16 operator&(const Block16& other) const noexcept { return Block16(vandq_u8(v_, other.v_)); }

  // NEON has no movemask: each byte keeps the bit of its own position within
  // its half, and the sum of each half's bytes is that half's mask.
  std::uint32_t mask() const noexcept {
    const std::uint8_t weights[16] = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
    const uint8x16_t top_bits = vshrq_n_u8(v_, 7);
    const uint8x16_t bits = vmulq_u8(top_bits, vld1q_u8(weights));
    return static_cast<std::uint32_t>(vaddv_u8(vget_low_u8(bits))) |
           static_cast<std::uint32_t>(vaddv_u8(vget_high_u8(bits))) << 8;
  }

 private:
  explicit Block16(uint8x16_t v) noexcept : v_(v) {}
  uint8x16_t v_;
};

}  // namespace neon

using Block16 = neon::Block16;

#else

using Block16 = plain::Block16;

#endif

}  // namespace provlink
