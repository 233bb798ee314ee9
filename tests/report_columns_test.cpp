// The page with the names and units of sloupce.txt, the order of the
// labels' legend, the user's text on the page, and the page's title and
// captions.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "common/messages.hpp"
#include "formats/labels_file.hpp"
#include "report/codebook_picture.hpp"
#include "report/data_space.hpp"
#include "report/data_space_svg.hpp"
#include "report/html_text.hpp"
#include "som/map/label_map.hpp"
#include "report/label_section.hpp"
#include "common/natural_order.hpp"
#include "report/report_html.hpp"
#include "support/background_program.hpp"
#include "support/map_values.hpp"
#include "support/page_reading.hpp"
#include "support/program_runner.hpp"
#include "support/report_run.hpp"

namespace {

using som_test::decoded_png;
using som_test::page_pictures;
using som_test::run_holder;
using som_test::tags_balanced;
using som_test::text_between;
using som_test::with_svg_pictures_inline;

// Whether `parts` stand in `text` in this order.
::testing::AssertionResult in_order(const std::string& text, const std::vector<std::string>& parts) {
  std::size_t at = 0;
  for (const std::string& part : parts) {
    const std::size_t found = text.find(part, at);
    if (found == std::string::npos)
      return ::testing::AssertionFailure() << "\"" << part << "\" is missing or out of order";
    at = found + part.size();
  }
  return ::testing::AssertionSuccess();
}

// ---- The order of the labels.

TEST(NaturalOrder, NumbersByValueThenTextTheCzechWay) {
  const std::vector<std::string> sorted = {
      // Numbers, by value, exactly; equal values by their bytes.
      "-12", "-2", "-1.5", "-0", "0", "0.25", "0,5", "0.5", "1", "1.00", "+1.25", "2", "007", "10",
      "99999999999999999998", "99999999999999999999",
      // Text: blanks and punctuation, then digits (as numbers), then letters.
      "-x", "1.5.2", "1e3", "A", "a", "ábc", "abd", "b", "c", "cz", "čaj", "d", "h", "hz", "CHATA",
      "chata", "i", "lod", "Łódź", "m", "r", "rz", "řeka", "s", "sz", "šum", "trida 2", "trida 10",
      "ůl", "um", "uz", "x-1", "x1", "x2", "x10", "z", "zz", "žába", "Ω"};
  std::vector<std::string> shuffled = sorted;
  std::mt19937 random(7);
  for (int round = 0; round < 5; ++round) {
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    std::vector<std::string> ordered;
    for (std::size_t i : som::natural_order(shuffled)) ordered.push_back(shuffled[i]);
    EXPECT_EQ(ordered, sorted);
  }
  for (const std::string& label : sorted) EXPECT_FALSE(som::natural_less(label, label)) << label;
  // Not numbers: a sign or a point alone, a point without digits after it.
  EXPECT_TRUE(som::natural_less("999", "-"));
  EXPECT_TRUE(som::natural_less("999", "5."));
  EXPECT_TRUE(som::natural_less("999", ".5x"));
  EXPECT_TRUE(som::natural_less("-0.5", ".75"));
  // Bytes that are not UTF-8 come after every letter, and still in one order.
  EXPECT_TRUE(som::natural_less("zz", "\xff"));
  EXPECT_TRUE(som::natural_less("\xc3", "\xff"));
}

TEST(HtmlText, EscapedAndOnlyText) {
  struct text_case {
    std::string raw, html;
  };
  const std::vector<text_case> cases = {
      {"<b>&\"x'", "&lt;b&gt;&amp;&quot;x&#39;"},
      {"šířka\tžluť 😀", "šířka\tžluť 😀"},
      {"a\xff" "b", "a\xEF\xBF\xBD" "b"},           // not UTF-8
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},     // an overlong '/'
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
      {"\xE2\x82", "\xEF\xBF\xBD\xEF\xBF\xBD"},     // cut short
      {"a\x01" "b\x7F", "a\xEF\xBF\xBD" "b\xEF\xBF\xBD"},  // control characters
  };
  for (const text_case& c : cases) EXPECT_EQ(som::html_text(c.raw), c.html) << c.raw;
}

