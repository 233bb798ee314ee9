#include "run/sample_lines.hpp"

#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define SOM_SAMPLE_LINES_SSE2 1
#endif

namespace som {

namespace {

// The file is looked at 64 bytes at a time, each byte class a 64-bit mask
// (bit i for byte i), so that a line of any length costs a few operations
// per block instead of a few per byte: the counting pass reads the whole
// file, and must stay cheap beside the values pass.
constexpr std::size_t block_size = 64;

struct block_classes {
  std::uint64_t digit = 0;     // 0-9
  std::uint64_t point = 0;     // .
  std::uint64_t sign = 0;      // + -
  std::uint64_t exponent = 0;  // e E
  std::uint64_t space = 0;     // the white space of common/byte_reader.hpp but LF
  std::uint64_t newline = 0;   // LF
};

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
  for (const char c : {' ', '\t', '\v', '\f', '\r'}) table[static_cast<unsigned char>(c)] = space_class;
  table['\n'] = newline_class;
  return table;
}();

block_classes classify_portable(const char* bytes) {
  block_classes c;
  for (unsigned i = 0; i < block_size; ++i) {
    const std::uint64_t k = class_table[static_cast<unsigned char>(bytes[i])];
    c.digit |= (k & 1) << i;
    c.point |= ((k >> 1) & 1) << i;
    c.sign |= ((k >> 2) & 1) << i;
    c.exponent |= ((k >> 3) & 1) << i;
    c.space |= ((k >> 4) & 1) << i;
    c.newline |= ((k >> 5) & 1) << i;
  }
  return c;
}

#ifdef SOM_SAMPLE_LINES_SSE2
std::uint64_t mask_of(__m128i bytes, unsigned quarter) {
  return std::uint64_t{static_cast<unsigned>(_mm_movemask_epi8(bytes))} << (16 * quarter);
}

// A byte x lies in [low, low + span] when x - low, unsigned, is at most span.
__m128i in_range(__m128i x, char low, char span) {
  const __m128i t = _mm_sub_epi8(x, _mm_set1_epi8(low));
  return _mm_cmpeq_epi8(_mm_min_epu8(t, _mm_set1_epi8(span)), t);
}

block_classes classify_sse2(const char* bytes) {
  block_classes c;
  for (unsigned q = 0; q < 4; ++q) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * q));
    const __m128i newline = _mm_cmpeq_epi8(x, _mm_set1_epi8('\n'));
    // \t \n \v \f \r are 9 to 13.
    const __m128i controls = _mm_andnot_si128(newline, in_range(x, '\t', 4));
    const __m128i blank = _mm_cmpeq_epi8(x, _mm_set1_epi8(' '));
    const __m128i plus = _mm_cmpeq_epi8(x, _mm_set1_epi8('+'));
    const __m128i minus = _mm_cmpeq_epi8(x, _mm_set1_epi8('-'));
    // 'E' | 0x20 is 'e', and no other byte but 'e' gives 'e'.
    const __m128i exponent =
        _mm_cmpeq_epi8(_mm_or_si128(x, _mm_set1_epi8(0x20)), _mm_set1_epi8('e'));
    c.digit |= mask_of(in_range(x, '0', 9), q);
    c.point |= mask_of(_mm_cmpeq_epi8(x, _mm_set1_epi8('.')), q);
    c.sign |= mask_of(_mm_or_si128(plus, minus), q);
    c.exponent |= mask_of(exponent, q);
    c.space |= mask_of(_mm_or_si128(controls, blank), q);
    c.newline |= mask_of(newline, q);
  }
  return c;
}
#endif

// The bits of `x` moved one (or two) bytes on, with the last bits of the
// block before shifted in: bit i then says what byte i - 1 (i - 2) is.
std::uint64_t before(std::uint64_t x, std::uint64_t previous) { return (x << 1) | (previous >> 63); }
std::uint64_t two_before(std::uint64_t x, std::uint64_t previous) {
  return (x << 2) | (previous >> 62);
}

// runs + marks + carry, where `marks` lies within `runs` (the words, or the
// lines): in each run, the bits from its first mark on come out as `marks`
// (so 0 at the first mark), the bits before it as 1. The carry goes out of
// the block exactly when it ends in a run that has had a mark, and coming
// in, counts as a mark before bit 0.
std::uint64_t segmented_sum(std::uint64_t runs, std::uint64_t marks, std::uint64_t& carry) {
  const std::uint64_t sum = runs + marks;
  const std::uint64_t total = sum + carry;
  carry = static_cast<std::uint64_t>(sum < runs) | static_cast<std::uint64_t>(total < sum);
  return total;
}

class line_scanner {
 public:
  explicit line_scanner(std::uint32_t dimension) : dimension_(dimension) {}

