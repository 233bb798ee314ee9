#include "formats/text_encoding.hpp"

#include <algorithm>

namespace som {

text_encoding detect_text_encoding(std::string_view head) {
  if (head.starts_with("\xEF\xBB\xBF")) return text_encoding::utf8_bom;
  if (head.starts_with("\xFF\xFE")) return text_encoding::utf16le;
  if (head.starts_with("\xFE\xFF")) return text_encoding::utf16be;
  head = head.substr(0, std::min(head.size(), text_encoding_probe));
  const std::size_t line_end = head.find('\n');
  const std::size_t looked_at =
      line_end == std::string_view::npos ? head.size() : std::min(line_end + 2, head.size());
  return head.substr(0, looked_at).find('\0') == std::string_view::npos
             ? text_encoding::plain
             : text_encoding::utf16_unmarked;
}

text_encoding detect_text_encoding(byte_reader& reader) {
  const std::size_t available = reader.fill(text_encoding_probe);
  return detect_text_encoding(std::string_view(reader.next(), available));
}

bool is_utf16(text_encoding encoding) {
  return encoding == text_encoding::utf16le || encoding == text_encoding::utf16be ||
         encoding == text_encoding::utf16_unmarked;
}

std::size_t byte_order_mark_length(text_encoding encoding) {
  switch (encoding) {
    case text_encoding::utf8_bom: return 3;
    case text_encoding::utf16le:
    case text_encoding::utf16be: return 2;
    case text_encoding::plain:
    case text_encoding::utf16_unmarked: break;
  }
  return 0;
}

std::string utf16_refusal(std::string_view file_name) {
  return "Soubor " + std::string(file_name) +
         " je ulozen v kodovani UTF-16 (Unicode), ulozte ho jako UTF-8 nebo ANSI.\n";
}

std::string begin_text(byte_reader& reader, std::string_view file_name) {
  const text_encoding encoding = detect_text_encoding(reader);
  if (is_utf16(encoding)) return utf16_refusal(file_name);
  reader.advance(byte_order_mark_length(encoding));
  return {};
}

std::string begin_text(std::string_view& bytes, std::string_view file_name) {
  const text_encoding encoding = detect_text_encoding(bytes);
  if (is_utf16(encoding)) return utf16_refusal(file_name);
  bytes.remove_prefix(byte_order_mark_length(encoding));
  return {};
}

}  // namespace som
