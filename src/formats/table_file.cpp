#include "formats/table_file.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "common/decimal.hpp"
#include "formats/short_decimal.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace som {

namespace {

// Spaces around an unquoted cell; a tab too, unless it separates the cells.
bool trimmed_blank(char c, char separator) { return c == ' ' || (c == '\t' && separator != '\t'); }

std::string_view trim(std::string_view text) {
  std::size_t from = 0;
  std::size_t to = text.size();
  while (from < to && (text[from] == ' ' || text[from] == '\t')) ++from;
  while (to > from && (text[to - 1] == ' ' || text[to - 1] == '\t')) --to;
  return text.substr(from, to - from);
}

// The first of p..end that is one of the four bytes `a` to `d` (repeats
// allowed), or end: sixteen bytes at a time where SSE2 is there (every
// x86-64), one at a time otherwise and at the end.
const char* find_any(const char* p, const char* end, char a, char b, char c, char d) {
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(a);
  const __m128i vb = _mm_set1_epi8(b);
  const __m128i vc = _mm_set1_epi8(c);
  const __m128i vd = _mm_set1_epi8(d);
  while (end - p >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hit = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, va), _mm_cmpeq_epi8(bytes, vb)),
        _mm_or_si128(_mm_cmpeq_epi8(bytes, vc), _mm_cmpeq_epi8(bytes, vd)));
    const int mask = _mm_movemask_epi8(hit);
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  while (p != end && *p != a && *p != b && *p != c && *p != d) ++p;
  return p;
}

}  // namespace

bool is_missing_word(std::string_view text) {
  text = trim(text);
  return text.empty() || text == "NA" || text == "NaN" || text == "nan" || text == "?" ||
         text == "-";
}

cell_kind read_cell(std::string_view text, char decimal_mark, double& value) {
  text = trim(text);
  if (text.empty()) return cell_kind::missing;
  if (short_decimal(text.data(), text.size(), decimal_mark, value)) return cell_kind::number;
  if (decimal_mark == '.') {
    if (parse_decimal(text.data(), text.size(), value)) return cell_kind::number;
  } else if (text.find('.') == std::string_view::npos) {
    // The decimal comma made a point, in a copy (most cells are short).
    std::array<char, 64> small;
    std::string large;
    char* copy = small.data();
    if (text.size() > small.size()) {
      large.assign(text);
      copy = large.data();
    } else {
      std::memcpy(copy, text.data(), text.size());
    }
    for (std::size_t i = 0; i < text.size(); ++i)
      if (copy[i] == ',') copy[i] = '.';
    if (parse_decimal(copy, text.size(), value)) return cell_kind::number;
  }
  return is_missing_word(text) ? cell_kind::missing : cell_kind::text;
}

bool blank_record(const std::vector<table_cell>& cells) {
  return std::all_of(cells.begin(), cells.end(),
                     [](const table_cell& cell) { return cell.text.empty(); });
}

record_fit fit_record(std::vector<table_cell>& cells, std::size_t columns, std::uint32_t& column) {
  if (blank_record(cells)) return record_fit::blank;
  for (std::size_t j = columns; j < cells.size(); ++j) {
    if (!cells[j].text.empty()) {
      column = static_cast<std::uint32_t>(j + 1);
      return record_fit::too_many_cells;
    }
  }
  cells.resize(columns);
  return record_fit::row;
}

void table_records::add_plain_cell(const char* begin, std::size_t from, std::size_t to,
                                   std::size_t& cells) {
  while (from != to && trimmed_blank(begin[from], separator_)) ++from;
  while (to != from && trimmed_blank(begin[to - 1], separator_)) --to;
  cell_span& span = spans_[cells++];
  span.at = from;
  span.length = to - from;
  span.own = false;
  span.quoted = false;
}

