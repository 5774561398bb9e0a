// How zorvan's programs read an argument spelled as an option (one dash or two, and a
// value after '=': -root, --root, --size=800x600), and show one in an error line.
#pragma once

#include <string>

namespace zorvan::host {

// The name of an argument spelled as an option (-x, --x, --x=value), without dashes
// and value; empty when the argument is not spelled as one.
inline std::string optionName(const std::string& arg) {
    size_t start = 0;
    if (arg.rfind("--", 0) == 0) start = 2;
    else if (arg.size() > 1 && arg[0] == '-') start = 1;
    else return {};
    const size_t eq = arg.find('=');
    return arg.substr(start, eq == std::string::npos ? std::string::npos : eq - start);
}

// An argument quoted for an error line; control characters (a newline, an escape) are
// shown as \xNN so the message stays one plain line.
inline std::string quoted(const std::string& text) {
    std::string out = "'";
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f) {
            static const char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "'";
}

}  // namespace zorvan::host
