// Numbers on the scales of the pictures, written for people: at most four
// significant digits, a value that is nothing against the scale's span (a
// denormal left over from a weight that has decayed to zero) as 0, and the
// labels of one scale laid out so that no two of them touch.
#pragma once

#include <string>
#include <vector>

namespace som {

// At most 4 significant digits, trailing zeros dropped; plain decimals from
// 0.001 to below 100000, otherwise as 1.235e+06. A value whose size is below
// 1e-12 × `span` (the range the scale covers) is written "0". Not a number
// and the infinities as "nan", "inf", "-inf".
std::string scale_number(double value, double span);

// A tick of an axis whose ticks are `step` apart (a "nice" step): as many
// digits as tell it from its neighbours, which is at most 4 unless the axis
// covers a narrow stretch far from 0; a value at the rounding level of the
// step as "0".
std::string tick_number(double value, double step);

// How wide a label is drawn in the report's 12 px sans-serif, a little
// generously (digits and 'e' are about 6.7 px wide, the point and the minus
// narrower): for laying labels out, not for drawing.
double label_width(const std::string& text);

// A label placed on a horizontal scale.
struct scale_label {
  double x;            // where it is anchored
  std::string anchor;  // "start", "middle" or "end"
  std::string text;
};

// The labels of a colour bar drawn from x0 to x0 + width for the values
// low .. high: the two ends, anchored inwards, and the middle one where it
// leaves at least `label_gap` pixels to both of them. The ends never touch
// either: where even they would, the bar's caller widens the bar to
// scale_width_for(...).
std::vector<scale_label> scale_labels(double low, double high, double x0, double width);

// The least width at which the two end labels of low .. high keep their gap.
double scale_width_for(double low, double high);

inline constexpr double label_gap = 8.0;

}  // namespace som
