#include "formats/setup_file.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/messages.hpp"
#include "support/byte_sources.hpp"
#include "support/utf16_text.hpp"

namespace {

struct read_outcome {
  std::vector<std::uint32_t> values;
  std::string echo;
  std::string rest;  // what the reader left unread
};

read_outcome read_entries_from(som::byte_reader& reader, int entries) {
  read_outcome out;
  for (int e = 0; e < entries; ++e) out.values.push_back(som::read_setup_value(reader, out.echo));
  int c;
  while ((c = reader.peek()) != -1) {
    out.rest += static_cast<char>(c);
    reader.advance(1);
  }
  return out;
}

// Reads `entries` entries from `content`, held whole and handed out three
// bytes per read: both must read the same.
read_outcome read_entries(const std::string& content, int entries) {
  som::byte_reader whole(content);
  const read_outcome out = read_entries_from(whole, entries);
  som_test::piecewise_source pieces(content, 3);
  som::byte_reader piecewise(pieces.source());
  const read_outcome again = read_entries_from(piecewise, entries);
  EXPECT_EQ(again.values, out.values);
  EXPECT_EQ(again.echo, out.echo);
  EXPECT_EQ(again.rest, out.rest);
  return out;
}

struct entry_case {
  const char* name;
  std::string file;
  std::uint32_t value;
  std::string echo;
  std::string rest;
};

// Each case is checked with LF line ends and again with CR LF line ends: the
// value, the echo and the position after the entry must not change.
TEST(ReadSetupValue, SingleEntriesWithLfAndCrLf) {
  const std::vector<entry_case> cases = {
      {"number, tab, comment", "5\tKrok\nnext", 5, "Precteno 5\tKrok\n", "next"},
      {"no comment", "7\nnext", 7, "Precteno 7\n", "next"},
      {"blank lines first", "\n\n  42 rows\nnext", 42, "Precteno 42 rows\n", "next"},
      {"minus one wraps", "-1\tx\n", 4294967295u, "Precteno 4294967295\tx\n", ""},
      {"plus sign", "+8\n", 8, "Precteno 8\n", ""},
      {"letters after digits", "12abc\nnext", 12, "Precteno 12abc\n", "next"},
      {"digits in the comment", "3 is 4 or 5\n", 3, "Precteno 3 is 4 or 5\n", ""},
      {"above 2^32 wraps", "4294967296\n", 0, "Precteno 0\n", ""},
      {"far above 2^32 wraps", "18446744073709551621\n", 5, "Precteno 5\n", ""},
      {"below -2^32 wraps", "-4294967297\n", 4294967295u, "Precteno 4294967295\n", ""},
      {"text, not a number", "abc def\nnext", 0, "Chybi hodnota v souboru!\nPrecteno 0abc def\n",
       "next"},
      {"lone sign is left for the echo", "-abc\nnext", 0,
       "Chybi hodnota v souboru!\nPrecteno 0-abc\n", "next"},
      {"sign then space", "+ 5\n", 0, "Chybi hodnota v souboru!\nPrecteno 0+ 5\n", ""},
      {"end of file", "", 0, "Chybi hodnota v souboru!\nPrecteno 0\n", ""},
      {"only white space", " \n\t\n", 0, "Chybi hodnota v souboru!\nPrecteno 0\n", ""},
      {"last line without line end", "9\tseed", 9, "Precteno 9\tseed\n", ""},
      {"trailing white space kept", "1  \t \nnext", 1, "Precteno 1  \t \n", "next"},
  };
  for (const entry_case& c : cases) {
    for (const bool crlf : {false, true}) {
      std::string file;
      for (char ch : c.file) {
        if (ch == '\n' && crlf) file += '\r';
        file += ch;
      }
      const read_outcome out = read_entries(file, 1);
      SCOPED_TRACE(std::string(c.name) + (crlf ? " (CR LF)" : " (LF)"));
      EXPECT_EQ(out.values.at(0), c.value);
      EXPECT_EQ(out.echo, c.echo);
      EXPECT_EQ(out.rest, c.rest);
    }
  }
}

TEST(ReadSetupValue, CarriageReturnInsideACommentIsEchoed) {
  const read_outcome out = read_entries("4 a\rb\r\r\nnext", 1);
  EXPECT_EQ(out.echo, "Precteno 4 a\rb\r\n");
  EXPECT_EQ(out.rest, "next");
}

TEST(ReadSetupValue, SixEntriesLeaveTwoWarnings) {
  const read_outcome out = read_entries("1\n2\n3\n4\n5\n6\n", 8);
  EXPECT_EQ(out.values, (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 0, 0}));
  EXPECT_EQ(out.echo,
            "Precteno 1\nPrecteno 2\nPrecteno 3\nPrecteno 4\nPrecteno 5\nPrecteno 6\n"
            "Chybi hodnota v souboru!\nPrecteno 0\nChybi hodnota v souboru!\nPrecteno 0\n");
}

