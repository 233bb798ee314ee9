// The map's clusters and som_map's new samples on the report's page: the
// borders where the clusters meet, each cluster's neurons, samples and most
// frequent label, and zarazeni.txt's hits beside the training's with the
// accuracy of its true labels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "report/cluster_section.hpp"
#include "som/map/map_clusters.hpp"
#include "support/background_program.hpp"
#include "support/map_values.hpp"
#include "support/page_reading.hpp"
#include "support/program_runner.hpp"
#include "support/setup_text.hpp"

namespace {

using som_test::host_lines;
using som_test::temp_folder;

std::size_t count_of(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

// A 2 x 3 map on a grid of 10-pixel cells: clusters 1 1 2 / 3 3 2.
TEST(ClusterSection, BordersWhereNeighboursDiffer) {
  const som::box b{30.0, 20.0, 10.0};
  const std::string svg = som::cluster_borders({1, 1, 2, 3, 3, 2}, 2, 3, b);
  // Right edges: (0,1)|(0,2) and (1,1)|(1,2); lower edges: (0,0) and (0,1).
  for (const char* segment : {"M20.0 0.0L20.0 10.0", "M20.0 10.0L20.0 20.0", "M0.0 10.0L10.0 10.0",
                              "M10.0 10.0L20.0 10.0"})
    EXPECT_EQ(count_of(svg, segment), 2u) << segment;  // dark under light
  EXPECT_EQ(count_of(svg, "M"), 8u);
  EXPECT_EQ(som::cluster_borders({4, 4, 4, 4}, 2, 2, b), "");
}

// Samples per cluster, and its most frequent label: equal counts go to the
// label more frequent in the whole file (the lower number, as
// sample_labels numbers them).
TEST(ClusterSection, SizesSharesAndMajorityLabels) {
  // Map 1 x 3, clusters 1 2 2; labels a and b, three samples each (a first
  // in the file).
  std::vector<som::assignment> records = {{0, 0}, {0, 1}, {0, 2}, {0, 2}, {0, 1}, {0, 0}, {0, 2}};
  som::assignment_table assignments{records.data(), static_cast<std::uint32_t>(records.size())};
  som::sample_labels labels;
  labels.present = true;
  labels.names.push_back("a");
  labels.names.push_back("b");
  labels.counts = {3, 3};
  const std::uint32_t none = som::no_label;
  labels.of_sample = {1, 0, 1, 0, none, 0, 1};
  const std::vector<som::cluster_summary> got =
      som::summarize_clusters({1, 2, 2}, 2, assignments, 3, &labels);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].neurons, 1u);
  EXPECT_EQ(got[0].samples, 2u);
  EXPECT_EQ(got[0].labelled, 2u);
  EXPECT_EQ(got[0].majority, 0u);
  EXPECT_EQ(got[0].majority_samples, 1u);
  EXPECT_EQ(got[1].neurons, 2u);
  EXPECT_EQ(got[1].samples, 5u);
  EXPECT_EQ(got[1].labelled, 4u);
  // Two samples of a, two of b: a, the label before b.
  EXPECT_EQ(got[1].majority, 0u);
  EXPECT_EQ(got[1].majority_samples, 2u);
  // Without labels nothing leads.
  EXPECT_EQ(som::summarize_clusters({1, 2, 2}, 2, assignments, 3, nullptr)[1].majority, none);
}

// Two groups of samples trained on a 4 x 4 map with labels; --shluky 2 on
// the page: borders over the U-matrix and the label map, and a table whose
// neurons are map_clusters' and whose samples add up.
void write_trained_run(const temp_folder& folder) {
  folder.write("setup.txt", som_test::setup_text({.map_rows = 4,
                                                  .map_cols = 4,
                                                  .dimension = 2,
                                                  .radius_decay = 4,
                                                  .rate_decay = 10,
                                                  .stop_radius = 1,
                                                  .Krok = 0,
                                                  .seed = 3}));
  std::string data, labels;
  for (int i = 0; i < 20; ++i) {
    const double d = 0.01 * i;
    data += std::to_string(d) + " " + std::to_string(0.1 - d) + "\n";
    data += std::to_string(5 + d) + " " + std::to_string(5 - d) + "\n";
    labels += "lo\nhi\n";
  }
  folder.write("data.txt", host_lines(data));
  folder.write("popisky.txt", host_lines(labels));
  ASSERT_EQ(som_test::run_program(folder).status, 0);
}