bool table_records::scan_plain_record(const char* begin, const char* end) {
#if defined(__SSE2__)
  // The record of most tables: a line ended by LF or CR LF, without quotes
  // or other CRs, its cells split at the separators, sixteen bytes at a
  // time. Any other record, and one near the end of the bytes, is left to
  // the general scan.
  const __m128i separator = _mm_set1_epi8(separator_);
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i quote = _mm_set1_epi8('"');
  const auto bits = [](__m128i bytes, __m128i c) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, c)));
  };
  const auto size = static_cast<std::size_t>(end - begin);
  std::size_t cell = 0;     // where the cell being read starts
  std::size_t cells = 0;    // spans_ filled so far
  bool cr_before = false;   // the last sixteen bytes ended in a CR
  for (std::size_t at = 0; size - at >= 16; at += 16) {
    // Room for every cell these bytes may end.
    if (spans_.size() < cells + 17) spans_.resize(cells + 64);
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + at));
    const unsigned lfs = bits(bytes, lf);
    const unsigned stop = lfs != 0 ? static_cast<unsigned>(__builtin_ctz(lfs)) : 16;
    const unsigned before = stop == 16 ? 0xFFFFu : (1u << stop) - 1;
    if ((bits(bytes, quote) & before) != 0 || (cr_before && stop != 0)) return false;
    unsigned crs = bits(bytes, cr) & before;
    // A CR right before the LF belongs to the line end.
    bool crlf = cr_before;
    if (stop < 16 && stop > 0 && (crs >> (stop - 1) & 1u) != 0) {
      crs &= ~(1u << (stop - 1));
      crlf = true;
    }
    cr_before = stop == 16 && (crs & 0x8000u) != 0;
    if (cr_before) crs &= 0x7FFFu;
    if (crs != 0) return false;
    for (unsigned cuts = bits(bytes, separator) & before; cuts != 0; cuts &= cuts - 1) {
      const std::size_t cut = at + static_cast<unsigned>(__builtin_ctz(cuts));
      add_plain_cell(begin, cell, cut, cells);
      cell = cut + 1;
    }
    if (stop < 16) {
      const std::size_t line_end = at + stop;
      add_plain_cell(begin, cell, crlf ? line_end - 1 : line_end, cells);
      spans_.resize(cells);
      consumed_ = line_end + 1;
      return true;
    }
  }
#else
  static_cast<void>(begin);
  static_cast<void>(end);
#endif
  return false;
}

