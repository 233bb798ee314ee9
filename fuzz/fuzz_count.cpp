// Fuzz harness of the counting pass over data.txt: any bytes as its text.
// The count must equal a reference count made the way a text-mode read sees
// the file: CR LF read as one newline, the file taken in lines or pieces of at
// most 16383 characters, each piece counted when a number starts it after
// white space (the piece seen up to its first NUL).
#include <cstdint>
#include <string>

#include "fuzz_support.hpp"
#include "run/sample_data.hpp"

namespace {

bool starts_with_number(std::string_view piece) {
  piece = piece.substr(0, piece.find('\0'));
  std::size_t i = 0;
  while (i < piece.size() && som_fuzz::reference_space(piece[i])) ++i;
  if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) ++i;
  auto digit = [&](std::size_t k) {
    return k < piece.size() && piece[k] >= '0' && piece[k] <= '9';
  };
  if (digit(i)) return true;
  return i < piece.size() && piece[i] == '.' && digit(i + 1);
}

std::uint32_t reference_count(std::string_view bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text += bytes[i];
  }
  std::uint32_t count = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t newline = text.find('\n', pos);
    std::size_t length = (newline == std::string::npos ? text.size() : newline + 1) - pos;
    if (length > som::line_piece_length) length = som::line_piece_length;
    if (starts_with_number(std::string_view(text).substr(pos, length))) ++count;
    pos += length;
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  som::byte_reader reader(text);
  const std::uint32_t count = som::count_sample_lines(reader);
  const std::uint32_t expected = reference_count(text);
  som_fuzz::check(count == expected, "count of samples",
                  "counted " + std::to_string(count) + ", expected " + std::to_string(expected) +
                      " in \"" + som_fuzz::show(text.substr(0, 2000)) + "\"");
  return 0;
}