TEST(ReportClusters, ThePageShowsTheClusters) {
  temp_folder folder;
  write_trained_run(folder);
  som_test::background_program report(folder, SOM_REPORT_EXE, {"--shluky", "2"});
  ASSERT_EQ(report.wait(), 0) << report.console();
  const std::string page = folder.read("report.html");
  EXPECT_TRUE(som_test::tags_balanced(page));
  EXPECT_EQ(count_of(page, "<g class=\"borders\""), 2u);
  const std::string table = som_test::text_between(page, "<table class=\"clusters\">", "</table>");
  ASSERT_FALSE(table.empty());
  // The neurons of each cluster as map_clusters counts them on vahy.bin.
  const std::string bytes = folder.read("vahy.bin");
  std::vector<double> weights(bytes.size() / sizeof(double));
  std::memcpy(weights.data(), bytes.data(), weights.size() * sizeof(double));
  const som_test::grid_holder grid(4, 4, 2, weights);
  const std::vector<std::uint32_t> clusters = som::map_clusters(grid.grid, 2);
  for (std::uint32_t k = 1; k <= 2; ++k) {
    const auto neurons = std::count(clusters.begin(), clusters.end(), k);
    EXPECT_NE(table.find("<tr><td class=\"n\">" + std::to_string(k) + "</td><td class=\"n\">" +
                         std::to_string(neurons) + "</td>"),
              std::string::npos)
        << table;
  }
  // Each group on its own cluster, all its samples of one label.
  EXPECT_EQ(count_of(table, "<tr>"), 3u);
  EXPECT_NE(table.find("<td class=\"n\">20</td><td class=\"n\">50.0 %</td>"), std::string::npos)
      << table;
  EXPECT_EQ(count_of(table, "<td class=\"n\">100.0 %</td>"), 2u) << table;
  EXPECT_NE(table.find(">lo</td>"), std::string::npos);
  EXPECT_NE(table.find(">hi</td>"), std::string::npos);

  // The same K without --shluky: no borders, no table.
  som_test::background_program plain(folder, SOM_REPORT_EXE, {});
  ASSERT_EQ(plain.wait(), 0);
  EXPECT_EQ(folder.read("report.html").find("class=\"borders\""), std::string::npos);
}

// som_map's zarazeni.txt on the page: its hits beside the training's, and
// the accuracy it printed; one that does not fit gets a note, and the page
// is still written.
TEST(ReportClusters, NewSamplesBesideTheTraining) {
  temp_folder folder;
  write_trained_run(folder);
  folder.write("nove.txt", host_lines("0 0.1\n5 5\n5.1 4.9\n0.05 0.05\n"));
  folder.write("skutecne.txt", host_lines("lo\nhi\nlo\nlo\n"));
  som_test::background_program mapping(folder, SOM_MAP_EXE,
                                       {"nove.txt", "--popisky", "skutecne.txt"});
  ASSERT_EQ(mapping.wait(), 0) << mapping.console();
  EXPECT_NE(mapping.console().find("Presnost: 75.0 % (3 z 4 vzorku se skutecnym popiskem)"),
            std::string::npos)
      << mapping.console();

  som_test::background_program report(folder, SOM_REPORT_EXE, {});
  ASSERT_EQ(report.wait(), 0) << report.console();
  std::string page = folder.read("report.html");
  EXPECT_TRUE(som_test::tags_balanced(page));
  const std::string section =
      som_test::text_between(page, "<section id=\"zarazeni\">", "</section>");
  ASSERT_FALSE(section.empty());
  EXPECT_EQ(som_test::text_between(section, "id=\"presnost\">", "<"), "75.0 %");
  EXPECT_NE(section.find("Zasahy trenovacich vzorku"), std::string::npos);
  EXPECT_NE(section.find("Zasahy novych vzorku"), std::string::npos);
  EXPECT_NE(section.find(">4</td>"), std::string::npos) << section;
  SOM_SKIP_UNLESS_PNG_PIXELS_DECODED();
  // The pictures of the page: U-matrix, hits, labels, then the two of the section.
  EXPECT_EQ(som_test::page_pictures(section).size(), 2u);

  // A mapping onto a larger map, and a line that is not the format.
  folder.write("zarazeni.txt", host_lines("radek\tsloupec\tvzdalenost\tsousedni\n7\t0\t0.5\t1\n"));
  som_test::background_program other(folder, SOM_REPORT_EXE, {});
  ASSERT_EQ(other.wait(), 0);
  page = folder.read("report.html");
  EXPECT_NE(
      page.find("<p class=\"warning\">Soubor zarazeni.txt patri k jine mape (neuron 7, 0 na teto "
                "mape neni); spustte som_map znovu.</p>"),
      std::string::npos);
  folder.write("zarazeni.txt", host_lines("radek\tsloupec\n0\n"));
  som_test::background_program broken(folder, SOM_REPORT_EXE, {});
  ASSERT_EQ(broken.wait(), 0);
  EXPECT_NE(folder.read("report.html")
                .find("<p class=\"warning\">Soubor zarazeni.txt ma chybny radek 1; "
                      "nove vzorky se neukazuji.</p>"),
            std::string::npos);
}

}  // namespace