table_records::scan table_records::scan_record(const char* begin, const char* end, bool last) {
  spans_.clear();
  unquoted_.clear();
  if (plain_) {
    if (scan_plain_record(begin, end)) return scan::record;
    spans_.clear();
  }
  const bool blanks = separator_ == blank_separator;
  const bool lf = line_end_ == '\n';
  // The bytes that end an unquoted cell: the line end (a CR too, which may
  // start one) and the separator, or both blanks.
  const char stop_a = line_end_;
  const char stop_b = lf ? '\r' : line_end_;
  const char stop_c = blanks ? ' ' : separator_;
  const char stop_d = blanks ? '\t' : separator_;
  // The cell at fault: the one being read, or the quoted one just read.
  const auto fault = [&](table_fault what) {
    const std::size_t column = what == table_fault::text_after_quote ? spans_.size() : spans_.size() + 1;
    problem_ = {what, number_, static_cast<std::uint32_t>(column)};
    return scan::fault;
  };
  // Whether a line end stands at p: the length of it (0 when none, -1
  // when the bytes end before it can be told).
  const auto line_end_at = [&](const char* p) -> int {
    if (*p == line_end_) return 1;
    if (lf && *p == '\r') {
      if (p + 1 == end) return last ? 0 : -1;
      return p[1] == '\n' ? 2 : 0;
    }
    return 0;
  };

  const char* p = begin;
  if (blanks) {
    while (p != end && (*p == ' ' || *p == '\t')) ++p;
  }
  for (;;) {
    // One cell, from its first byte.
    if (!blanks)
      while (p != end && trimmed_blank(*p, separator_)) ++p;
    if (p == end) {
      if (!last) return scan::more;
      if (!blanks || spans_.empty()) spans_.push_back({static_cast<std::size_t>(p - begin), 0});
      consumed_ = static_cast<std::size_t>(p - begin);
      return scan::record;
    }
    cell_span span;
    if (*p == '"') {
      span.quoted = true;
      const char* content = ++p;
      bool doubled = false;
      for (;;) {
        const void* found = std::memchr(p, '"', static_cast<std::size_t>(end - p));
        if (found == nullptr) {
          if (!last) return scan::more;
          return fault(table_fault::open_quote);
        }
        p = static_cast<const char*>(found) + 1;
        if (p == end && !last) return scan::more;
        if (p != end && *p == '"') {
          doubled = true;
          ++p;
          continue;
        }
        break;
      }
      const char* closing = p - 1;
      if (doubled) {
        span.own = true;
        span.at = unquoted_.size();
        for (const char* q = content; q != closing; ++q) {
          unquoted_ += *q;
          if (*q == '"') ++q;  // the second of the pair
        }
        span.length = unquoted_.size() - span.at;
      } else {
        span.at = static_cast<std::size_t>(content - begin);
        span.length = static_cast<std::size_t>(closing - content);
      }
      if (!blanks)
        while (p != end && trimmed_blank(*p, separator_)) ++p;
      if (p == end && !last) return scan::more;
    } else {
      const char* start = p;
      for (;;) {
        p = find_any(p, end, stop_a, stop_b, stop_c, stop_d);
        if (p == end) {
          if (!last) return scan::more;
          break;
        }
        if (lf && *p == '\r') {
          const int ending = line_end_at(p);
          if (ending < 0) return scan::more;
          if (ending == 0) {
            ++p;  // a CR alone belongs to the cell
            continue;
          }
        }
        break;
      }
      const char* stop = p;
      while (stop != start && trimmed_blank(stop[-1], separator_)) --stop;
      span.at = static_cast<std::size_t>(start - begin);
      span.length = static_cast<std::size_t>(stop - start);
    }
    spans_.push_back(span);

    // What follows the cell: the end, a line end or a separator.
    if (p == end) {
      consumed_ = static_cast<std::size_t>(p - begin);
      return scan::record;
    }
    const int ending = line_end_at(p);
    if (ending < 0) return scan::more;
    if (ending > 0) {
      consumed_ = static_cast<std::size_t>(p - begin) + static_cast<std::size_t>(ending);
      return scan::record;
    }
    if (blanks && (*p == ' ' || *p == '\t')) {
      while (p != end && (*p == ' ' || *p == '\t')) ++p;
      // Blanks before the line end separate nothing.
      if (p == end) {
        if (!last) return scan::more;
        consumed_ = static_cast<std::size_t>(p - begin);
        return scan::record;
      }
      const int after = line_end_at(p);
      if (after < 0) return scan::more;
      if (after > 0) {
        consumed_ = static_cast<std::size_t>(p - begin) + static_cast<std::size_t>(after);
        return scan::record;
      }
      continue;
    }
    if (!blanks && *p == separator_) {
      ++p;
      continue;
    }
    return fault(table_fault::text_after_quote);
  }
}

void table_records::release() {
  reader_.advance(consumed_);
  consumed_ = 0;
}

