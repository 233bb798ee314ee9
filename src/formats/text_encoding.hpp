// How a text file that a person saved is encoded, told from its first bytes:
// the one rule of every text reader of the programs.
//
// The readers take ASCII and any byte-wise superset of it (UTF-8, the
// Windows code pages). A UTF-8 byte order mark (EF BB BF, which Notepad's
// "UTF-8 with BOM" and Excel's "CSV UTF-8" write) is skipped as if it were
// not there. A file in UTF-16 (Notepad's "Unicode", Excel's "Unicode text",
// PowerShell 5's `>`) would read as no text at all, or as text with a NUL
// byte after each letter: it is refused before anything of it is used. It is
// told by its byte order mark (FF FE or FE FF; a UTF-32 mark begins the same
// way), or, without one, by a NUL byte in its first line: no text file holds
// one, and UTF-16 has one in almost every character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/byte_reader.hpp"

namespace som {

enum class text_encoding {
  plain,           // no mark and no sign of UTF-16: read as it is
  utf8_bom,        // a UTF-8 byte order mark, then the text
  utf16le,         // the mark FF FE
  utf16be,         // the mark FE FF
  utf16_unmarked,  // no mark, and a NUL byte in the first line
};

// How many of a file's first bytes are looked at for a NUL: the first line,
// its LF and the byte after it (UTF-16LE writes LF as 0A 00), up to this
// many bytes. UTF-16 shows a NUL within the first few characters; a byte
// reader holds this many bytes anyway.
inline constexpr std::size_t text_encoding_probe = 65536;

// The encoding of a text whose first bytes are `head` (all of the file's
// bytes, or at least its first text_encoding_probe).
text_encoding detect_text_encoding(std::string_view head);

// The same for the text the reader stands at, which it does not consume.
text_encoding detect_text_encoding(byte_reader& reader);

bool is_utf16(text_encoding encoding);

// The length of the byte order mark that the text begins with: 3 for UTF-8,
// 2 for UTF-16 with a mark, 0 otherwise.
std::size_t byte_order_mark_length(text_encoding encoding);

// "Soubor <name> je ulozen v kodovani UTF-16 (Unicode), ulozte ho jako UTF-8
// nebo ANSI." as a line.
std::string utf16_refusal(std::string_view file_name);

// Where a reader of the text file `file_name` begins: the refusal of a file
// in UTF-16 (nothing consumed), or nothing once a UTF-8 byte order mark is
// skipped.
std::string begin_text(byte_reader& reader, std::string_view file_name);
// The same over the file's bytes in memory: `bytes` loses its mark.
std::string begin_text(std::string_view& bytes, std::string_view file_name);

}  // namespace som
