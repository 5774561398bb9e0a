// The exact state of a view as text, for comparing runs bit for bit.
#pragma once

#include <string>

namespace zorvan {
class Zorvan;
}

namespace zorvan::host {

// Line 1: "mode M index I count C limit L"; line 2: "settings" and the view's settings
// as name-value pairs, "logoFile PATH" (or "none") last; then "fields" and nine lines
// "k x y"; then one line per live mote: "i pos.x pos.y lastPos.x lastPos.y vel.x vel.y weight
// home.x home.y colour.r colour.g colour.b". Every float is written exactly, in C's
// hexadecimal "%a" form.
std::string formatMoteDump(const Zorvan& view);

// Writes formatMoteDump(view) to `path`. On failure returns false and sets `error` to
// one line naming the problem.
bool writeMoteDump(const Zorvan& view, const std::string& path, std::string& error);

}  // namespace zorvan::host
