#include "formats/text_encoding.hpp"

#include <algorithm>

namespace som {

unicode_mark detect_unicode_mark(std::string_view start) {
  if (start.starts_with("\xEF\xBB\xBF")) return unicode_mark::utf8;
  if (start.starts_with("\xFF\xFE")) return unicode_mark::utf16_le;
  if (start.starts_with("\xFE\xFF")) return unicode_mark::utf16_be;
  start = start.substr(0, std::min(start.size(), unicode_mark_probe));
  const std::size_t line_end = start.find('\n');
  const std::size_t looked_at =
      line_end == std::string_view::npos ? start.size() : std::min(line_end + 2, start.size());
  return start.substr(0, looked_at).find('\0') == std::string_view::npos
             ? unicode_mark::none
             : unicode_mark::utf16_without_mark;
}

unicode_mark detect_unicode_mark(byte_reader& reader) {
  const std::size_t available = reader.fill(unicode_mark_probe);
  return detect_unicode_mark(std::string_view(reader.next(), available));
}

std::size_t unicode_mark_length(unicode_mark mark) {
  switch (mark) {
    case unicode_mark::utf8: return 3;
    case unicode_mark::utf16_le:
    case unicode_mark::utf16_be: return 2;
    case unicode_mark::none:
    case unicode_mark::utf16_without_mark: break;
  }
  return 0;
}

bool is_utf16(unicode_mark mark) {
  return mark == unicode_mark::utf16_le || mark == unicode_mark::utf16_be ||
         mark == unicode_mark::utf16_without_mark;
}

failure begin_text(byte_reader& reader, std::string_view file_name) {
  const unicode_mark mark = detect_unicode_mark(reader);
  if (is_utf16(mark)) return failure::of(failure_kind::utf16, std::string(file_name));
  reader.advance(unicode_mark_length(mark));
  return {};
}

failure begin_text(std::string_view& bytes, std::string_view file_name) {
  const unicode_mark mark = detect_unicode_mark(bytes);
  if (is_utf16(mark)) return failure::of(failure_kind::utf16, std::string(file_name));
  bytes.remove_prefix(unicode_mark_length(mark));
  return {};
}

}  // namespace som
