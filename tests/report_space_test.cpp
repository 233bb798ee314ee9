// The map in the data's space: principal components, the points and lines
// of the picture.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "report/data_space.hpp"
#include "report/data_space_svg.hpp"
#include "som/map/principal_components.hpp"
#include "support/map_values.hpp"
#include "support/page_reading.hpp"

namespace {

using point = std::pair<long, long>;
using som_test::grid_holder;
using som_test::samples_of;

// The hand-worked set: around (10, 10, 10), the differences (3, 3, 0),
// (-3, -3, 0), (1, -1, 0), (-1, 1, 0), (0, 0, 1), (0, 0, -1). Along
// (1, 1, 0)/√2 they lie at ±3√2 (mean square 36 / 6 = 6), along (1, -1, 0)/√2
// at ±√2 (4 / 6), along the third axis at ±1 (2 / 6): total 7, and the plane
// of the first two holds (6 + 2/3) / 7 = 20/21 of it.
std::vector<double> hand_set() {
  return {13, 13, 10, 7, 7, 10, 11, 9, 10, 9, 11, 10, 10, 10, 11, 10, 10, 9};
}

TEST(PrincipalComponents, HandWorkedSet) {
  std::vector<double> values = hand_set();
  const som::principal_plane plane = som::principal_components(samples_of(values, 3));
  ASSERT_EQ(plane.kind, som::plane_kind::principal);
  EXPECT_EQ(plane.rows_used, 6u);
  EXPECT_EQ(plane.mean, (std::vector<double>{10, 10, 10}));
  const double h = std::sqrt(0.5);
  const double expected[2][3] = {{h, h, 0}, {h, -h, 0}};  // largest component positive
  for (int a = 0; a < 2; ++a)
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(plane.axes[a][k], expected[a][k], 1e-12) << a << k;
  EXPECT_NEAR(plane.variance[0], 6.0, 1e-12);
  EXPECT_NEAR(plane.variance[1], 2.0 / 3.0, 1e-12);
  EXPECT_NEAR(plane.total_variance, 7.0, 1e-12);
  EXPECT_NEAR(plane.share, 20.0 / 21.0, 1e-12);
  const double first[3] = {13, 13, 10}, third[3] = {11, 9, 10}, fifth[3] = {10, 10, 11};
  EXPECT_NEAR(som::project(plane, first)[0], 3.0 * std::sqrt(2.0), 1e-12);
  EXPECT_NEAR(som::project(plane, first)[1], 0.0, 1e-12);
  EXPECT_NEAR(som::project(plane, third)[0], 0.0, 1e-12);
  EXPECT_NEAR(som::project(plane, third)[1], std::sqrt(2.0), 1e-12);
  EXPECT_NEAR(som::project(plane, fifth)[0], 0.0, 1e-12);
  EXPECT_NEAR(som::project(plane, fifth)[1], 0.0, 1e-12);

  // The same set in another order and with a sample that is not finite: the
  // same plane.
  std::vector<double> shuffled = {10, 10, 9, 11, 9, 10, 1.0 / 0.0, 0,  0,  13, 13,
                                  10, 7,  7, 10, 9, 11, 10,        10, 10, 11};
  const som::principal_plane again = som::principal_components(samples_of(shuffled, 3));
  EXPECT_EQ(again.rows_used, 6u);
  for (int a = 0; a < 2; ++a)
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(again.axes[a][k], expected[a][k], 1e-12);
}

void expect_finite(const som::principal_plane& plane) {
  for (double v : plane.mean) EXPECT_TRUE(std::isfinite(v));
  for (const std::vector<double>& axis : plane.axes) {
    double length = 0.0;
    for (double v : axis) {
      EXPECT_TRUE(std::isfinite(v));
      length += v * v;
    }
    EXPECT_NEAR(length, 1.0, 1e-12);
  }
  EXPECT_TRUE(std::isfinite(plane.share));
}

TEST(PrincipalComponents, DegenerateData) {
  // No sample, one sample, all alike: components 1 and 2, no share.
  for (std::vector<double> values : {std::vector<double>{}, std::vector<double>{1, 2, 3},
                                     std::vector<double>{1, 2, 3, 1, 2, 3, 1, 2, 3}}) {
    SCOPED_TRACE(values.size());
    const som::principal_plane plane = som::principal_components(samples_of(values, 3));
    EXPECT_EQ(plane.kind, som::plane_kind::no_spread);
    EXPECT_EQ(plane.axes[0], (std::vector<double>{1, 0, 0}));
    EXPECT_EQ(plane.axes[1], (std::vector<double>{0, 1, 0}));
    EXPECT_EQ(plane.share, 0.0);
    expect_finite(plane);
  }
  // A component without variance: the plane is the other two's.
  std::vector<double> flat = {0, 5, 0, 2, 5, 1, 4, 5, 0, 1, 5, 3};
  som::principal_plane plane = som::principal_components(samples_of(flat, 3));
  ASSERT_EQ(plane.kind, som::plane_kind::principal);
  EXPECT_NEAR(plane.axes[0][1], 0.0, 1e-12);
  EXPECT_NEAR(plane.axes[1][1], 0.0, 1e-12);
  EXPECT_NEAR(plane.share, 1.0, 1e-12);
  expect_finite(plane);
  // Samples on a line: the line, and a second axis square to it with no variance.
  std::vector<double> line = {1, 2, 3, 2, 4, 6, 3, 6, 9, -1, -2, -3};
  plane = som::principal_components(samples_of(line, 3));
  ASSERT_EQ(plane.kind, som::plane_kind::principal);
  const double n = std::sqrt(14.0);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(plane.axes[0][k], (k + 1) / n, 1e-12);
  double across = 0.0;
  for (int k = 0; k < 3; ++k) across += plane.axes[0][k] * plane.axes[1][k];
  EXPECT_NEAR(across, 0.0, 1e-12);
  EXPECT_NEAR(plane.variance[1], 0.0, 1e-12);
  EXPECT_NEAR(plane.share, 1.0, 1e-12);
  expect_finite(plane);
  // Only samples that are not finite.
  std::vector<double> broken = {std::numeric_limits<double>::quiet_NaN(), 0, 0, 1.0 / 0.0, 1, 1};
  plane = som::principal_components(samples_of(broken, 3));
  EXPECT_EQ(plane.kind, som::plane_kind::no_spread);
  EXPECT_EQ(plane.rows_used, 0u);
  expect_finite(plane);
  // Too many components to analyse.
  std::vector<double> wide(2 * (som::max_principal_dimension + 1), 1.0);
  wide[0] = 0.0;
  plane = som::principal_components(samples_of(wide, som::max_principal_dimension + 1));
  EXPECT_EQ(plane.kind, som::plane_kind::too_wide);
  expect_finite(plane);
}

// ---- The picture.

// The points of an SVG path as the picture writes it: M or m starts a
// subpath (relative after the first), l draws lines to the following pairs,
// h0 is a dot. Returns the dots, or the line segments as pairs of points.
struct path_parts {
  std::vector<point> dots;
  std::vector<std::pair<point, point>> segments;
};

path_parts read_path(const std::string& d) {
  path_parts out;
  point at{0, 0};
  char command = 0;
  std::size_t i = 0;
  auto number = [&]() {
    std::size_t used = 0;
    const long v = std::stol(d.substr(i), &used);
    i += used;
    return v;
  };
  while (i < d.size()) {
    if (d[i] == ' ') {
      ++i;
      continue;
    }
    if (std::isalpha(static_cast<unsigned char>(d[i]))) command = d[i++];
    if (command == 'M') {
      at = {number(), number()};
      command = 'l';  // what follows a move's pair is a line
    } else if (command == 'm') {
      at.first += number();
      at.second += number();
      command = 'l';
    } else if (command == 'l') {
      const point from = at;
      at.first += number();
      at.second += number();
      out.segments.push_back({from, at});
    } else if (command == 'h') {
      EXPECT_EQ(number(), 0);
      out.dots.push_back(at);
    } else {
      ADD_FAILURE() << "unexpected path command " << command;
      break;
    }
  }
  return out;
}

// The path of the picture's element of that class.
path_parts picture_path(const std::string& svg, const std::string& cls) {
  const std::string element = som_test::text_between(svg, "<path class=\"" + cls + "\"", "/>");
  return read_path(som_test::text_between(element, " d=\"", "\""));
}

TEST(DataSpace, OnePointPerNeuronAndALineToEachRightAndLowerNeighbour) {
  // 3 x 4 neurons of dimension 2 at (3 col + row², 2 row + col²): every
  // neuron at a place of its own.
  const std::uint32_t rows = 3, cols = 4;
  std::vector<double> weights;
  for (std::uint32_t r = 0; r < rows; ++r)
    for (std::uint32_t c = 0; c < cols; ++c) {
      weights.push_back(3.0 * c + r * r);
      weights.push_back(2.0 * r + c * c);
    }
  std::vector<double> samples = {0, 0, 5, 5, 9, 2};
  for (bool with_gap : {false, true}) {
    SCOPED_TRACE(with_gap);
    std::vector<double> w = weights;
    if (with_gap) w[2 * 5 + 1] = std::numeric_limits<double>::quiet_NaN();  // neuron (1, 1)
    grid_holder map(rows, cols, 2, w);
    const som::data_space_view view =
        som::make_data_space_view(map.grid, samples_of(samples, 2), som::assignment_table{});
    const std::string svg = som_test::with_svg_pictures_inline(som::draw_data_space(view, rows, cols, 3));
    EXPECT_TRUE(som_test::tags_balanced(svg));
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(picture_path(svg, "samples").dots.size(), 3u);

    // One dot per drawable neuron, in row-major order.
    const std::vector<point> dots = picture_path(svg, "neurons").dots;
    ASSERT_EQ(dots.size(), with_gap ? 11u : 12u);
    std::map<point, std::size_t> neuron_at;
    for (std::size_t n = 0, d = 0; n < rows * cols; ++n) {
      if (with_gap && n == 5) continue;
      neuron_at[dots[d++]] = n;
    }
    ASSERT_EQ(neuron_at.size(), dots.size());  // places of their own
    // Larger weights further right and further up.
    EXPECT_LT(dots[0].first, dots[1].first);
    EXPECT_GT(dots[0].second, dots[cols].second);

    // Every line joins a neuron to its right or lower neighbour, each pair once.
    std::set<std::pair<std::size_t, std::size_t>> joined;
    for (const auto& [from, to] : picture_path(svg, "links").segments) {
      ASSERT_TRUE(neuron_at.count(from) && neuron_at.count(to));
      const std::size_t a = std::min(neuron_at[from], neuron_at[to]);
      const std::size_t b = std::max(neuron_at[from], neuron_at[to]);
      EXPECT_TRUE((b == a + 1 && b % cols != 0) || b == a + cols) << a << " " << b;
      EXPECT_TRUE(joined.insert({a, b}).second) << a << " " << b;
    }
    // rows × (cols − 1) + (rows − 1) × cols = 17, less the four of (1, 1).
    EXPECT_EQ(joined.size(), with_gap ? 13u : 17u);
  }
}

TEST(DataSpace, ThinnedSamplesOneComponentAndCaptions) {
  // 25000 samples: every third is drawn.
  std::vector<double> many(25000 * 2);
  for (std::size_t i = 0; i < many.size(); ++i) many[i] = static_cast<double>(i % 97);
  grid_holder square(2, 2, 2, {0, 0, 0, 1, 1, 0, 1, 1});
  som::data_space_view view =
      som::make_data_space_view(square.grid, samples_of(many, 2), som::assignment_table{});
  EXPECT_EQ(view.sample_step, 3u);
  EXPECT_EQ(view.sample_x.size(), 8334u);
  EXPECT_EQ(view.neuron_x.size(), 4u);
  std::string svg = som_test::with_svg_pictures_inline(som::draw_data_space(view, 2, 2, 25000));
  EXPECT_EQ(picture_path(svg, "samples").dots.size(), 8334u);
  EXPECT_NE(svg.find("Zobrazen je kazdy 3. vzorek (8334 z 25000)."), std::string::npos);
  EXPECT_NE(svg.find("Rovina dat (slozky 1 a 2)."), std::string::npos);

  // One component: each weight against the neuron's column, each sample at
  // its neuron's column; a map of one column puts its rows along the axis.
  std::vector<double> values = {0.5, 2.5, 7.0};
  std::vector<som::assignment> records = {{0, 0}, {1, 2}, {0, 1}};
  const som::assignment_table table{records.data(), 3};
  grid_holder wide(2, 3, 1, {0, 1, 2, 3, 4, 5});
  view = som::make_data_space_view(wide.grid, samples_of(values, 1), table);
  EXPECT_EQ(view.neuron_x, (std::vector<double>{0, 1, 2, 0, 1, 2}));
  EXPECT_EQ(view.neuron_y, (std::vector<double>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(view.sample_x, (std::vector<double>{0, 2, 1}));
  EXPECT_EQ(view.sample_y, values);
  EXPECT_EQ(view.x_label, "sloupec neuronu");
  grid_holder tall(3, 1, 1, {4, 5, 6});
  std::vector<som::assignment> down = {{2, 0}, {0, 0}, {1, 0}};
  view = som::make_data_space_view(tall.grid, samples_of(values, 1),
                                   som::assignment_table{down.data(), 3});
  EXPECT_EQ(view.neuron_x, (std::vector<double>{0, 1, 2}));
  EXPECT_EQ(view.sample_x, (std::vector<double>{2, 0, 1}));
  EXPECT_EQ(view.x_label, "radek neuronu");

  // Three components: the principal plane and its share; samples all alike
  // and a sample that is not finite: components 1 and 2, said so, no NaN.
  std::vector<double> hand = hand_set();
  grid_holder cube(1, 2, 3, {10, 10, 10, 13, 13, 10});
  svg = som_test::with_svg_pictures_inline(som::draw_data_space(
      som::make_data_space_view(cube.grid, samples_of(hand, 3), som::assignment_table{}), 1, 2, 6));
  EXPECT_NE(svg.find("Rovina prvnich dvou hlavnich komponent dat: drzi 95.2 % rozptylu dat."),
            std::string::npos);
  std::vector<double> alike = {1, 1, 1, 1, 1, 1, std::numeric_limits<double>::infinity(), 0, 0};
  view = som::make_data_space_view(cube.grid, samples_of(alike, 3), som::assignment_table{});
  EXPECT_EQ(view.samples_not_finite, 1u);
  svg = som_test::with_svg_pictures_inline(som::draw_data_space(view, 1, 2, 3));
  EXPECT_NE(svg.find("Data nemaji zadny rozptyl"), std::string::npos);
  EXPECT_NE(svg.find("nezobrazeno: 1."), std::string::npos);
  EXPECT_EQ(svg.find("nan"), std::string::npos);
  EXPECT_EQ(svg.find("inf"), std::string::npos);
  EXPECT_EQ(picture_path(svg, "samples").dots.size(), 2u);
}

}  // namespace
