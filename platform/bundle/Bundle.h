// STUB interface: the module's own resources. Replaced by the settings work; keep
// these calls (the module and the host use them).
#pragma once

#include <optional>
#include <string>

namespace zorvan {

class Bundle {
public:
    // The bundle that holds the saver view's class: the folder of resources beside
    // the program.
    static const Bundle& bundleForClass();
    // The full path of an image resource ("zorvan.pict"), or nullopt when it is missing.
    std::optional<std::string> pathForImageResource(const std::string& name) const;
    // The full path of any resource ("Zorvan.nib"), or nullopt when it is missing.
    std::optional<std::string> pathForResource(const std::string& name) const;
};

}  // namespace zorvan
