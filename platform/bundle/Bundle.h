// The module's own resources: the folder share/zorvan beside the folder of the running
// program, found from the program's own path and never from the working directory.
// The build tree (<build>/bin, <build>/share/zorvan) and an install (<prefix>/bin,
// <prefix>/share/zorvan) have the same shape, so both find their resources alike.
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

    // The resource folder, or nullopt when the program's own path cannot be read.
    const std::optional<std::string>& resourcePath() const { return resourceDir_; }

private:
    Bundle();
    std::optional<std::string> resourceDir_;
};

}  // namespace zorvan
