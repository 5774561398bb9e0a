// Module resources found from /proc/self/exe: <dir of the program>/../share/zorvan.
#include "platform/bundle/Bundle.h"

#include <filesystem>
#include <system_error>

namespace zorvan {

namespace fs = std::filesystem;

Bundle::Bundle() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty() || !exe.is_absolute()) return;
    resourceDir_ = (exe.parent_path().parent_path() / "share" / "zorvan").string();
}

const Bundle& Bundle::bundleForClass() {
    static const Bundle bundle;
    return bundle;
}

std::optional<std::string> Bundle::pathForImageResource(const std::string& name) const {
    return pathForResource(name);
}

std::optional<std::string> Bundle::pathForResource(const std::string& name) const {
    // A name is a file in the folder, never a path that climbs out of it.
    if (!resourceDir_ || name.empty() || name == "." || name == ".." ||
        name.find('/') != std::string::npos)
        return std::nullopt;
    const fs::path path = fs::path(*resourceDir_) / name;
    std::error_code ec;
    if (!fs::exists(path, ec) || fs::is_directory(path, ec)) return std::nullopt;
    return path.string();
}

}  // namespace zorvan