bool table_records::next(std::vector<table_cell>& cells) {
  cells.clear();
  if (problem_.fault != table_fault::none || cut_short_) return false;
  release();
  if (reader_.fill(1) == 0) {
    if (reader_.out_of_memory()) problem_ = {table_fault::out_of_memory, number_ + 1, 0};
    return false;
  }
  ++number_;
  std::size_t want = 0;
  for (;;) {
    const std::size_t available = reader_.buffered();
    const char* begin = reader_.next();
    const scan outcome = scan_record(begin, begin + available, reader_.exhausted() && !cut_);
    if (outcome == scan::fault) return false;
    if (outcome == scan::record) {
      cells.reserve(spans_.size());
      for (const cell_span& span : spans_) {
        const char* base = span.own ? unquoted_.data() : begin;
        cells.push_back({std::string_view(base + span.at, span.length), span.quoted});
      }
      return true;
    }
    // The record goes on past the buffered bytes.
    if (cut_ && reader_.exhausted()) {
      --number_;
      cut_short_ = true;
      return false;
    }
    want = std::max(available * 2, available + (std::size_t{1} << 16));
    reader_.fill(want);
    if (reader_.out_of_memory()) {
      problem_ = {table_fault::out_of_memory, number_, 0};
      return false;
    }
  }
}

namespace {

// The sample's non-blank records split by `separator` (a record whose text
// had to be copied keeps its own copy).
struct split_sample {
  std::vector<std::vector<std::string>> rows;  // cells' text
  std::vector<std::vector<bool>> quoted;
  std::vector<std::size_t> raw_counts;
  bool any_quoted = false;
};

split_sample split(std::string_view sample, char separator, char line_end) {
  constexpr std::size_t most_records = 2000;
  split_sample out;
  byte_reader reader(sample);
  table_records records(reader, separator, line_end);
  std::vector<table_cell> cells;
  while (out.rows.size() < most_records && records.next(cells)) {
    if (blank_record(cells)) continue;
    std::vector<std::string> texts;
    std::vector<bool> quotes;
    for (const table_cell& cell : cells) {
      texts.emplace_back(cell.text);
      quotes.push_back(cell.quoted);
      out.any_quoted = out.any_quoted || cell.quoted;
    }
    out.raw_counts.push_back(cells.size());
    out.rows.push_back(std::move(texts));
    out.quoted.push_back(std::move(quotes));
  }
  return out;
}

std::size_t numbers_in(const split_sample& sample, char decimal_mark) {
  std::size_t count = 0;
  double value;
  for (const auto& row : sample.rows)
    for (const std::string& cell : row)
      if (read_cell(cell, decimal_mark, value) == cell_kind::number) ++count;
  return count;
}

std::size_t trimmed_count(const std::vector<std::string>& row) {
  std::size_t n = row.size();
  while (n > 0 && row[n - 1].empty()) --n;
  return n;
}

}  // namespace

