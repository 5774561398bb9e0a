// Module resources found from /proc/self/exe: <dir of the program>/../share/zorvan, or
// ../../share/zorvan for the programs in libexec/zorvan/.
#include "platform/bundle/Bundle.h"

#include <filesystem>
#include <system_error>

namespace zorvan {

namespace fs = std::filesystem;

Bundle::Bundle() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty() || !exe.is_absolute()) return;
    // bin/zorvan, or libexec/zorvan/zorvan-settings: share/ is beside bin/ and libexec/.
    const fs::path prefix = exe.parent_path().parent_path();
    fs::path dir = prefix / "share" / "zorvan";
    if (!fs::is_directory(dir, ec) && exe.parent_path().filename() == "zorvan")
        dir = prefix.parent_path() / "share" / "zorvan";
    resourceDir_ = dir.string();
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
