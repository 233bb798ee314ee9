#include "run/sample_data.hpp"

#include <cstring>
#include <string>

#include "common/byte_reader.hpp"
#include "common/decimal.hpp"
#include "common/input_file.hpp"
#include "common/messages.hpp"

namespace som {

namespace {

// Counting pass state over the text as a Windows text-mode read sees it
// (CR LF turned into one LF).
struct piece_counter {
  std::uint32_t count = 0;
  std::size_t length = 0;  // characters in the current piece
  char head[3] = {};       // first non-white characters of the piece
  int head_length = 0;
  enum { skipping, reading_head, decided } phase = skipping;
  bool number = false;
};

// Decides from the head whether the piece begins with a number; returns
// false while more characters are needed.
bool decide(piece_counter& pc, bool piece_ended) {
  int i = 0;
  if (pc.head[0] == '+' || pc.head[0] == '-') i = 1;
  if (i < pc.head_length) {
    if (is_digit(pc.head[i])) {
      pc.number = true;
      return true;
    }
    if (pc.head[i] != '.') return true;
    if (i + 1 < pc.head_length) {
      pc.number = is_digit(pc.head[i + 1]);
      return true;
    }
  }
  return piece_ended;
}

void end_piece(piece_counter& pc) {
  if (pc.phase == piece_counter::reading_head) decide(pc, true);
  if (pc.number) ++pc.count;
  pc.length = 0;
  pc.head_length = 0;
  pc.phase = piece_counter::skipping;
  pc.number = false;
}

void feed(piece_counter& pc, char c) {
  ++pc.length;
  if (pc.phase == piece_counter::skipping) {
    if (c == '\0') {
      pc.phase = piece_counter::decided;  // the scan stops at a NUL
    } else if (!is_space(static_cast<unsigned char>(c))) {
      pc.head[0] = c;
      pc.head_length = 1;
      pc.phase = decide(pc, false) ? piece_counter::decided : piece_counter::reading_head;
    }
  } else if (pc.phase == piece_counter::reading_head) {
    if (c == '\0') {
      decide(pc, true);
      pc.phase = piece_counter::decided;
    } else {
      pc.head[pc.head_length++] = c;
      if (decide(pc, false)) pc.phase = piece_counter::decided;
    }
  }
  if (c == '\n' || pc.length == line_piece_length) end_piece(pc);
}

}  // namespace

std::uint32_t count_sample_lines(byte_reader& reader) {
  piece_counter pc;
  bool pending_cr = false;
  while (reader.fill(1) != 0) {
    const char* p = reader.next();
    const char* end = p + reader.buffered();
    while (p != end) {
      // A whole line that fits in one piece needs only its head looked at.
      if (pc.length == 0 && !pending_cr) {
        const char* nl =
            static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        if (nl != nullptr && static_cast<std::size_t>(nl - p) < line_piece_length) {
          for (; p != nl && pc.phase != piece_counter::decided; ++p) feed(pc, *p);
          end_piece(pc);
          p = nl + 1;
          continue;
        }
      }
      const char c = *p++;
      if (pending_cr) {
        pending_cr = false;
        if (c != '\n') feed(pc, '\r');
      }
      if (c == '\r') {
        pending_cr = true;
      } else {
        feed(pc, c);
      }
    }
    reader.advance_to(end);
  }
  if (pending_cr) feed(pc, '\r');
  if (pc.length != 0) end_piece(pc);
  return pc.count;
}

std::uint32_t count_samples(const char* path) {
  input_file file;
  if (!file.open(path)) fatal_exit(open_failed_message(path));
  byte_reader reader(file.source());
  const std::uint32_t count = count_sample_lines(reader);
  if (!file.close()) fatal_exit(close_failed_message(path));
  return count;
}

void read_sample_values(byte_reader& reader, sample_matrix& samples, std::FILE* console) {
  const std::string missing = std::string("Chybi hodnota v souboru ") + data_file_name + "!\n";
  for (std::uint32_t i = 0; i < samples.count; ++i) {
    double* row = samples.row(i);
    for (std::uint32_t j = 0; j < samples.dimension; ++j) {
      if (!read_decimal(reader, row[j])) {
        row[j] = 0.0;
        if (console != nullptr) print(console, missing);
      }
    }
  }
}

void load_samples(sample_matrix& samples, std::FILE* console) {
  input_file file;
  if (!file.open(data_file_name)) fatal_exit(open_failed_message(data_file_name));
  byte_reader reader(file.source());
  read_sample_values(reader, samples, console);
  if (!file.close()) fatal_exit(close_failed_message(data_file_name));
}

}  // namespace som