table_dialect detect_dialect(std::string_view sample, bool complete,
                             const dialect_request& request) {
  table_dialect dialect;
  // Line ends: LF (CR LF among them), or CR alone in a file without LF.
  const std::size_t first_lf = sample.find('\n');
  if (first_lf == std::string_view::npos && sample.find('\r') != std::string_view::npos) {
    dialect.line_end = '\r';
  } else if (first_lf != std::string_view::npos && first_lf > 0 && sample[first_lf - 1] == '\r') {
    dialect.crlf = true;
  }
  // A sample cut off in the middle of the table ends at its last line end.
  if (!complete) {
    const std::size_t last_end = sample.rfind(dialect.line_end);
    if (last_end != std::string_view::npos) sample = sample.substr(0, last_end + 1);
  }

  // The separator: of those that split the rows into the same number of
  // cells (two or more), the one that gives the most numbers; on a tie the
  // first of tab, semicolon, comma, blanks.
  struct candidate {
    char separator;
    split_sample split;
    std::size_t numbers = 0;
    char decimal_mark = '.';
    bool regular = false;
    std::size_t widest = 0;
  };
  std::vector<char> separators = {'\t', ';', ',', blank_separator};
  if (request.separator != 0) separators = {request.separator};
  std::vector<candidate> candidates;
  for (char separator : separators) {
    candidate c;
    c.separator = separator;
    c.split = split(sample, separator, dialect.line_end);
    const std::vector<char> marks =
        request.decimal_mark != 0 ? std::vector<char>{request.decimal_mark}
        : separator == ','        ? std::vector<char>{'.'}
                                  : std::vector<char>{'.', ','};
    for (char mark : marks) {
      const std::size_t numbers = numbers_in(c.split, mark);
      if (mark == marks.front() || numbers > c.numbers) {
        c.numbers = numbers;
        c.decimal_mark = mark;
      }
    }
    // Rows of the most common length, empty cells at the ends aside.
    std::vector<std::size_t> lengths;
    for (const auto& row : c.split.rows) lengths.push_back(trimmed_count(row));
    for (std::size_t n : lengths) c.widest = std::max(c.widest, n);
    if (!lengths.empty()) {
      std::vector<std::size_t> sorted = lengths;
      std::sort(sorted.begin(), sorted.end());
      std::size_t mode = sorted[0], best = 0;
      for (std::size_t i = 0; i < sorted.size();) {
        std::size_t j = i;
        while (j < sorted.size() && sorted[j] == sorted[i]) ++j;
        if (j - i > best) {
          best = j - i;
          mode = sorted[i];
        }
        i = j;
      }
      // The title row of R's write.table is one cell short: the data rows decide.
      std::size_t agreeing = 0;
      for (std::size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i] == mode || (i == 0 && lengths[i] + 1 == mode)) ++agreeing;
      c.regular = mode >= 2 && agreeing * 10 >= lengths.size() * 9;
    }
    candidates.push_back(std::move(c));
  }
  const candidate* chosen = nullptr;
  for (const candidate& c : candidates)
    if (c.regular && (chosen == nullptr || c.numbers > chosen->numbers)) chosen = &c;
  if (chosen == nullptr)
    for (const candidate& c : candidates)
      if (c.widest >= 2 && (chosen == nullptr || c.numbers > chosen->numbers)) chosen = &c;
  if (chosen == nullptr) {
    // One column: the separator does not matter, but blanks would split
    // a text cell.
    for (const candidate& c : candidates)
      if (c.separator == (request.separator != 0 ? request.separator : ',')) chosen = &c;
  }
  dialect.separator = chosen->separator;
  dialect.decimal_mark = chosen->decimal_mark;
  dialect.quoted = chosen->split.any_quoted;
  const split_sample& rows = chosen->split;

  // The data rows' width.
  std::size_t data_width = 0;
  for (std::size_t i = 1; i < rows.rows.size(); ++i)
    data_width = std::max(data_width, trimmed_count(rows.rows[i]));
  if (rows.rows.size() == 1) data_width = trimmed_count(rows.rows[0]);

  // The title row: a cell of the first row that is text in a column whose
  // other cells are numbers (or missing, one number at least).
  bool title = false;
  std::size_t shift = 0;
  if (!rows.rows.empty()) {
    const std::vector<std::string>& first = rows.rows[0];
    const std::size_t first_count = rows.raw_counts[0];
    bool all_one_longer = rows.rows.size() > 1;
    for (std::size_t i = 1; i < rows.rows.size(); ++i)
      if (rows.raw_counts[i] != first_count + 1) all_one_longer = false;
    if (all_one_longer) shift = 1;
    double value;
    if (request.title >= 0) {
      title = request.title == 1;
    } else if (rows.rows.size() == 1) {
      for (const std::string& cell : first)
        if (read_cell(cell, dialect.decimal_mark, value) == cell_kind::text) title = true;
    } else {
      for (std::size_t j = 0; j < first.size() && !title; ++j) {
        if (read_cell(first[j], dialect.decimal_mark, value) != cell_kind::text) continue;
        const std::size_t column = j + shift;
        std::size_t numbers = 0;
        bool text = false;
        for (std::size_t i = 1; i < rows.rows.size() && !text; ++i) {
          if (column >= rows.rows[i].size()) continue;
          switch (read_cell(rows.rows[i][column], dialect.decimal_mark, value)) {
            case cell_kind::number: ++numbers; break;
            case cell_kind::text: text = true; break;
            case cell_kind::missing: break;
          }
        }
        title = numbers > 0 && !text;
      }
    }
    dialect.title = title;
    dialect.row_names = title && shift == 1;
    const std::size_t title_width = trimmed_count(first) + (dialect.row_names ? 1 : 0);
    // A title row names the columns; a cell beyond them holds nothing.
    dialect.columns = title ? title_width : std::max(data_width, trimmed_count(first));
  }
  if (dialect.columns == 0) dialect.columns = 1;
  return dialect;
}

