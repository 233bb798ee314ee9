#include "formats/sample_lines.hpp"

#include <array>
#include <cstdint>

#include "common/targets.hpp"

#ifdef SOM_SSE2_BASELINE
#include <emmintrin.h>
#endif

#include "formats/line_scanner.hpp"

namespace som {

namespace {

enum : std::uint8_t {
  digit_class = 1,
  point_class = 2,
  sign_class = 4,
  exponent_class = 8,
  space_class = 16,
  newline_class = 32,
};

constexpr std::array<std::uint8_t, 256> class_table = [] {
  std::array<std::uint8_t, 256> table{};
  for (int c = '0'; c <= '9'; ++c) table[c] = digit_class;
  table['.'] = point_class;
  table['+'] = table['-'] = sign_class;
  table['e'] = table['E'] = exponent_class;
  for (const char c : {' ', '\t', '\v', '\f', '\r'})
    table[static_cast<unsigned char>(c)] = space_class;
  table['\n'] = newline_class;
  return table;
}();

// Byte by byte: the reference the vector classifiers are tested against.
struct portable_classifier {
  static std::uint64_t mask(const char* bytes, std::uint8_t classes) {
    std::uint64_t m = 0;
    for (unsigned i = 0; i < block_size; ++i) {
      const bool in = (class_table[static_cast<unsigned char>(bytes[i])] & classes) != 0;
      m |= std::uint64_t{in} << i;
    }
    return m;
  }
  static block_classes classify(const char* bytes) {
    return {mask(bytes, digit_class), mask(bytes, point_class),
            mask(bytes, sign_class | exponent_class), mask(bytes, space_class | newline_class),
            mask(bytes, newline_class)};
  }
  static sign_classes classify_signs(const char* bytes) {
    return {mask(bytes, sign_class), mask(bytes, exponent_class)};
  }
};

#ifdef SOM_SSE2_BASELINE
// 16 bytes a step, which every x86-64 processor has.
struct sse2_classifier {
  struct block {
    __m128i q0, q1, q2, q3;
  };
  static __m128i load(const char* bytes) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  }
  static block load_block(const char* bytes) {
    return {load(bytes), load(bytes + 16), load(bytes + 32), load(bytes + 48)};
  }
  static std::uint64_t bits(__m128i x) {
    return static_cast<std::uint16_t>(_mm_movemask_epi8(x));
  }
  // Spelt out: a loop over the four is neither unrolled nor kept in registers.
  template <__m128i (*test)(__m128i)>
  static std::uint64_t mask(const block& b) {
    return bits(test(b.q0)) | bits(test(b.q1)) << 16 | bits(test(b.q2)) << 32 |
           bits(test(b.q3)) << 48;
  }
  // A byte x lies in [low, low + span] when x - low, unsigned, is at most span.
  static __m128i in_range(__m128i x, char low, char span) {
    const __m128i t = _mm_sub_epi8(x, _mm_set1_epi8(low));
    return _mm_cmpeq_epi8(_mm_min_epu8(t, _mm_set1_epi8(span)), t);
  }
  static __m128i is(__m128i x, char c) { return _mm_cmpeq_epi8(x, _mm_set1_epi8(c)); }
  static __m128i signs(__m128i x) { return _mm_or_si128(is(x, '+'), is(x, '-')); }
  static __m128i digits(__m128i x) { return in_range(x, '0', 9); }
  static __m128i points(__m128i x) { return is(x, '.'); }
  static __m128i newlines(__m128i x) { return is(x, '\n'); }
  // \t \n \v \f \r are 9 to 13.
  static __m128i boundaries(__m128i x) { return _mm_or_si128(in_range(x, '\t', 4), is(x, ' ')); }
  // 'E' | 0x20 is 'e', and no other byte but 'e' gives 'e'.
  static __m128i exponents(__m128i x) { return is(_mm_or_si128(x, _mm_set1_epi8(0x20)), 'e'); }

  static __m128i signs_or_exponents(__m128i x) { return _mm_or_si128(signs(x), exponents(x)); }

  static block_classes classify(const char* bytes) {
    const block b = load_block(bytes);
    return {mask<digits>(b), mask<points>(b), mask<signs_or_exponents>(b), mask<boundaries>(b),
            mask<newlines>(b)};
  }
  static sign_classes classify_signs(const char* bytes) {
    const block b = load_block(bytes);
    return {mask<signs>(b), mask<exponents>(b)};
  }
};
#endif

using scan_fn = sample_lines (*)(byte_reader& reader, std::uint32_t dimension);

// The classifiers by target (AVX-512 has none: AVX2's serves there).
constexpr per_target<scan_fn> scanners = [] {
  per_target<scan_fn> by_target{};
#ifdef SOM_X86_TARGETS
  by_target[slot(target_id::avx2)] = &scan_sample_lines_avx2;
#endif
#ifdef SOM_SSE2_BASELINE
  by_target[slot(target_id::sse2)] = &scan_with<sse2_classifier>;
#endif
  by_target[slot(target_id::portable)] = &scan_with<portable_classifier>;
  return by_target;
}();

}  // namespace

sample_lines scan_sample_lines(byte_reader& reader, std::uint32_t dimension,
                               byte_classifier classifier) {
  static const target_id fastest = widest_build(scanners);
  const target_id target = classifier == byte_classifier::fastest    ? fastest
                           : classifier == byte_classifier::baseline ? widest_build(scanners, true)
                                                                     : target_id::portable;
  return scanners[slot(target)](reader, dimension);
}

}  // namespace som
