#include "formats/training_log.hpp"

#include <limits>

#include "common/byte_reader.hpp"
#include "common/decimal.hpp"
#include "common/text_format.hpp"

namespace som {

namespace {

std::string_view next_token(std::string_view line, std::size_t& at) {
  while (at < line.size() && is_space(line[at])) ++at;
  const std::size_t begin = at;
  while (at < line.size() && !is_space(line[at])) ++at;
  return line.substr(begin, at - begin);
}

// "%u" as written: decimal digits only; a value above 4294967295 wraps, as
// the %u conversion would read it.
bool parse_u32(std::string_view token, std::uint32_t& value) {
  if (token.empty()) return false;
  std::uint32_t v = 0;
  for (char c : token) {
    if (!is_digit(c)) return false;
    v = v * 10u + static_cast<std::uint32_t>(c - '0');
  }
  value = v;
  return true;
}

// One epoch's line: Rozdil, then Radius ("%f" writes "nan", "-nan" or "inf"
// for values that are not finite, read here as NaN), then nothing else.
bool parse_epoch(std::string_view line, std::uint32_t& Rozdil, double& Radius) {
  std::size_t at = 0;
  if (!parse_u32(next_token(line, at), Rozdil)) return false;
  const std::string_view radius = next_token(line, at);
  if (radius.empty()) return false;
  const std::ptrdiff_t length = scan_decimal(radius.data(), radius.data() + radius.size(), true);
  Radius = length == static_cast<std::ptrdiff_t>(radius.size())
               ? convert_decimal(radius.data(), radius.size())
               : std::numeric_limits<double>::quiet_NaN();
  return next_token(line, at).empty();
}

}  // namespace

std::string training_log_header() { return std::string("Rozdil\tRadius") + host_line_end; }

void append_log_line(std::string& out, std::uint32_t Rozdil, double Radius) {
  append_u32(out, Rozdil);
  out += '\t';
  append_fixed6(out, Radius);
  out += host_line_end;
}

void parse_training_log(std::string_view text, bool still_written, training_log& log) {
  log = training_log{};
  std::uint64_t number = 0;
  auto broken = [&] {
    if (log.broken_lines++ == 0) log.first_broken_line = number;
  };
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    ++number;
    if (end == std::string_view::npos) {
      // (A header cut short holds no epoch either way.)
      if (still_written || number == 1) {
        log.unfinished_line = true;
      } else {
        broken();
      }
      break;
    }
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (number == 1) continue;  // the header
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t probe = 0;
    if (next_token(line, probe).empty()) continue;
    std::uint32_t Rozdil = 0;
    double Radius = 0.0;
    if (!parse_epoch(line, Rozdil, Radius)) {
      broken();
      continue;
    }
    log.Rozdil.push_back(Rozdil);
    log.Radius.push_back(Radius);
  }
}

}  // namespace som
