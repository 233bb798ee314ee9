// How a text file is encoded, told from its first bytes: the one rule of
// every program that reads text a person saved.
//
// The readers take ASCII and any byte-wise superset of it (UTF-8, the
// Windows code pages). A UTF-8 byte order mark (EF BB BF, which Notepad's
// "UTF-8 with BOM" and Excel's "CSV UTF-8" write) is skipped as if it were
// not there. UTF-16 (Notepad's "Unicode", Excel's "Unicode text", the `>` of
// Windows PowerShell 5) is told by its mark (FF FE or FE FF; a UTF-32 mark
// begins the same way) or, without one, by a NUL byte in the first line: no
// text file holds one, and UTF-16 has one in almost every character. The
// readers of the run's files (setup.txt, data.txt, popisky.txt) refuse it
// before anything of it is used; som_data converts UTF-16 with a mark
// (formats/text_decoding.hpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/byte_reader.hpp"
#include "common/failure.hpp"

namespace som {

enum class unicode_mark {
  none,                // 8-bit text (ASCII, UTF-8, a Windows code page)
  utf8,                // EF BB BF: UTF-8, the mark skipped
  utf16_le,            // FF FE
  utf16_be,            // FE FF
  utf16_without_mark,  // a NUL byte in the first line: UTF-16 that cannot be told LE from BE
};

// How many of a file's first bytes are looked at for a NUL: those of the
// first line, its LF and the byte after it (UTF-16LE writes LF as 0A 00),
// up to this many. UTF-16 shows a NUL within its first few characters; a
// byte reader holds this many bytes anyway.
inline constexpr std::size_t unicode_mark_probe = std::size_t{1} << 16;

// What the first bytes of a file say (all of its bytes, or at least its
// first unicode_mark_probe).
unicode_mark detect_unicode_mark(std::string_view start);

// The same for the text the reader stands at, which it does not consume.
unicode_mark detect_unicode_mark(byte_reader& reader);

// The length of the mark itself (0, 2 or 3 bytes).
std::size_t unicode_mark_length(unicode_mark mark);

bool is_utf16(unicode_mark mark);

// Where a reader of the text file `file_name` begins: a utf16 failure for a
// file in UTF-16 (nothing consumed), or none once a UTF-8 mark is skipped.
failure begin_text(byte_reader& reader, std::string_view file_name);
// The same over the file's bytes in memory: `bytes` loses its mark.
failure begin_text(std::string_view& bytes, std::string_view file_name);

}  // namespace som
