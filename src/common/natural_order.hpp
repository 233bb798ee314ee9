// The order in which the page lists the user's labels: the one a person
// expects, the same on every machine (no locale is asked).
//
// Labels that are numbers (an optional sign, digits, and a decimal point
// or comma with more digits: "-2", "0.5", "1,25", "007") come first, by
// value, compared exactly on their digits. All other labels follow,
// alphabetically in the Czech manner: letters without regard to case or
// accents (á as a, ü as u, Ł as l), except that č, ř, š and ž are letters
// of their own after c, r, s and z, and "ch" one after h; a run of digits
// inside a label counts as its number ("trida 2" before "trida 10");
// blanks and punctuation come before digits, digits before letters, and
// characters beyond the Latin letters after them, by code point. Labels
// that are equal by these rules (1 and 1.0, "Abc" and "abc") follow their
// UTF-8 bytes, so the order is always total.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace som {

// Whether `a` comes before `b`.
bool natural_less(std::string_view a, std::string_view b);

// The positions of `names` in natural order.
std::vector<std::size_t> natural_order(const std::vector<std::string>& names);

}  // namespace som
