// Bytes as a command line (arguments separated by NUL bytes) through the option parser.
// Every outcome is either options or exactly one line of error.
#include "FuzzSupport.h"

#include "host/cli/Options.h"

#include <string>
#include <vector>

using namespace zorvan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size && args.size() <= 64; ++i) {
        if (data[i] == 0) args.emplace_back();
        else args.back() += static_cast<char>(data[i]);
    }
    const host::ParseResult result = host::parseOptions(args);
    if (result.options) {
        fuzz::require(result.error.empty(), "a successful parse has no error");
        const host::Options& o = *result.options;
        if (o.width) fuzz::require(*o.width >= 1 && *o.width <= host::MAX_SIDE, "a width in range");
        if (o.height) fuzz::require(*o.height >= 1 && *o.height <= host::MAX_SIDE, "a height in range");
        if (o.mode) fuzz::require(*o.mode >= 0 && *o.mode <= 6, "a mode in range");
    } else {
        fuzz::require(!result.error.empty(), "a failed parse says why");
        fuzz::require(result.error.find('\n') == std::string::npos, "the error is one line");
    }
    return 0;
}