table_reader::table_reader(byte_source raw, const dialect_request& request) {
  raw_.source = raw;
  // The first bytes decide the encoding.
  constexpr std::size_t start_size = std::size_t{1} << 16;
  raw_.start.resize(start_size);
  std::size_t got = 0;
  while (got < start_size) {
    const std::size_t n = raw.read(raw.context, raw_.start.data() + got, start_size - got);
    if (n == 0) break;
    if (n == source_failed) {
      // What was read is taken; the failure comes again at the next read.
      raw_.failed = true;
      break;
    }
    got += n;
  }
  raw_.start.resize(got);
  mark_ = detect_unicode_mark(raw_.start);
  if (mark_ == unicode_mark::utf16_without_mark) return;
  raw_.check_utf8 = mark_ == unicode_mark::none || mark_ == unicode_mark::utf8;
  // The mark itself is counted and hashed but not read as text.
  const std::size_t mark_length = unicode_mark_length(mark_);
  account(raw_.start.data(), mark_length);
  raw_.start_at = mark_length;
  byte_source text;
  text.context = this;
  text.read = &table_reader::read_raw;
  if (mark_ == unicode_mark::utf16_le || mark_ == unicode_mark::utf16_be) {
    utf16_ = std::make_unique<utf16_source>(text, mark_ == unicode_mark::utf16_be);
    text = utf16_->source();
  }
  text_ = text;
  reader_ = std::make_unique<byte_reader>(text);

  // The dialect, from the start of the text.
  constexpr std::size_t sample_size = std::size_t{1} << 18;
  const std::size_t available = reader_->fill(sample_size);
  dialect_ = detect_dialect(std::string_view(reader_->next(), available), reader_->exhausted(),
                            request);
  records_ = std::make_unique<table_records>(*reader_, dialect_.separator, dialect_.line_end);
  if (dialect_.title) read_title();
}

std::size_t table_reader::read_raw(void* context, char* into, std::size_t size) {
  auto& self = *static_cast<table_reader*>(context);
  raw_stage& raw = self.raw_;
  std::size_t given = 0;
  if (raw.start_at < raw.start.size()) {
    given = std::min(size, raw.start.size() - raw.start_at);
    std::memcpy(into, raw.start.data() + raw.start_at, given);
    raw.start_at += given;
    if (raw.start_at == raw.start.size()) std::string().swap(raw.start);
  } else {
    given = raw.failed ? source_failed : raw.source.read(raw.source.context, into, size);
    if (given == source_failed) return source_failed;
    if (given == 0) raw.utf8.finish();
  }
  self.account(into, given);
  return given;
}

namespace {

constexpr std::uint64_t hash_multiplier = 0x9E3779B97F4A7C15u;

inline std::uint64_t hash_step(std::uint64_t hash, std::uint64_t word) {
  hash = (hash ^ word) * hash_multiplier;
  return hash ^ (hash >> 29);
}

}  // namespace

