#include "common/natural_order.hpp"

#include <algorithm>
#include <cstdint>
#include <numeric>

namespace som {

namespace {

// ---- Labels that are numbers.

struct decimal_number {
  bool negative = false;
  std::string_view whole;     // without leading zeros
  std::string_view fraction;  // without trailing zeros
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::size_t digits_from(std::string_view text, std::size_t at) {
  std::size_t end = at;
  while (end < text.size() && is_digit(text[end])) ++end;
  return end;
}

bool as_number(std::string_view text, decimal_number& number) {
  std::size_t at = 0;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
    number.negative = text[at] == '-';
    ++at;
  }
  const std::size_t whole_end = digits_from(text, at);
  std::string_view whole = text.substr(at, whole_end - at);
  std::string_view fraction;
  at = whole_end;
  if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
    const std::size_t fraction_end = digits_from(text, at + 1);
    fraction = text.substr(at + 1, fraction_end - at - 1);
    if (fraction.empty()) return false;
    at = fraction_end;
  }
  if (at != text.size() || (whole.empty() && fraction.empty())) return false;
  while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  number.whole = whole;
  number.fraction = fraction;
  if (whole.empty() && fraction.empty()) number.negative = false;  // -0 is 0
  return true;
}

// Digits without leading zeros, compared as whole numbers.
int compare_whole(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : a.compare(b) > 0 ? 1 : 0;
}

int compare_numbers(const decimal_number& a, const decimal_number& b) {
  if (a.negative != b.negative) return a.negative ? -1 : 1;
  int magnitude = compare_whole(a.whole, b.whole);
  if (magnitude == 0) {
    // Without trailing zeros, fractions compare as strings: .5 > .25, .5 < .51.
    const int c = a.fraction.compare(b.fraction);
    magnitude = c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  return a.negative ? -magnitude : magnitude;
}

// ---- Text.

// The letter a code point is sorted as: 'a' to 'z', or one of Czech's own
// letters č, ř, š, ž (marked '1' to '4'); '.' for none.
// U+00C0 to U+00FF.
constexpr std::string_view latin1_letters =
    "aaaaaaaceeeeiiiidnooooo.ouuuuyts"
    "aaaaaaaceeeeiiiidnooooo.ouuuuyty";
// U+0100 to U+017F.
constexpr std::string_view latin_a_letters =
    "aaaaaacccccc11dddd"
    "eeeeeeeeeegggggggghhhhiiiiiiiiiiiijjkkk"
    "llllllllllnnnnnnnnnoooooooorrrr22ssssss33"
    "ttttttuuuuuuuuuuuuwwyyyzzzz44s";
static_assert(latin1_letters.size() == 64 && latin_a_letters.size() == 128);

// The primary weight of a letter: a b c č d ... h ch i ... r ř s š ... z ž.
constexpr std::string_view alphabet = "abc1defgh_ijklmnopqr2s3tuvwxyz4";
constexpr char ch_letter = '_';

char letter_of(std::uint32_t code) {
  if (code >= 'a' && code <= 'z') return static_cast<char>(code);
  if (code >= 'A' && code <= 'Z') return static_cast<char>(code - 'A' + 'a');
  if (code >= 0xC0 && code <= 0xFF) return latin1_letters[code - 0xC0];
  if (code >= 0x100 && code <= 0x17F) return latin_a_letters[code - 0x100];
  return '.';
}

// One code point of UTF-8 and its length; a byte that does not begin a
// sequence counts as itself (a code point above every letter).
std::uint32_t decode(std::string_view text, std::size_t at, std::size_t& length) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  length = 1;
  if (lead < 0x80) return lead;
  const std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (need == 0 || at + need > text.size()) return 0x110000u + lead;
  std::uint32_t code = lead & (0x7Fu >> need);
  for (std::size_t i = 1; i < need; ++i) {
    if ((byte(at + i) & 0xC0u) != 0x80u) return 0x110000u + lead;
    code = (code << 6) | (byte(at + i) & 0x3Fu);
  }
  length = need;
  return code;
}

// An element of the primary comparison: blanks and punctuation, a run of
// digits, a letter, anything else; in that order.
struct element {
  enum kind_type { mark, number, letter, other } kind = mark;
  std::uint32_t weight = 0;  // mark, letter, other
  std::string_view digits;   // number: without leading zeros
};

struct elements {
  std::string_view text;
  std::size_t at = 0;
  bool next(element& e) {
    if (at >= text.size()) return false;
    if (is_digit(text[at])) {
      const std::size_t end = digits_from(text, at);
      std::string_view run = text.substr(at, end - at);
      while (run.size() > 1 && run.front() == '0') run.remove_prefix(1);
      e = {element::number, 0, run == "0" ? std::string_view() : run};
      at = end;
      return true;
    }
    std::size_t length = 0;
    const std::uint32_t code = decode(text, at, length);
    at += length;
    const char l = letter_of(code);
    if (l == 'c' && at < text.size() && (text[at] == 'h' || text[at] == 'H')) {
      ++at;
      e = {element::letter, static_cast<std::uint32_t>(alphabet.find(ch_letter)), {}};
    } else if (l != '.') {
      e = {element::letter, static_cast<std::uint32_t>(alphabet.find(l)), {}};
    } else if (code < 0x80) {
      e = {element::mark, code, {}};
    } else {
      e = {element::other, code, {}};
    }
    return true;
  }
};

int compare_elements(const element& a, const element& b) {
  if (a.kind != b.kind) return a.kind < b.kind ? -1 : 1;
  if (a.kind == element::number) return compare_whole(a.digits, b.digits);
  return a.weight < b.weight ? -1 : a.weight > b.weight ? 1 : 0;
}

int compare_text(std::string_view a, std::string_view b) {
  elements ea{a}, eb{b};
  element x, y;
  for (;;) {
    const bool more_a = ea.next(x), more_b = eb.next(y);
    if (!more_a || !more_b) return more_a == more_b ? 0 : more_a ? 1 : -1;
    if (const int c = compare_elements(x, y); c != 0) return c;
  }
}

}  // namespace

bool natural_less(std::string_view a, std::string_view b) {
  decimal_number na, nb;
  const bool number_a = as_number(a, na), number_b = as_number(b, nb);
  int c = 0;
  if (number_a != number_b) {
    c = number_a ? -1 : 1;
  } else {
    c = number_a ? compare_numbers(na, nb) : compare_text(a, b);
  }
  return c != 0 ? c < 0 : a < b;
}

std::vector<std::size_t> natural_order(const std::vector<std::string>& names) {
  std::vector<std::size_t> order(names.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [&](std::size_t x, std::size_t y) { return natural_less(names[x], names[y]); });
  return order;
}

}  // namespace som