TEST(LabelSection, LegendAndPurityInNaturalOrderColoursByFrequency) {
  // By frequency: 10 (5 samples), 9 (4), b (3), -1 (2), A (1).
  std::string bytes;
  for (const auto& [label, count] :
       std::vector<std::pair<std::string, int>>{{"10", 5}, {"9", 4}, {"b", 3}, {"-1", 2}, {"A", 1}})
    for (int i = 0; i < count; ++i) bytes += label + "\n";
  const som::labels_reading read = som::read_labels(bytes, 15);
  ASSERT_TRUE(read.ok()) << som::message_of(read.problem);
  std::vector<som::assignment> records(15, som::assignment{0, 0});
  const som::assignment_table table{records.data(), 15};
  const std::string section =
      som::label_section(som::map_labels(1, 1, table, read.labels), read.labels, 1, 1, 320.0);
  EXPECT_TRUE(tags_balanced(section));
  const std::string legend = text_between(section, "<ul class=\"labels\">", "</ul>");
  EXPECT_TRUE(in_order(legend, {">-1</li>", ">9</li>", ">10</li>", ">A</li>", ">b</li>"}));
  // The most frequent label keeps the first colour, the fourth the fourth.
  EXPECT_NE(legend.find("background:#1f77b4\"></span>10</li>"), std::string::npos);
  EXPECT_NE(legend.find("background:#d62728\"></span>-1</li>"), std::string::npos);
  const std::string purity = text_between(section, "<table class=\"purity\">", "</table>");
  EXPECT_TRUE(in_order(purity, {"</span>-1</td>", "</span>9</td>", "</span>10</td>",
                                "</span>A</td>", "</span>b</td>", "Cela mapa"}));
}

// ---- sloupce.txt on the page.

// Two columns: component 1 in units of 2 around 10, component 2 in units of
// 0.5 around -1, with names that are not markup.
som::data_columns two_columns() {
  som::data_columns columns;
  columns.present = true;
  columns.columns = {{"délka <cm>", 10.0, 2.0}, {"a & \"b\"", -1.0, 0.5}};
  return columns;
}

TEST(ReportPage, ColumnNamesAndTheTablesUnits) {
  // A 2 x 2 map of dimension 2: component 1 is 0 1 2 3 (10 12 14 16 in the
  // table), component 2 is 3 2 1 0 (0.5 0 -0.5 -1).
  run_holder run(2, 2, 2, {0, 3, 1, 2, 2, 1, 3, 0}, {0, 0, 3, 3}, {{0, 0}, {1, 1}});
  const som::data_columns columns = two_columns();
  som::page_extras extras;
  extras.columns = &columns;
  const std::string page = som::render_report(run.run, extras);
  EXPECT_TRUE(tags_balanced(page));

  // The planes: named, their colour bars in the table's units.
  EXPECT_EQ(page.find("Slozka 1"), std::string::npos);
  EXPECT_NE(page.find("<figcaption>délka &lt;cm&gt; <span class=\"k\">(slozka 1)</span></figcaption>"),
            std::string::npos);
  EXPECT_NE(page.find("<figcaption>a &amp; &quot;b&quot; <span class=\"k\">(slozka 2)</span>"
                      "</figcaption>"),
            std::string::npos);
  EXPECT_NE(page.find("alt=\"a &amp; &quot;b&quot;\""), std::string::npos);
  const std::string bar1 = text_between(page, "id=\"scale-c1\"", "</svg>");
  EXPECT_TRUE(in_order(bar1, {">10</text>", ">13</text>", ">16</text>"}));
  const std::string bar2 = text_between(page, "id=\"scale-c2\"", "</svg>");
  EXPECT_TRUE(in_order(bar2, {">-1</text>", ">0.5</text>"}));

  // The summary lists the columns as sloupce.txt holds them.
  EXPECT_NE(page.find("<tr><td class=\"n\">1</td><td>délka &lt;cm&gt;</td><td class=\"n\">10</td>"
                      "<td class=\"n\">2</td></tr>"),
            std::string::npos);
  EXPECT_NE(page.find("<td>a &amp; &quot;b&quot;</td><td class=\"n\">-1</td><td class=\"n\">0.5</td>"),
            std::string::npos);

  // The profiles: what the bottom (0) and top (3) of their scale are per column.
  EXPECT_NE(page.find("<tr><td class=\"n\">2</td><td>a &amp; &quot;b&quot;</td><td class=\"n\">-1</td>"
                      "<td class=\"n\">0.5</td></tr>"),
            std::string::npos);

  // The data space: the names on the axes, numbers in the table's units.
  const std::string inline_page = with_svg_pictures_inline(page);
  EXPECT_TRUE(tags_balanced(inline_page));
  const std::string space = text_between(inline_page, "<section id=\"prostor\">", "</section>");
  EXPECT_TRUE(in_order(space, {">10</text>", ">13</text>", ">16</text>"}));
  EXPECT_TRUE(in_order(space, {">-1</text>", ">-0.5</text>", ">0</text>", ">0.5</text>"}));
  EXPECT_NE(space.find(">délka &lt;cm&gt;</text>"), std::string::npos);
  EXPECT_NE(space.find(">a &amp; &quot;b&quot;</text>"), std::string::npos);
  EXPECT_NE(space.find("cisla na osach jsou v jednotkach tabulky"), std::string::npos);

  // Without sloupce.txt: as before.
  const std::string plain = som::render_report(run.run);
  EXPECT_NE(plain.find("<figcaption>Slozka 2</figcaption>"), std::string::npos);
  EXPECT_EQ(plain.find("sloupce.txt"), std::string::npos);
  EXPECT_NE(with_svg_pictures_inline(plain).find(">slozka 1</text>"), std::string::npos);
}

