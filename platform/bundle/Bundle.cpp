// STUB: replaced by the settings work.
#include "platform/bundle/Bundle.h"
namespace zorvan {
const Bundle& Bundle::bundleForClass() { static Bundle b; return b; }
std::optional<std::string> Bundle::pathForImageResource(const std::string&) const { return std::nullopt; }
std::optional<std::string> Bundle::pathForResource(const std::string&) const { return std::nullopt; }
}  // namespace zorvan