TEST(ReadSetupValue, CommentLineTakesThePlaceOfAnEntry) {
  const read_outcome out = read_entries("# sizes\n10\n", 2);
  EXPECT_EQ(out.values, (std::vector<std::uint32_t>{0, 10}));
  EXPECT_EQ(out.echo, "Chybi hodnota v souboru!\nPrecteno 0# sizes\nPrecteno 10\n");
}

TEST(ReadSetupValue, VeryLongNumberAndCommentAreReadWhole) {
  std::string file(200000, '0');
  file += "17";
  file += std::string(100000, 'x');
  file += "\n";
  const read_outcome out = read_entries(file, 1);
  EXPECT_EQ(out.values.at(0), 17u);
  EXPECT_EQ(out.echo, "Precteno 17" + std::string(100000, 'x') + "\n");
}

TEST(ReadSetup, ReadsTheEightEntriesInOrder) {
  som::byte_reader reader(std::string_view("1\n2\n3\n4\n5\n6\n7\n8\nignored\n"));
  const som::setup_reading setup = som::read_setup(reader);
  EXPECT_EQ(som::message_of(som::setup_refusal(setup)), "");
  EXPECT_EQ(setup.echo,
            "Precteno 1\nPrecteno 2\nPrecteno 3\nPrecteno 4\nPrecteno 5\nPrecteno 6\n"
            "Precteno 7\nPrecteno 8\n");
  const som::setup_params& p = setup.params;
  EXPECT_EQ(p.map_rows, 1u);
  EXPECT_EQ(p.map_cols, 2u);
  EXPECT_EQ(p.dimension, 3u);
  EXPECT_EQ(p.radius_decay, 4u);
  EXPECT_EQ(p.rate_decay, 5u);
  EXPECT_EQ(p.stop_radius, 6u);
  EXPECT_EQ(p.Krok, 7u);
  EXPECT_EQ(p.seed, 8u);
}

// A setup that would train a wrong map is refused after its echo: a missing
// entry shifts the ones after it, a decimal value would be read as its whole
// part (0.5 as 0), and a number above 2^32 - 1 wraps.
TEST(ReadSetup, RefusesMissingEntriesThenDecimalsThenNumbersAboveTheRange) {
  const std::string missing = "Soubor setup.txt nema vsech osm hodnot, trenovani se neprovede.\n";
  const std::string above =
      "Hodnota v souboru setup.txt je vetsi nez 4294967295, trenovani se neprovede.\n";
  const auto decimal = [](const std::string& entry) {
    return "Hodnota v souboru setup.txt neni cele cislo (" + entry + "), trenovani se neprovede.\n";
  };
  const struct {
    const char* name;
    std::string file;
    std::string refusal;
  } cases[] = {
      {"eight entries", "1\n2\n3\n4\n5\n6\n7\n8\n", ""},
      {"largest value, leading zeros, -1 wraps", "4294967295\n0004294967295\n-1\n4\n5\n6\n7\n8\n",
       ""},
      {"Krok line deleted", "1\n2\n3\n4\n5\n6\n2026 seed\n", missing},
      {"comment line in place of an entry", "1\n# rows\n2\n3\n4\n5\n6\n7\n8\n", missing},
      {"empty file", "", missing},
      {"2^32", "1\n2\n3\n4\n5\n6\n4294967296\n8\n", above},
      {"-2^32", "1\n2\n3\n4\n5\n6\n7\n-4294967296\n", above},
      {"far above, wrapping to a small value", "18446744073709551621\n2\n3\n4\n5\n6\n7\n8\n",
       above},
      {"both: missing first", "99999999999\n2\n3\n4\n5\n6\n7\n", missing},
      {"decimal point", "1\n2\n3\n4\n0.5\trate_decay\n6\n7\n8\n", decimal("0.5")},
      {"decimal comma", "1\n2\n3\n1,5 radius_decay\n5\n6\n7\n8\n", decimal("1,5")},
      {"sign and digits after the mark", "1\n2\n3\n4\n5\n6\n7\n-2.25e3 seed\n", decimal("-2.25")},
      {"plus sign, leading zeros", "+007.50\n2\n3\n4\n5\n6\n7\n8\n", decimal("+007.50")},
      {"the first decimal is named", "1\n2.5\n3\n4,75\n5\n6\n7\n8\n", decimal("2.5")},
      {"decimal before above the range", "99999999999\n2\n3.5\n4\n5\n6\n7\n8\n", decimal("3.5")},
      {"decimal above the range", "1\n2\n3\n4\n5\n6\n7\n99999999999.5\n", decimal("99999999999.5")},
      {"missing before decimal", "0.5\n2\n3\n4\n5\n6\n7\n", missing},
      {"point without a digit after it", "1\n2\n3.\n4\n5\n6\n7\n8\n", ""},
      {"letters after the digits", "1\n2\n12abc\n4\n5\n6\n7\n8\n", ""},
      {"mark in the comment", "1\n2\n3 or 3.5\n4\n5\n6\n7\n8\n", ""},
      {"point then a space", "1\n2\n3. 5\n4\n5\n6\n7\n8\n", ""},
      {"mark without digits before it", "1\n2\n.5\n4\n5\n6\n7\n8\n", missing},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    som::byte_reader reader(c.file);
    EXPECT_EQ(som::message_of(som::setup_refusal(som::read_setup(reader))), c.refusal);
  }
}