TEST(ReportPage, ColourPictureFromTheTablesUnits) {
  // Neuron 0: (1, -1, 0), neuron 1: (0, 0.5, -0.5).
  const std::vector<double> weights = {1, -1, 0, 0, 0.5, -0.5};
  // The samples lie in [0, 1] in the table's units (one a rounding above 1).
  run_holder run(1, 2, 3, weights, {1, 1, 1, -1, -1, -1, 1.0000000000000004, 0, 0}, {});
  som::data_columns columns;
  columns.present = true;
  columns.columns = {{"R", 0.5, 0.5}, {"G", 0.5, 0.5}, {"B", 0.5, 0.5}};
  som::page_extras extras;
  extras.columns = &columns;
  struct colour_case {
    const char* name;
    double centre;
    const char* caption;
    std::string pixels;
  };
  const std::vector<colour_case> cases = {
      // In the table: (1, 0, 0.5) and (0.5, 0.75, 0.25).
      {"table units", 0.5, "R, G, B<br/>jako cervena, zelena, modra, v jednotkach tabulky",
       std::string("\xff\x00\x80\x80\xbf\x40", 6)},
      // Far from [0, 1]: each component from its lowest weight to its highest.
      {"stretched", 100.0, "kazda od sve nejnizsi vahy", std::string("\xff\x00\xff\x00\xff\x00", 6)},
  };
  for (const colour_case& c : cases) {
    SCOPED_TRACE(c.name);
    for (som::column_scaling& column : columns.columns) column.centre = c.centre;
    const std::string page = som::render_report(run.run, extras);
    EXPECT_NE(page.find(c.caption), std::string::npos);
    const std::vector<decoded_png> pictures = page_pictures(page);
    ASSERT_EQ(pictures.size(), 2u + 1u + 3u);
    if (!som_test::png_pixels_decoded) continue;
    ASSERT_EQ(pictures[2].rows.size(), 1u);
    EXPECT_EQ(pictures[2].rows[0], c.pixels);
  }
}

TEST(CodebookPicture, ImagesInTheTablesUnits) {
  // Component 2 in tenths: neuron 0 is (0, 1) in the table, (0, 0.1) in data.txt.
  som_test::grid_holder map(1, 2, 2, {0.0, 0.1, 1.0, 0.0});
  som::data_columns columns;
  columns.present = true;
  columns.columns = {{"a", 0.0, 1.0}, {"b", 0.0, 10.0}};
  const std::string section = som::codebook_section(map.grid, {2, 1}, 320.0, &columns);
  EXPECT_NE(section.find("v jednotkach tabulky"), std::string::npos);
  const std::vector<decoded_png> table = page_pictures(section, "codebook");
  const std::vector<decoded_png> plain =
      page_pictures(som::codebook_section(map.grid, {2, 1}, 320.0), "codebook");
  ASSERT_EQ(table.size(), 1u);
  ASSERT_EQ(plain.size(), 1u);
  SOM_SKIP_UNLESS_PNG_PIXELS_DECODED();
  // Neuron 0's second pixel: black (the table's highest), grey 25 in data.txt's values.
  EXPECT_EQ(static_cast<unsigned char>(table[0].rows[1][2]), 250u);
  EXPECT_EQ(static_cast<unsigned char>(plain[0].rows[1][2]), 25u);
}

