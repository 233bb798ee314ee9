// The encodings that Windows editors and spreadsheets save text in: a UTF-8
// byte order mark is skipped by every reader of text, UTF-16 (marked or not)
// refused before anything of it is read.
#include "formats/text_encoding.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "common/messages.hpp"
#include "formats/final_parameters.hpp"
#include "formats/labels_file.hpp"
#include "formats/sample_data.hpp"
#include "support/byte_sources.hpp"
#include "support/label_names.hpp"
#include "support/utf16_text.hpp"

namespace {

using som::unicode_mark;

// "1 2\r\n" in UTF-16 without its mark.
const std::string utf16le_text = som_test::utf16("1 2\r\n", false, false);
const std::string utf16be_text = som_test::utf16("1 2\r\n", true, false);

TEST(TextEncoding, ToldFromTheFirstBytes) {
  const std::string long_line(70000, '7');
  const struct {
    const char* name;
    std::string head;
    unicode_mark encoding;
  } cases[] = {
      {"empty", "", unicode_mark::none},
      {"ASCII", "1 2\n3 4\n", unicode_mark::none},
      {"Windows-1250 letters", "\x9A\xE8\xF8 1\n", unicode_mark::none},
      {"UTF-8 mark",
       "\xEF\xBB\xBF"
       "1 2\n",
       unicode_mark::utf8},
      {"UTF-8 mark alone", "\xEF\xBB\xBF", unicode_mark::utf8},
      {"part of a UTF-8 mark",
       "\xEF\xBB"
       "1\n",
       unicode_mark::none},
      {"UTF-16LE mark", "\xFF\xFE" + utf16le_text, unicode_mark::utf16_le},
      {"UTF-16BE mark", "\xFE\xFF" + utf16be_text, unicode_mark::utf16_be},
      {"UTF-32LE mark", std::string("\xFF\xFE\0\0", 4), unicode_mark::utf16_le},
      {"UTF-16LE without a mark", utf16le_text, unicode_mark::utf16_without_mark},
      {"UTF-16BE without a mark", utf16be_text, unicode_mark::utf16_without_mark},
      {"UTF-16LE, a blank first line",
       std::string("\n\0"
                   "1\0",
                   4),
       unicode_mark::utf16_without_mark},
      {"NUL at the end of a first line", std::string("1 2 3\0", 6),
       unicode_mark::utf16_without_mark},
      {"NUL only in the second line", std::string("1 2\n3\0", 6), unicode_mark::none},
      {"NUL past the probe", long_line + std::string("\0", 1), unicode_mark::none},
      {"NUL just inside the probe",
       std::string(som::unicode_mark_probe - 1, '7') + std::string("\0", 1),
       unicode_mark::utf16_without_mark},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(som::detect_unicode_mark(c.head), c.encoding);
    // A reader sees the same, however its source hands the bytes out, and
    // consumes nothing.
    som_test::piecewise_source pieces(c.head, 3);
    som::byte_reader reader(pieces.source());
    EXPECT_EQ(som::detect_unicode_mark(reader), c.encoding);
    EXPECT_EQ(reader.position(), 0u);
  }
}

TEST(TextEncoding, BeginTextSkipsTheUtf8MarkAndRefusesUtf16) {
  const std::string refusal =
      "Soubor data.txt je ulozen v kodovani UTF-16 (Unicode), ulozte ho jako UTF-8 nebo ANSI.\n";
  for (const std::string& utf16 :
       {"\xFF\xFE" + utf16le_text, "\xFE\xFF" + utf16be_text, utf16le_text}) {
    std::string_view bytes = utf16;
    EXPECT_EQ(som::message_of(som::begin_text(bytes, "data.txt")), refusal);
    EXPECT_EQ(bytes.size(), utf16.size());
    som::byte_reader reader(utf16);
    EXPECT_EQ(som::message_of(som::begin_text(reader, "data.txt")), refusal);
    EXPECT_EQ(reader.position(), 0u);
  }
  std::string_view bytes =
      "\xEF\xBB\xBF"
      "1 2\n";
  EXPECT_EQ(som::message_of(som::begin_text(bytes, "data.txt")), "");
  EXPECT_EQ(bytes, "1 2\n");
  som_test::piecewise_source pieces(
      "\xEF\xBB\xBF"
      "1 2\n",
      1);
  som::byte_reader reader(pieces.source());
  EXPECT_EQ(som::message_of(som::begin_text(reader, "data.txt")), "");
  EXPECT_EQ(reader.position(), 3u);
  EXPECT_EQ(reader.peek(), '1');
}

// Both passes over data.txt, the labels and the saved Krok follow the rule.
TEST(TextEncoding, EveryReaderOfTextFollowsIt) {
  const std::string data = "1 2\n3 4\n";
  som::sample_lines lines;
  const std::string marked_data = std::string(som_test::utf8_mark) + data;
  som::byte_reader marked(marked_data);
  EXPECT_EQ(som::message_of(som::count_sample_lines(marked, 2, lines)), "");
  EXPECT_EQ(lines.count, 2u);
  EXPECT_EQ(lines.misshapen_line, 0u);
  // Line numbers are those of the text: the mark is not a line's content.
  som::byte_reader marked_title(
      "\xEF\xBB\xBF"
      "a b\n1 2\n");
  EXPECT_EQ(som::message_of(som::count_sample_lines(marked_title, 2, lines)), "");
  EXPECT_EQ(lines.misshapen_line, 1u);

  double values[4] = {};
  som::sample_matrix matrix{values, 2, 2};
  const std::string data_refusal = som::utf16_refusal("data.txt");
  som::byte_reader marked_values(marked_data);
  EXPECT_EQ(som::message_of(som::load_sample_values(marked_values, matrix)), "");
  EXPECT_EQ(values[3], 4.0);
  som::byte_reader utf16_count(utf16le_text);
  EXPECT_EQ(som::message_of(som::count_sample_lines(utf16_count, 2, lines)), data_refusal);
  som::byte_reader utf16_values(utf16le_text);
  EXPECT_EQ(som::message_of(som::load_sample_values(utf16_values, matrix)), data_refusal);
  som::byte_reader short_values("1 2\n3");
  EXPECT_EQ(som::message_of(som::load_sample_values(short_values, matrix)),
            "Chybi hodnota v souboru data.txt!\n");

  const som::labels_reading labels = som::read_labels(
      "\xEF\xBB\xBF"
      "a\r\nb\r\n",
      2);
  ASSERT_TRUE(labels.ok()) << som::message_of(labels.problem);
  EXPECT_EQ(som_test::names_of(labels.labels), (std::vector<std::string>{"a", "b"}));
  const som::labels_reading utf16_labels = som::read_labels(som_test::utf16("a\r\n"), 1);
  EXPECT_EQ(som::message_of(utf16_labels.problem), som::utf16_refusal("popisky.txt"));
  EXPECT_FALSE(utf16_labels.labels.present);

  std::uint32_t Krok = 0;
  som::byte_reader final_marked(
      std::string_view("\xEF\xBB\xBF"
                       "2763\tKrok\n"));
  ASSERT_TRUE(som::read_final_Krok(final_marked, Krok));
  EXPECT_EQ(Krok, 2763u);
  for (const std::string& not_a_Krok :
       {std::string("Krok\t2763\n"), std::string(""), som_test::utf16("2763\tKrok\n")}) {
    som::byte_reader reader(not_a_Krok);
    EXPECT_FALSE(som::read_final_Krok(reader, Krok));
  }
}

}  // namespace
