// Text for a console that shows ASCII alone: the programs speak Czech without
// diacritics, and a Windows console would garble UTF-8. Letters with
// diacritics lose them ("Délka" becomes "Delka"), a few signs get a stand-in
// ("µ" "u", "–" "-"), anything else becomes "?". The files keep the text as it
// was; only what is printed is folded.
#pragma once

#include <string>
#include <string_view>

namespace som {

// The UTF-8 text folded to ASCII; bytes that are not UTF-8 become "?".
std::string ascii_folded(std::string_view utf8);

// Folded, and with ASCII letters in lower case: two names that a user could
// mean by the same word compare equal ("Třída" and "trida").
std::string loose_key(std::string_view utf8);

}  // namespace som
