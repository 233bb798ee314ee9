// The counting pass's classifier for AVX2: a block is two vectors of 32
// bytes.
#include <immintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/byte_reader.hpp"
#include "common/targets.hpp"
#include "formats/sample_lines.hpp"

#if defined(SOM_X86_TARGETS)

// The scanner too, so that the classifier is inlined into its loop; the
// headers above stay compiled for the baseline. (The order of these two
// includes is the point: clang-format must not sort them.)
// clang-format off
#define SOM_TARGET_FLAGS SOM_TARGET_FLAGS_AVX2
#include "common/target_begin.hpp"
#include "formats/line_scanner.hpp"
// clang-format on

namespace som {

namespace {

struct avx2_classifier {
  struct block {
    __m256i lo, hi;
  };
  static block load(const char* bytes) {
    return {_mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes)),
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + 32))};
  }
  template <__m256i (*test)(__m256i)>
  static std::uint64_t mask(const block& b) {
    return std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(test(b.lo)))} |
           std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(test(b.hi)))} << 32;
  }
  // A byte x lies in [low, low + span] when x - low, unsigned, is at most span.
  static __m256i in_range(__m256i x, char low, char span) {
    const __m256i t = _mm256_sub_epi8(x, _mm256_set1_epi8(low));
    return _mm256_cmpeq_epi8(_mm256_min_epu8(t, _mm256_set1_epi8(span)), t);
  }
  static __m256i is(__m256i x, char c) { return _mm256_cmpeq_epi8(x, _mm256_set1_epi8(c)); }
  static __m256i signs(__m256i x) { return _mm256_or_si256(is(x, '+'), is(x, '-')); }
  static __m256i digits(__m256i x) { return in_range(x, '0', 9); }
  static __m256i points(__m256i x) { return is(x, '.'); }
  static __m256i newlines(__m256i x) { return is(x, '\n'); }
  // \t \n \v \f \r are 9 to 13.
  static __m256i boundaries(__m256i x) { return _mm256_or_si256(in_range(x, '\t', 4), is(x, ' ')); }
  // 'E' | 0x20 is 'e', and no other byte but 'e' gives 'e'.
  static __m256i exponents(__m256i x) {
    return is(_mm256_or_si256(x, _mm256_set1_epi8(0x20)), 'e');
  }

  static __m256i signs_or_exponents(__m256i x) { return _mm256_or_si256(signs(x), exponents(x)); }

  static block_classes classify(const char* bytes) {
    const block b = load(bytes);
    return {mask<digits>(b), mask<points>(b), mask<signs_or_exponents>(b), mask<boundaries>(b),
            mask<newlines>(b)};
  }
  static sign_classes classify_signs(const char* bytes) {
    const block b = load(bytes);
    return {mask<signs>(b), mask<exponents>(b)};
  }
};

}  // namespace

sample_lines scan_sample_lines_avx2(byte_reader& reader, std::uint32_t dimension) {
  return scan_with<avx2_classifier>(reader, dimension);
}

}  // namespace som

#include "common/target_end.hpp"

#else

#include "formats/line_scanner.hpp"

namespace som {
// Never called: the AVX2 build is listed only where SOM_X86_TARGETS is set.
sample_lines scan_sample_lines_avx2(byte_reader& reader, std::uint32_t dimension) {
  return scan_sample_lines(reader, dimension, byte_classifier::baseline);
}
}  // namespace som

#endif
