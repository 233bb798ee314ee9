// The counting pass's scanner (formats/sample_lines.hpp), for any way of sorting
// a block's bytes into classes. Each file that compiles it for an instruction
// set of its own includes this header after its standard headers, so that
// every copy lives in that file's own anonymous namespace.
//
// The file is looked at 64 bytes at a time, each byte class a 64-bit mask
// (bit i for byte i), so that a line of any length costs a few operations
// per block instead of a few per byte: the counting pass reads the whole
// file, and must stay cheap beside the values pass.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/byte_reader.hpp"
#include "formats/sample_lines.hpp"

namespace som {

// The scan with the AVX2 classifier (formats/sample_lines_avx2.cpp); only on a
// processor that has AVX2.
sample_lines scan_sample_lines_avx2(byte_reader& reader, std::uint32_t dimension);

namespace {

constexpr std::size_t block_size = 64;

struct block_classes {
  std::uint64_t digit = 0;             // 0-9
  std::uint64_t point = 0;             // .
  std::uint64_t sign_or_exponent = 0;  // + - e E
  std::uint64_t boundary = 0;          // white space (common/byte_reader.hpp), LF included
  std::uint64_t newline = 0;           // LF
};

// Signs and exponent markers apart, asked for only in the blocks that hold
// one or follow one: most data has neither in most blocks.
struct sign_classes {
  std::uint64_t sign = 0;      // + -
  std::uint64_t exponent = 0;  // e E
};

// The bits of `x` moved one (or two) bytes on, with the last bits of the
// block before shifted in: bit i then says what byte i - 1 (i - 2) is.
inline std::uint64_t before(std::uint64_t x, std::uint64_t previous) {
  return (x << 1) | (previous >> 63);
}
inline std::uint64_t two_before(std::uint64_t x, std::uint64_t previous) {
  return (x << 2) | (previous >> 62);
}

// runs + marks + carry, where `marks` lies within `runs` (here the words):
// in each run, the bits from its first mark on come out as `marks` (so 0 at
// the first mark), the bits before it as 1. The carry goes out of the block
// exactly when it ends in a run that has had a mark, and coming in, counts
// as a mark before bit 0.
inline std::uint64_t segmented_sum(std::uint64_t runs, std::uint64_t marks,
                                   std::uint64_t& carry) {
  const std::uint64_t sum = runs + marks;
  const std::uint64_t total = sum + carry;
  carry = static_cast<std::uint64_t>(sum < runs) | static_cast<std::uint64_t>(total < sum);
  return total;
}

// Without a popcount instruction in the instruction sets we may assume,
// std::popcount is a library call.
inline std::uint64_t count_bits(std::uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555u);
  x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return (x * 0x0101010101010101u) >> 56;
}

// Whether a line whose first word begins with these bytes begins with a
// number: a digit, or a point and a digit, after an optional sign.
inline bool is_number_head(const char (&head)[3]) {
  const int i = head[0] == '+' || head[0] == '-' ? 1 : 0;
  if (is_digit(head[i])) return true;
  return head[i] == '.' && is_digit(head[i + 1]);
}

template <typename Classifier>
class line_scanner {
 public:
  explicit line_scanner(std::uint32_t dimension) : dimension_(dimension) {}