TEST(DataSpace, SamplesInTheColoursOfTheirLabels) {
  // 27 samples: "a" on 3, "b" on 2, one without a label, and 21 labels of
  // one sample each, of which the last three are beyond the twenty colours.
  std::string bytes = "a\na\na\nb\nb\n\n";
  for (int i = 0; i < 21; ++i) bytes += "k" + std::to_string(100 + i) + "\n";
  const som::labels_reading read = som::read_labels(bytes, 27);
  ASSERT_TRUE(read.ok()) << som::message_of(read.problem);
  std::vector<double> values;
  for (int i = 0; i < 27; ++i) {
    values.push_back(i);
    values.push_back(i % 5);
  }
  som_test::grid_holder map(1, 2, 2, {0, 0, 26, 4});
  const som::data_space_view view = som::make_data_space_view(
      map.grid, som_test::samples_of(values, 2), som::assignment_table{});
  const std::string figure =
      with_svg_pictures_inline(som::draw_data_space(view, 1, 2, 27, &read.labels));
  EXPECT_TRUE(tags_balanced(figure));
  EXPECT_EQ(figure.find("<path class=\"samples\""), std::string::npos);
  // One path per colour: without a label, "jine", then the labels from the most frequent.
  auto dots = [&](const std::string& colour) {
    const std::string d =
        text_between(figure, "<path class=\"label\" stroke=\"" + colour + "\" d=\"", "\"");
    std::size_t count = 0;
    for (std::size_t at = d.find("h0"); at != std::string::npos; at = d.find("h0", at + 1)) ++count;
    return count;
  };
  EXPECT_EQ(dots("#c4c4c4"), 1u);
  EXPECT_EQ(dots("#6e6e6e"), 3u);
  EXPECT_EQ(dots("#1f77b4"), 3u);
  EXPECT_EQ(dots("#ff7f0e"), 2u);
  EXPECT_TRUE(in_order(figure, {"stroke=\"#c4c4c4\"", "stroke=\"#6e6e6e\"", "stroke=\"#1f77b4\"",
                                "stroke=\"#ff7f0e\"", "class=\"neurons\" stroke=\"#333333\""}));
  // The legend of the labels map, under the caption.
  EXPECT_TRUE(in_order(figure, {"popisky.txt", "<ul class=\"labels\">", ">a</li>", ">b</li>",
                                ">k100</li>", ">jine</li>"}));
}

// ---- The title and the captions.

TEST(ReportPage, TitleAndRadiusOfThisMap) {
  run_holder run(3, 5, 1, std::vector<double>(15, 0.0), {0.5}, {{1, 1}});
  run.run.setup.radius_decay = 50;
  som::page_extras extras;
  extras.folder = "můj <běh>";
  std::string page = som::render_report(run.run, extras);
  EXPECT_NE(page.find("<title>můj &lt;běh&gt; - Samoorganizujici mapa 3 x 5</title>"),
            std::string::npos);
  EXPECT_NE(page.find("<h1>můj &lt;běh&gt; - Samoorganizujici mapa 3 x 5</h1>"), std::string::npos);
  EXPECT_NE(page.find("Na teto mape 3 x 5 je Radius na Kroku 0 3^2 + 5^2 = 34 a klesa jako 34 / "
                      "(Krok / radius_decay + 1), s radius_decay 50."),
            std::string::npos);
  EXPECT_EQ(page.find("12^2"), std::string::npos);
  EXPECT_EQ(page.find("<image"), std::string::npos);

  // Without a folder's name; a size whose square wraps as the training's does.
  run.run.setup.map_rows = 1;
  run.run.setup.map_cols = 65536;
  run.run.has_map = false;
  page = som::render_report(run.run);
  EXPECT_NE(page.find("<title>Samoorganizujici mapa 1 x 65536</title>"), std::string::npos);
  EXPECT_NE(page.find("1^2 + 65536^2 = 1 (soucet modulo 2^32"), std::string::npos);
}

// ---- From a spreadsheet's export to the page.

TEST(ReportProgram, AnExcelExportsNamesOnThePage) {
  // Windows-1250, semicolons, decimal commas, quoted names with diacritics
  // and a quote: converted, trained, drawn.
  som_test::temp_folder folder;
  som_test::background_program convert(
      folder, SOM_DATA_EXE,
      {std::string(SOM_SOURCE_DIR) + "/tests/data/tables/excel_cz.csv", "--popisky", "trida"});
  ASSERT_EQ(convert.wait(), 0) << convert.console();
  ASSERT_EQ(som_test::run_program(folder).status, 0);
  som_test::background_program report(folder, SOM_REPORT_EXE, {});
  ASSERT_EQ(report.wait(), 0) << report.console();
  const std::string page = folder.read("report.html");
  EXPECT_TRUE(tags_balanced(page));
  EXPECT_TRUE(in_order(page, {"<figcaption>Délka kališního lístku (cm) <span class=\"k\">(slozka 1)",
                              "<figcaption>Šířka; kališního lístku (cm) <span class=\"k\">(slozka 2)",
                              "<figcaption>Hmotnost &quot;g&quot; <span class=\"k\">(slozka 3)"}));
  // Lengths of a few centimetres are no colours: each component stretched.
  EXPECT_NE(page.find("kazda od sve nejnizsi vahy"), std::string::npos);
  // Czech order: r, ř, s, š, t, u, v.
  EXPECT_TRUE(in_order(text_between(page, "<ul class=\"labels\">", "</ul>"),
                       {"kosatec různobarvý", "kosatec štětinatý", "kosatec virginský"}));
  EXPECT_NE(page.find("<title>" + folder.path().filename().string() + " - "), std::string::npos);
}

}  // namespace
