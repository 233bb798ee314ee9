#include "report/label_section.hpp"

#include <array>
#include <cmath>
#include <vector>

#include "common/natural_order.hpp"
#include "report/svg_parts.hpp"

namespace som {

namespace {

// Twenty colours that tell each other apart, the strongest first.
constexpr std::array<rgb, max_label_colours> label_colours = {{
    {31, 119, 180}, {255, 127, 14}, {44, 160, 44},  {214, 39, 40},  {148, 103, 189},
    {140, 86, 75},  {227, 119, 194}, {188, 189, 34}, {23, 190, 207}, {57, 59, 121},
    {99, 121, 57},  {140, 109, 49}, {132, 60, 57},  {123, 65, 115}, {230, 85, 13},
    {49, 163, 84},  {49, 130, 189}, {165, 81, 148}, {173, 73, 74},  {82, 84, 163},
}};
constexpr rgb other_colour = {110, 110, 110};
constexpr rgb empty_colour = {255, 255, 255};

// The colour faded towards white as the share falls; a neuron its label
// leads only barely still shows which label that is.
rgb with_strength(rgb colour, double share) {
  const double strength = 0.2 + 0.8 * share;
  rgb out{};
  for (int c = 0; c < 3; ++c) {
    const double v = 255.0 + (colour[c] - 255.0) * strength;
    out[c] = static_cast<std::uint8_t>(std::lround(v));
  }
  return out;
}

std::string swatch(rgb colour) {
  return "<span class=\"swatch\" style=\"background:" + hex(colour) + "\"></span>";
}

// The labels that have a colour of their own, in natural order.
std::vector<std::size_t> coloured_in_order(const sample_labels& labels) {
  const std::size_t coloured = std::min<std::size_t>(labels.names.size(), max_label_colours);
  std::vector<std::string> names;
  names.reserve(coloured);
  for (std::size_t l = 0; l < coloured; ++l) names.emplace_back(labels.names[l]);
  return natural_order(names);
}

}  // namespace

rgb label_colour(std::uint32_t label) {
  return label < max_label_colours ? label_colours[label] : other_colour;
}

std::string label_legend(const sample_labels& labels) {
  std::string out = "<ul class=\"labels\">";
  for (std::size_t l : coloured_in_order(labels))
    out += "<li>" + swatch(label_colour(static_cast<std::uint32_t>(l))) +
           html_text(labels.names[l]) + "</li>";
  if (labels.names.size() > max_label_colours) out += "<li>" + swatch(other_colour) + "jine</li>";
  return out + "</ul>";
}

std::string label_swatch(std::uint32_t label) { return swatch(label_colour(label)); }

std::string label_section(const label_map& map, const sample_labels& labels,
                          std::uint32_t map_rows, std::uint32_t map_cols, double map_side,
                          const std::string& overlay) {
  const std::size_t kinds = labels.names.size();
  const std::size_t coloured = std::min<std::size_t>(kinds, max_label_colours);
  std::string out = "<section id=\"popisky\"><h2>Popisky vzorku</h2>";
  out +=
      "<p class=\"note\">Kazdy neuron v barve nejcastejsiho popisku (popisky.txt) mezi vzorky, ktere "
      "mu vystup.txt prirazuje; sytost barvy je podil toho popisku mezi popsanymi vzorky neuronu "
      "(plna barva: vsechny maji tento popisek). Bile neurony nemaji zadny popsany vzorek.";
  if (kinds > coloured) {
    out += " Barvu ma " + int_text(coloured) + " nejcastejsich popisku, ostatni (" +
           int_text(kinds - coloured) + ") jsou sede jako \"jine\".";
  }
  out += "</p>";

  std::vector<rgb> pixels(map.majority.size());
  for (std::size_t n = 0; n < pixels.size(); ++n) {
    pixels[n] = map.majority[n] == no_label ? empty_colour
                                            : with_strength(label_colour(map.majority[n]), map.share[n]);
  }
  const box b = map_box(map_rows, map_cols, map_side);
  out += "<figure>";
  out += map_picture(encode_png_rgb(map_cols, map_rows, pixels), map_rows, map_cols, b,
                     "Nejcastejsi popisek neuronu", overlay);
  out += "<figcaption>Nejcastejsi popisek neuronu</figcaption>" + label_legend(labels) + "</figure>";

  // Purity: per label, its samples on neurons where it is the majority.
  out +=
      "<table class=\"purity\"><tr><th>Popisek</th><th>Vzorku</th><th>Na neuronech, kde prevazuje</th>"
      "<th>Cistota</th></tr>";
  auto row = [&](const std::string& name, std::uint64_t samples, std::uint64_t on_majority) {
    out += "<tr><td>" + name + "</td><td class=\"n\">" + int_text(samples) + "</td><td class=\"n\">" +
           int_text(on_majority) + "</td><td class=\"n\">" + percent_text(on_majority, samples) +
           "</td></tr>";
  };
  for (std::size_t l : coloured_in_order(labels)) {
    row(swatch(label_colour(static_cast<std::uint32_t>(l))) + html_text(labels.names[l]),
        labels.counts[l], map.on_majority[l]);
  }
  if (kinds > coloured) {
    std::uint64_t samples = 0, on_majority = 0;
    for (std::size_t l = coloured; l < kinds; ++l) {
      samples += labels.counts[l];
      on_majority += map.on_majority[l];
    }
    row(swatch(other_colour) + "jine", samples, on_majority);
  }
  out += "<tr class=\"total\"><td>Cela mapa</td><td class=\"n\">" + int_text(map.labelled) +
         "</td><td class=\"n\">" + int_text(map.labelled_on_majority) + "</td><td class=\"n\" id=\"cistota\">" +
         percent_text(map.labelled_on_majority, map.labelled) + "</td></tr></table>";
  out +=
      "<p class=\"note\">Cistota: podil vzorku popisku, ktere lezi na neuronech, kde je jejich popisek "
      "nejcastejsi. Mapa, ktera se naucila, co popisky rozlisuji, ma vysokou cistotu.";
  const std::uint64_t unlabelled = labels.of_sample.size() - map.labelled;
  if (unlabelled != 0) out += " Bez popisku: " + int_text(unlabelled) + " vzorku.";
  out += "</p></section>\n";
  return out;
}

}  // namespace som