  // Scans `blocks` blocks of 64 bytes, the state of the block before held in
  // locals.
  void scan(const char* bytes, std::size_t blocks) {
    last_bits previous = previous_;
    std::uint64_t point_carry = point_carry_;
    std::uint64_t exponent_carry = exponent_carry_;
    for (const char* end = bytes + blocks * block_size; bytes != end; bytes += block_size) {
      const block_classes c = Classifier::classify(bytes);
      const std::uint64_t token = ~c.boundary;
      const std::uint64_t after_point = before(c.point, previous.point);
      const std::uint64_t word_start = token & ~before(token, previous.token);

      // Bits that break a word's notation, [sign] digits [. digits] [e
      // [sign] digits] with a digit before the exponent, each at the byte
      // where the break shows: a byte that is none of these;
      std::uint64_t broken = token & ~(c.digit | c.point | c.sign_or_exponent);
      // a point without a digit on either side ("5." and ".5", not "." or
      // "-.");
      broken |= after_point & ~c.digit & ~two_before(c.digit, previous.digit);
      // a second point in a word;
      broken |= segmented_sum(token, c.point, point_carry) & c.point;
      sign_classes s;
      // (Without a marker in the block or just before it, and without one
      // earlier in the word that goes on here, these rules find nothing and
      // the exponent carry stays 0.)
      if ((c.sign_or_exponent | (previous.sign_or_exponent >> 63) | exponent_carry) != 0) {
        s = Classifier::classify_signs(bytes);
        const std::uint64_t after_digit = before(c.digit, previous.digit);
        const std::uint64_t after_sign = before(s.sign, previous.sign);
        const std::uint64_t after_exponent = before(s.exponent, previous.exponent);
        // a sign only at the word's start or right after the exponent marker;
        broken |= s.sign & ~(before(c.boundary, previous.boundary) | after_exponent);
        // a digit or point after a sign;
        broken |= after_sign & ~(c.digit | c.point);
        // the exponent marker only after a digit or point, and a digit or
        // sign after it;
        broken |= s.exponent & ~(after_digit | after_point);
        broken |= after_exponent & ~(c.digit | s.sign);
        // one exponent marker in a word, and no point after it.
        const std::uint64_t exponents_on = segmented_sum(token, s.exponent, exponent_carry);
        broken |= (exponents_on & s.exponent) | (c.point & ~exponents_on);
      }
      previous = {c.digit, c.point, c.sign_or_exponent, c.boundary, token, s.sign, s.exponent};

      // The first bytes of a line's first word that began in the block
      // before.
      for (int k = 0; head_missing_ != 0; ++k, --head_missing_) head_[3 - head_missing_] = bytes[k];
      // Each line's share of the block, its line end included.
      std::uint64_t rest = ~std::uint64_t{0};
      for (std::uint64_t ends = c.newline; ends != 0; ends &= ends - 1) {
        const int at = std::countr_zero(ends);
        const std::uint64_t through =
            at == 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << at) - 1;
        take(bytes, rest & through, word_start, broken);
        end_line();
        rest &= ~through;
      }
      take(bytes, rest, word_start, broken);
    }
    previous_ = previous;
    point_carry_ = point_carry;
    exponent_carry_ = exponent_carry;
  }

  sample_lines result() const {
    sample_lines out;
    out.count = count_;
    if (first_misshapen_ != 0 && first_misshapen_ <= last_sample_)
      out.misshapen_line = first_misshapen_;
    // Text without a single sample (a table in another format) is refused
    // at its first line that is not blank, rather than trained on as no
    // samples.
    if (last_sample_ == 0) out.misshapen_line = first_text_;
    return out;
  }

 private:
  void take(const char* bytes, std::uint64_t part, std::uint64_t word_start,
            std::uint64_t broken) {
    broken_ |= (broken & part) != 0;
    const std::uint64_t starts = word_start & part;
    if (starts == 0) return;
    if (words_ == 0) {
      const int at = std::countr_zero(starts);
      const int here = at + 3 <= static_cast<int>(block_size) ? 3 : static_cast<int>(block_size) - at;
      for (int k = 0; k < here; ++k) head_[k] = bytes[at + k];
      head_missing_ = 3 - here;
    }
    words_ += count_bits(starts);
  }

  void end_line() {
    ++line_;
    // A head that the next block would have finished: its missing bytes lie
    // past the line end, which stops the head before them.
    head_missing_ = 0;
    if (words_ != 0 && first_text_ == 0) first_text_ = line_;
    if (words_ != 0 && is_number_head(head_)) {
      ++count_;
      last_sample_ = line_;
    }
    if (first_misshapen_ == 0 && (broken_ || (words_ != 0 && words_ != dimension_)))
      first_misshapen_ = line_;
    words_ = 0;
    broken_ = false;
  }

  struct last_bits {
    std::uint64_t digit = 0, point = 0, sign_or_exponent = 0;
    std::uint64_t boundary = ~std::uint64_t{0};  // the file begins as after a line end
    std::uint64_t token = 0, sign = 0, exponent = 0;
  };

  std::uint64_t dimension_;
  last_bits previous_;
  std::uint64_t point_carry_ = 0, exponent_carry_ = 0;
  // The line being read: its words so far, whether one is broken, and the
  // first bytes of its first word (head_missing_ of them still to come).
  std::uint64_t words_ = 0;
  bool broken_ = false;
  char head_[3] = {' ', ' ', ' '};
  int head_missing_ = 0;
  // The lines so far.
  std::uint64_t line_ = 0;
  std::uint32_t count_ = 0;
  std::uint64_t last_sample_ = 0;
  std::uint64_t first_misshapen_ = 0;
  std::uint64_t first_text_ = 0;  // the first line that is not blank
};

// The whole input through one classifier.
template <typename Classifier>
sample_lines scan_with(byte_reader& reader, std::uint32_t dimension) {
  line_scanner<Classifier> scanner(dimension);
  bool ends_with_line_end = true;  // an empty input lacks no line end
  std::size_t available;
  while ((available = reader.fill(block_size)) >= block_size) {
    const char* bytes = reader.next();
    const std::size_t blocks = available / block_size;
    scanner.scan(bytes, blocks);
    ends_with_line_end = bytes[blocks * block_size - 1] == '\n';
    reader.advance(blocks * block_size);
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
    scanner.scan(last, 1);
  }
  return scanner.result();
}

}  // namespace

}  // namespace som
