// Fuzz harness of the counting pass over data.txt: the first input byte picks
// the dimension (0 to 5) and the size of the reads, the rest is the text. The
// count and the first misshapen line must equal a reference made line by line
// the way a text-mode read sees the file: CR LF read as one newline, a line
// counted when a number starts it after white space (the line seen up to its
// first NUL), a line of the right shape when it is blank or holds exactly
// `dimension` words, each a whole number by the grammar; without any sample,
// the first line that is not blank is the misshapen one. Every byte
// classifier, and the text whole or in small reads, must agree. The pass as
// the programs make it refuses a text in UTF-16 and reads one with a UTF-8
// byte order mark as the text after the mark.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/messages.hpp"
#include "formats/sample_data.hpp"
#include "formats/sample_lines.hpp"
#include "fuzz_support.hpp"

namespace {

bool digit(std::string_view text, std::size_t k) {
  return k < text.size() && text[k] >= '0' && text[k] <= '9';
}

bool starts_with_number(std::string_view line) {
  line = line.substr(0, line.find('\0'));
  std::size_t i = 0;
  while (i < line.size() && som_fuzz::reference_space(line[i])) ++i;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) ++i;
  if (digit(line, i)) return true;
  return i < line.size() && line[i] == '.' && digit(line, i + 1);
}

// [sign] digits [. digits] with a digit at least, then [e|E [sign] digits].
bool whole_number(std::string_view word) {
  std::size_t i = 0;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) ++i;
  std::size_t digits = 0;
  for (; digit(word, i); ++i) ++digits;
  if (i < word.size() && word[i] == '.')
    for (++i; digit(word, i); ++i) ++digits;
  if (digits == 0) return false;
  if (i < word.size() && (word[i] == 'e' || word[i] == 'E')) {
    ++i;
    if (i < word.size() && (word[i] == '+' || word[i] == '-')) ++i;
    if (!digit(word, i)) return false;
    while (digit(word, i)) ++i;
  }
  return i == word.size();
}

bool shaped(std::string_view line, std::uint32_t dimension) {
  std::uint64_t words = 0;
  std::size_t i = 0;
  while (true) {
    while (i < line.size() && som_fuzz::reference_space(line[i])) ++i;
    if (i == line.size()) break;
    std::size_t end = i;
    while (end < line.size() && !som_fuzz::reference_space(line[end])) ++end;
    if (!whole_number(line.substr(i, end - i))) return false;
    ++words;
    i = end;
  }
  return words == 0 || words == dimension;
}

som::sample_lines reference(std::string_view text, std::uint32_t dimension) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    const bool ended = end != std::string_view::npos;
    if (!ended) end = text.size();
    std::string line(text.substr(pos, end - pos));
    if (ended && !line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    pos = end + 1;
  }
  som::sample_lines out;
  std::uint64_t last_sample = 0;
  std::uint64_t first_misshapen = 0;
  std::uint64_t first_text = 0;
  for (std::size_t l = 0; l < lines.size(); ++l) {
    if (starts_with_number(lines[l])) {
      ++out.count;
      last_sample = l + 1;
    }
    if (first_misshapen == 0 && !shaped(lines[l], dimension)) first_misshapen = l + 1;
    const bool blank = std::all_of(lines[l].begin(), lines[l].end(), som_fuzz::reference_space);
    if (first_text == 0 && !blank) first_text = l + 1;
  }
  if (first_misshapen != 0 && first_misshapen <= last_sample) out.misshapen_line = first_misshapen;
  if (last_sample == 0) out.misshapen_line = first_text;
  return out;
}

struct pieces {
  std::string_view text;
  std::size_t size;
  std::size_t pos = 0;
  static std::size_t read(void* context, char* into, std::size_t wanted) {
    auto& p = *static_cast<pieces*>(context);
    std::size_t n = p.text.size() - p.pos;
    if (n > p.size) n = p.size;
    if (n > wanted) n = wanted;
    std::memcpy(into, p.text.data() + p.pos, n);
    p.pos += n;
    return n;
  }
};

void compare(const som::sample_lines& got, const som::sample_lines& expected, const char* how,
             std::string_view text) {
  som_fuzz::check(got.count == expected.count && got.misshapen_line == expected.misshapen_line, how,
                  "counted " + std::to_string(got.count) + ", misshapen " +
                      std::to_string(got.misshapen_line) + "; expected " +
                      std::to_string(expected.count) + ", " +
                      std::to_string(expected.misshapen_line) + " in \"" +
                      som_fuzz::show(text.substr(0, 2000)) + "\"");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint32_t dimension = data[0] % 6u;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const som::sample_lines expected = reference(text, dimension);

  som::byte_reader whole(text);
  compare(som::scan_sample_lines(whole, dimension), expected, "count and shape", text);
  som::byte_reader baseline(text);
  compare(som::scan_sample_lines(baseline, dimension, som::byte_classifier::baseline), expected,
          "count and shape, baseline classifier", text);
  som::byte_reader portable(text);
  compare(som::scan_sample_lines(portable, dimension, som::byte_classifier::portable), expected,
          "count and shape, portable classifier", text);
  pieces source{text, 1u + data[0] / 6u % 97u};
  som::byte_reader piecewise(som::byte_source{&pieces::read, &source});
  compare(som::scan_sample_lines(piecewise, dimension), expected, "count and shape, small reads",
          text);

  // As the programs count: the encoding first.
  const som_fuzz::reference_text encoding = som_fuzz::reference_encoding(text);
  som::byte_reader counting(text);
  som::sample_lines counted;
  const std::string refusal =
      som::message_of(som::count_sample_lines(counting, dimension, counted));
  if (encoding == som_fuzz::reference_text::utf16) {
    som_fuzz::check(refusal == som_fuzz::reference_utf16_refusal("data.txt"),
                    "a text in UTF-16 is refused", som_fuzz::show(text.substr(0, 200)));
  } else {
    som_fuzz::check(refusal.empty(), "a text not in UTF-16 is counted", refusal);
    const std::string_view unmarked =
        encoding == som_fuzz::reference_text::utf8_mark ? text.substr(3) : text;
    compare(counted, reference(unmarked, dimension), "count and shape after a UTF-8 mark", text);
  }
  return 0;
}
