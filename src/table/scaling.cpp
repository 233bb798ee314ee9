#include "table/scaling.hpp"

#include <cmath>

namespace som {

scaling_choice choose_scaling(const table_survey& survey, scaling_kind kind,
                              const std::string& table_name) {
  scaling_choice out;
  for (std::size_t c = 0; c < survey.components.size(); ++c) {
    const component_statistics& s = survey.statistics[c];
    column_scaling column;
    column.name = survey.columns[survey.components[c]].name;
    bool spread = true;
    switch (kind) {
      case scaling_kind::standard:
        column.centre = s.moments.mean();
        spread = !s.moments.constant();
        column.scale = spread ? s.moments.sample_sd() : 1.0;
        break;
      case scaling_kind::range:
        column.centre = s.minimum;
        spread = s.maximum != s.minimum;
        column.scale = spread ? s.maximum - s.minimum : 1.0;
        break;
      case scaling_kind::none:
        spread = s.maximum != s.minimum;
        break;
    }
    // A spread too small for a double (a variance below 2^-2148) reads as none.
    if (!(column.scale > 0.0)) {
      spread = false;
      column.scale = 1.0;
    }
    if (!spread) out.without_spread.push_back(c);
    const bool finite = std::isfinite(column.scale) &&
                        std::isfinite(scaled_value(column, s.minimum)) &&
                        std::isfinite(scaled_value(column, s.maximum));
    if (!finite && out.refusal.empty()) {
      out.refusal = "Tabulka " + table_name + ", sloupec " +
                    column_label(survey.columns, survey.components[c]) +
                    ": hodnoty jsou po skalovani mimo rozsah cisel (nejvic asi 1.8e308); zkuste "
                    "jine --skalovani.\n";
    }
    out.columns.push_back(std::move(column));
  }
  return out;
}

}  // namespace som