void table_reader::account(const char* data, std::size_t size) {
  if (raw_.check_utf8) raw_.utf8.feed(data, size);
  raw_.bytes += size;
  // A hash of the bytes as 8-byte words, the same however they are cut
  // into pieces. The words in the host's byte order: the hash is only ever
  // compared with one taken on the same machine.
  std::size_t i = 0;
  std::uint64_t hash[4] = {raw_.hash[0], raw_.hash[1], raw_.hash[2], raw_.hash[3]};
  unsigned chain = raw_.chain;
  if (raw_.tail_bytes != 0) {
    // The word that the last piece began.
    while (i < size && raw_.tail_bytes < 8)
      std::memcpy(reinterpret_cast<char*>(&raw_.tail) + raw_.tail_bytes++, data + i++, 1);
    if (raw_.tail_bytes < 8) return;
    hash[chain] = hash_step(hash[chain], raw_.tail);
    chain = (chain + 1) % 4;
    raw_.tail = 0;
    raw_.tail_bytes = 0;
  }
  std::uint64_t word;
  for (; chain != 0 && i + 8 <= size; i += 8) {
    std::memcpy(&word, data + i, 8);
    hash[chain] = hash_step(hash[chain], word);
    chain = (chain + 1) % 4;
  }
  for (; i + 32 <= size; i += 32) {
    std::uint64_t words[4];
    std::memcpy(words, data + i, 32);
    for (unsigned c = 0; c < 4; ++c) hash[c] = hash_step(hash[c], words[c]);
  }
  for (; i + 8 <= size; i += 8) {
    std::memcpy(&word, data + i, 8);
    hash[chain] = hash_step(hash[chain], word);
    chain = (chain + 1) % 4;
  }
  for (unsigned c = 0; c < 4; ++c) raw_.hash[c] = hash[c];
  raw_.chain = chain;
  for (; i < size; ++i)
    std::memcpy(reinterpret_cast<char*>(&raw_.tail) + raw_.tail_bytes++, data + i, 1);
}

std::uint64_t table_reader::raw_hash() const {
  // The chains, and the last bytes that make no whole word.
  std::uint64_t hash = raw_.hash[0];
  for (unsigned c = 1; c < 4; ++c) hash = hash_step(hash, raw_.hash[c]);
  return hash_step(hash, raw_.tail);
}

std::size_t table_reader::read_text(char* into, std::size_t size) {
  if (reader_ == nullptr || size == 0) return 0;
  if (records_ != nullptr) records_->release();
  const std::size_t buffered = reader_->buffered();
  if (buffered != 0) {
    const std::size_t n = std::min(size, buffered);
    std::memcpy(into, reader_->next(), n);
    reader_->advance(n);
    return n;
  }
  if (reader_->exhausted() || text_ended_) return 0;
  const std::size_t n = text_.read(text_.context, into, size);
  // A read error ends the text here; the caller learns of it from its file,
  // which it asks before it uses anything read.
  text_ended_ = n == 0 || n == source_failed;
  return n == source_failed ? 0 : n;
}

void table_reader::read_title() {
  std::vector<table_cell> cells;
  while (records_->next(cells)) {
    if (blank_record(cells)) {
      ++blank_rows_;
      continue;
    }
    title_row_ = records_->number();
    if (dialect_.row_names) title_.emplace_back();
    for (const table_cell& cell : cells) title_.emplace_back(cell.text);
    while (!title_.empty() && title_.size() > dialect_.columns && title_.back().empty())
      title_.pop_back();
    title_.resize(std::max(title_.size(), dialect_.columns));
    dialect_.columns = title_.size();
    return;
  }
}

bool table_reader::next_row(std::vector<table_cell>& cells) {
  if (records_ == nullptr || fault_.fault != table_fault::none) return false;
  while (records_->next(cells)) {
    std::uint32_t column = 0;
    switch (fit_record(cells, dialect_.columns, column)) {
      case record_fit::blank: ++blank_rows_; continue;
      case record_fit::too_many_cells:
        fault_ = {table_fault::too_many_cells, records_->number(), column};
        return false;
      case record_fit::row: return true;
    }
  }
  return false;
}

const table_problem& table_reader::problem() const {
  if (fault_.fault != table_fault::none || records_ == nullptr) return fault_;
  return records_->problem();
}

std::string text_as_utf8(std::string_view bytes, bool utf8) {
  if (utf8) return std::string(bytes);
  std::string out;
  append_windows_1250(out, bytes);
  return out;
}

}  // namespace som
