// Shared pieces of the fuzz harnesses.
//
// Every harness is a LLVMFuzzerTestOneInput that writes the input into the
// file that the reader under test opens (setup.txt, data.txt, vystup.txt,
// vahy.bin) in the current folder, runs the reader and checks properties of
// what it read against an independent reference. Run the harnesses in a
// scratch folder of their own. A failed property prints what was expected and
// aborts, which libFuzzer and the replay driver both report as a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace som_fuzz {

[[noreturn]] inline void fail(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "property failed: %s\n%s\n", what, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

inline void check(bool condition, const char* what, const std::string& detail = {}) {
  if (!condition) fail(what, detail);
}

// Replaces the file with exactly these bytes.
inline void write_bytes(const char* name, std::string_view bytes) {
  std::FILE* file = std::fopen(name, "wb");
  check(file != nullptr, "scratch file can be created", name);
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
  check(std::fclose(file) == 0, "scratch file can be written", name);
}

inline std::string read_bytes(const char* name) {
  std::string out;
  std::FILE* file = std::fopen(name, "rb");
  if (file == nullptr) return out;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) != 0) out.append(buffer, got);
  std::fclose(file);
  return out;
}

// Printable form of some bytes for failure reports.
inline std::string show(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 32 && c < 127 && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

// The reference grammar of an unsigned integer as the %u conversion reads it
// (white space already skipped): an optional sign and at least one digit.
// Returns the length, 0 when no number stands at `pos`; `value` gets the
// number modulo 2^32, negated for a minus sign.
inline std::size_t reference_u32(std::string_view text, std::size_t pos, std::uint32_t& value) {
  std::size_t i = pos;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t first_digit = i;
  std::uint64_t modulo = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    modulo = (modulo * 10 + static_cast<std::uint64_t>(text[i] - '0')) % 4294967296u;
    ++i;
  }
  if (i == first_digit) return 0;
  value = static_cast<std::uint32_t>(negative ? (4294967296u - modulo) % 4294967296u : modulo);
  return i - pos;
}

// How the readers of text take a file's first bytes, worked out byte by
// byte: a UTF-8 byte order mark is skipped; UTF-16 (the marks FF FE and
// FE FF, or a NUL byte in the first 65536 bytes before the first LF or
// right after it) is refused.
enum class reference_text { plain, utf8_mark, utf16 };

inline reference_text reference_encoding(std::string_view text) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  if (text.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF)
    return reference_text::utf8_mark;
  if (text.size() >= 2 &&
      ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF)))
    return reference_text::utf16;
  const std::size_t probe = text.size() < 65536 ? text.size() : 65536;
  for (std::size_t k = 0; k < probe; ++k) {
    if (text[k] == '\0') return reference_text::utf16;
    if (text[k] == '\n')
      return k + 1 < probe && text[k + 1] == '\0' ? reference_text::utf16 : reference_text::plain;
  }
  return reference_text::plain;
}

// The refusal of a file in UTF-16, written out.
inline std::string reference_utf16_refusal(const char* name) {
  return std::string("Soubor ") + name +
         " je ulozen v kodovani UTF-16 (Unicode), ulozte ho jako UTF-8 nebo ANSI.\n";
}

inline bool reference_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace som_fuzz