// The decimal value of an entry, as written; its value and echo are those of
// any entry (the digits before the mark, then the rest of the line).
TEST(ReadSetupValue, DecimalValuesAsWritten) {
  const struct {
    std::string file;
    std::string decimal;
    std::uint32_t value;
    std::string echo;
  } cases[] = {
      {"0.5\trate_decay\n", "0.5", 0, "Precteno 0.5\trate_decay\n"},
      {"  \n 1,5\n", "1,5", 1, "Precteno 1,5\n"},
      {"-2.25.7\n", "-2.25", 4294967294u, "Precteno 4294967294.25.7\n"},
      {"3.\n", "", 3, "Precteno 3.\n"},
      {"3,x\n", "", 3, "Precteno 3,x\n"},
      {"12abc\n", "", 12, "Precteno 12abc\n"},
      {"- 0.5\n", "", 0, "Chybi hodnota v souboru!\nPrecteno 0- 0.5\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    for (const std::size_t piece : {c.file.size() + 1, std::size_t{1}}) {
      som_test::piecewise_source pieces(c.file, piece);
      som::byte_reader reader(pieces.source());
      std::string echo;
      std::string decimal = "left over";
      EXPECT_EQ(som::read_setup_value(reader, echo, nullptr, &decimal), c.value);
      EXPECT_EQ(decimal, c.decimal);
      EXPECT_EQ(echo, c.echo);
    }
  }
}

// Notepad's "UTF-8 with BOM" reads as without the mark; a setup.txt in
// UTF-16 is refused before anything of it is echoed.
TEST(ReadSetup, Utf8MarkSkippedUtf16Refused) {
  const std::string file = "1\trows\r\n2\n3\n4\n5\n6\n7\n8\n";
  som::byte_reader plain(file);
  const som::setup_reading expected = som::read_setup(plain);
  const std::string marked_file = std::string(som_test::utf8_mark) + file;
  som::byte_reader marked(marked_file);
  const som::setup_reading read = som::read_setup(marked);
  EXPECT_EQ(read.echo, expected.echo);
  EXPECT_EQ(read.params.map_rows, 1u);
  EXPECT_EQ(som::message_of(som::setup_refusal(read)), "");

  for (const std::string& bytes :
       {som_test::utf16(file), som_test::utf16(file, true), som_test::utf16(file, false, false)}) {
    som::byte_reader reader(bytes);
    const som::setup_reading refused = som::read_setup(reader);
    EXPECT_EQ(refused.echo, "");
    EXPECT_EQ(som::message_of(som::setup_refusal(refused)),
              "Soubor setup.txt je ulozen v kodovani UTF-16 (Unicode), ulozte ho jako UTF-8 nebo "
              "ANSI.\n");
  }
}

}  // namespace