  void scan(const block_classes& c) {
    const std::uint64_t boundary = c.space | c.newline;
    const std::uint64_t token = ~boundary;
    const std::uint64_t other = token & ~(c.digit | c.point | c.sign | c.exponent);
    const std::uint64_t after_digit = before(c.digit, previous_.digit);
    const std::uint64_t after_point = before(c.point, previous_.point);
    const std::uint64_t after_sign = before(c.sign, previous_.sign);
    const std::uint64_t after_exponent = before(c.exponent, previous_.exponent);
    const std::uint64_t word_start = token & ~before(token, previous_.token);

    // Bits that break a word's notation, [sign] digits [. digits] [e [sign]
    // digits] with a digit before the exponent, each at the byte where the
    // break shows:
    std::uint64_t broken = other;
    // a sign only at the word's start or right after the exponent marker;
    broken |= c.sign & ~(before(boundary, previous_.boundary) | after_exponent);
    // a digit or point after a sign;
    broken |= after_sign & ~(c.digit | c.point);
    // the exponent marker only after a digit or point;
    broken |= c.exponent & ~(after_digit | after_point);
    // a digit or sign after it;
    broken |= after_exponent & ~(c.digit | c.sign);
    // a point needs a digit on one side ("5." and ".5", not "." or "-.");
    broken |= after_point & ~c.digit & ~two_before(c.digit, previous_.digit);
    // at most one point and one exponent marker in a word, the point first.
    const std::uint64_t points_on = segmented_sum(token, c.point, point_carry_);
    const std::uint64_t exponents_on = segmented_sum(token, c.exponent, exponent_carry_);
    broken |= (points_on & c.point) | (exponents_on & c.exponent) | (c.point & ~exponents_on);

    // Where a line's first word shows that the line begins with a number:
    // a digit first, or after a first sign, point, or sign and point.
    const std::uint64_t sign_start = c.sign & word_start;
    const std::uint64_t point_start = c.point & word_start;
    const std::uint64_t head =
        (word_start & c.digit) |
        (c.digit & (before(point_start, previous_.point_start) |
                    before(sign_start, previous_.sign_start) |
                    (after_point & two_before(sign_start, previous_.sign_start))));
    const std::uint64_t in_line = ~c.newline;
    const std::uint64_t later_words = segmented_sum(in_line, word_start, first_word_carry_) & word_start;
    const std::uint64_t before_second_word = segmented_sum(in_line, later_words, later_word_carry_);
    const std::uint64_t number_head = head & before_second_word & ~later_words;

    // Each line's share of the block, its line end included.
    std::uint64_t rest = ~std::uint64_t{0};
    for (std::uint64_t ends = c.newline; ends != 0; ends &= ends - 1) {
      const int at = std::countr_zero(ends);
      const std::uint64_t through = at == 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << at) - 1;
      take(rest & through, word_start, broken, number_head);
      end_line();
      rest &= ~through;
    }
    take(rest, word_start, broken, number_head);

    previous_ = {c.digit, c.point, c.sign, c.exponent, boundary, token, point_start, sign_start};
  }

  sample_lines result() const {
    sample_lines out;
    out.count = count_;
    if (first_misshapen_ != 0 && first_misshapen_ <= last_sample_) out.misshapen_line = first_misshapen_;
    return out;
  }

 private:
  void take(std::uint64_t part, std::uint64_t word_start, std::uint64_t broken,
            std::uint64_t number_head) {
    words_ += static_cast<std::uint64_t>(std::popcount(word_start & part));
    broken_ |= (broken & part) != 0;
    sample_ |= (number_head & part) != 0;
  }

  void end_line() {
    ++line_;
    if (sample_) {
      ++count_;
      last_sample_ = line_;
    }
    if (first_misshapen_ == 0 && (broken_ || (words_ != 0 && words_ != dimension_)))
      first_misshapen_ = line_;
    words_ = 0;
    broken_ = false;
    sample_ = false;
  }

  struct last_bits {
    std::uint64_t digit = 0, point = 0, sign = 0, exponent = 0;
    std::uint64_t boundary = ~std::uint64_t{0};  // the file begins as after a line end
    std::uint64_t token = 0, point_start = 0, sign_start = 0;
  };

  std::uint64_t dimension_;
  last_bits previous_;
  std::uint64_t point_carry_ = 0, exponent_carry_ = 0;
  std::uint64_t first_word_carry_ = 0, later_word_carry_ = 0;
  // The line being read.
  std::uint64_t words_ = 0;
  bool broken_ = false;
  bool sample_ = false;
  // The lines so far.
  std::uint64_t line_ = 0;
  std::uint32_t count_ = 0;
  std::uint64_t last_sample_ = 0;
  std::uint64_t first_misshapen_ = 0;
};

}  // namespace

sample_lines scan_sample_lines(byte_reader& reader, std::uint32_t dimension,
                               byte_classifier classifier) {
  block_classes (*classify)(const char*) = classify_portable;
#ifdef SOM_SAMPLE_LINES_SSE2
  if (classifier == byte_classifier::fastest) classify = classify_sse2;
#else
  (void)classifier;
#endif
  line_scanner scanner(dimension);
  bool ends_with_line_end = true;  // an empty input lacks no line end
  std::size_t available;
  while ((available = reader.fill(block_size)) >= block_size) {
    const char* bytes = reader.next();
    const std::size_t whole = available / block_size * block_size;
    for (std::size_t at = 0; at != whole; at += block_size) scanner.scan(classify(bytes + at));
    ends_with_line_end = bytes[whole - 1] == '\n';
    reader.advance(whole);
  }
  // The last bytes, with the line end that a last line may lack, and white
  // space after it up to a whole block.
  if (available != 0 || !ends_with_line_end) {
    char last[block_size];
    std::memset(last, ' ', block_size);
    if (available != 0) std::memcpy(last, reader.next(), available);
    reader.advance(available);
    if (available != 0) ends_with_line_end = last[available - 1] == '\n';
    if (!ends_with_line_end) last[available] = '\n';
    scanner.scan(classify(last));
  }
  return scanner.result();
}

}  // namespace som
