// Fuzz harness of the two passes over data.txt: the first input byte picks
// the dimension (0 to 4), the rest is the text of data.txt. The counting pass gives N, the
// loading pass reads N × dimension values. Checked:
// - every value read is bit for bit what strtod (C locale, which the program
//   never changes) makes of the same token, and the token is exactly what
//   strtod reads (hexadecimal, "inf" and "nan" aside, which are not numbers);
// - the reading stops at the first value that cannot be read, and says so;
// - the number scanner gives the same answer whether it sees the whole text or
//   asks for more at any earlier end;
// - when every line holds exactly `dimension` numbers and nothing else, the
//   count is the number of lines and the counting pass finds no misshapen
//   line; and whenever it finds none, no value is missing.
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/decimal.hpp"
#include "formats/sample_data.hpp"
#include "fuzz_support.hpp"

namespace {

using som_fuzz::check;

bool digit_at(std::string_view text, std::size_t i) {
  return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

// Length of the number at `pos` by the grammar: sign, digits with an optional
// point and fraction (one digit at least), an exponent only with digits.
std::size_t reference_scan(std::string_view text, std::size_t pos) {
  std::size_t i = pos;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  for (; digit_at(text, i); ++i) ++digits;
  if (i < text.size() && text[i] == '.') {
    for (++i; digit_at(text, i); ++i) ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (digit_at(text, j)) {
      while (digit_at(text, j)) ++j;
      i = j;
    }
  }
  return i - pos;
}

// Compares the grammar with strtod where strtod reads decimal notation.
void check_against_strtod(std::string_view text, std::size_t pos, std::size_t length) {
  std::size_t i = pos;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i >= text.size()) return;
  const char c = text[i];
  const bool decimal = (c >= '0' && c <= '9') || c == '.';
  const bool hexadecimal =
      c == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X');
  if (!decimal || hexadecimal) return;
  const std::string rest(text.substr(pos, length + 8));  // NUL-terminated copy
  char* stop = nullptr;
  std::strtod(rest.c_str(), &stop);
  const std::size_t strtod_length = static_cast<std::size_t>(stop - rest.c_str());
  check(strtod_length == length || (length == 0 && strtod_length == 0),
        "token is what strtod reads",
        "\"" + som_fuzz::show(rest) + "\": grammar " + std::to_string(length) + ", strtod " +
            std::to_string(strtod_length));
}

// scan_decimal on the whole rest and on every shorter view that may go on.
void check_scanner(std::string_view text, std::size_t pos, std::size_t expected) {
  const char* first = text.data() + pos;
  const std::ptrdiff_t full = som::scan_decimal(first, text.data() + text.size(), true);
  check(full == static_cast<std::ptrdiff_t>(expected), "scan_decimal on the whole text",
        "\"" + som_fuzz::show(text.substr(pos, 80)) + "\": " + std::to_string(full) + " for " +
            std::to_string(expected));
  const std::size_t limit = expected + 4 < text.size() - pos ? expected + 4 : text.size() - pos;
  for (std::size_t k = 0; k <= limit; ++k) {
    const std::ptrdiff_t part = som::scan_decimal(first, first + k, false);
    check(part == -1 || part == full, "scan_decimal asks for more or decides as with all text",
          "\"" + som_fuzz::show(text.substr(pos, k)) + "\": " + std::to_string(part) + " for " +
              std::to_string(full));
  }
}

// True when every line holds exactly `dimension` numbers and nothing else
// but white space; `lines` gets their number.
bool well_formed(std::string_view text, std::uint32_t dimension, std::uint32_t& lines) {
  if (dimension == 0 || text.find('\0') != std::string_view::npos) return false;
  lines = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    std::uint32_t numbers = 0;
    std::size_t i = 0;
    while (true) {
      while (i < line.size() && som_fuzz::reference_space(line[i])) ++i;
      if (i == line.size()) break;
      const std::size_t length = reference_scan(line, i);
      if (length == 0) return false;
      i += length;
      if (i < line.size() && !som_fuzz::reference_space(line[i])) return false;
      ++numbers;
    }
    if (numbers != dimension) return false;
    ++lines;
    pos = end + 1;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint32_t dimension = data[0] % 5u;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  som::byte_reader count_reader(text);
  const som::sample_lines scanned = som::scan_sample_lines(count_reader, dimension);
  const std::uint32_t count = scanned.count;
  // Bounded so that a file of many short lines stays cheap to load.
  if (std::uint64_t{count} * dimension > 100000) return 0;
  som::owned_samples samples_memory = som::alloc_sample_matrix(dimension, count);
  som::sample_matrix& samples = *samples_memory;
  som::byte_reader values_reader(text);
  const bool read_all = som::read_sample_values(values_reader, samples);

  // The reference reading of the same stream of values.
  std::size_t pos = 0;
  std::uint32_t missing = 0;
  for (std::uint32_t i = 0; i < count && missing == 0; ++i) {
    for (std::uint32_t j = 0; j < dimension && missing == 0; ++j) {
      while (pos < text.size() && som_fuzz::reference_space(text[pos])) ++pos;
      const std::size_t length = reference_scan(text, pos);
      check_against_strtod(text, pos, length);
      if (length == 0) {
        ++missing;
        break;
      }
      const std::string token(text.substr(pos, length));
      const double expected = std::strtod(token.c_str(), nullptr);
      pos += length;
      const double got = samples.row(i)[j];
      check(std::bit_cast<std::uint64_t>(got) == std::bit_cast<std::uint64_t>(expected),
            "value equals strtod's",
            "sample " + std::to_string(i) + " component " + std::to_string(j) + ": " +
                std::to_string(got) + " for " + std::to_string(expected));
    }
  }
  check(read_all == (missing == 0), "the reading says whether every value was read");

  // Every word of the file, read or not: the scanner, the grammar and the
  // conversion against strtod.
  std::size_t word = 0;
  for (int words = 0; words < 256; ++words) {
    while (word < text.size() && som_fuzz::reference_space(text[word])) ++word;
    if (word == text.size()) break;
    const std::size_t length = reference_scan(text, word);
    check_scanner(text, word, length);
    check_against_strtod(text, word, length);
    if (length != 0) {
      const std::string token(text.substr(word, length));
      const double expected = std::strtod(token.c_str(), nullptr);
      const double got = som::convert_decimal(token.data(), token.size());
      check(std::bit_cast<std::uint64_t>(got) == std::bit_cast<std::uint64_t>(expected),
            "convert_decimal equals strtod", "\"" + som_fuzz::show(token) + "\"");
    }
    while (word < text.size() && !som_fuzz::reference_space(text[word])) ++word;
  }

  std::uint32_t lines = 0;
  if (well_formed(text, dimension, lines)) {
    check(count == lines, "count equals the lines of a well-formed file",
          std::to_string(count) + " for " + std::to_string(lines) + " lines in \"" +
              som_fuzz::show(text.substr(0, 2000)) + "\"");
    check(scanned.misshapen_line == 0, "a well-formed file has no misshapen line");
  }
  if (scanned.misshapen_line == 0)
    check(missing == 0, "a file the counting pass accepts loads without missing values",
          "\"" + som_fuzz::show(text.substr(0, 2000)) + "\"");
  return 0;
}
