// The user's own text on the page (labels, column names, the folder's name):
// always text, never markup, whatever bytes it holds.
#pragma once

#include <string>
#include <string_view>

namespace som {

// The text with & < > " and ' escaped, so that it can stand in an element
// or an attribute; bytes that are not UTF-8 and control characters other
// than the tab become U+FFFD (the page says it is UTF-8, and an SVG picture
// with such a character would not be drawn at all).
std::string html_text(std::string_view text);

}  // namespace som
