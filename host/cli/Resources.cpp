#include "host/cli/Resources.h"

#include "platform/bundle/Bundle.h"

#include <cstdio>

namespace zorvan::host {

int printResources() {
    const Bundle& bundle = Bundle::bundleForClass();
    const auto picture = bundle.pathForImageResource("zorvan.pict");
    const auto sheet = bundle.pathForResource("Zorvan.nib");
    std::printf("%s\n%s\n", picture ? picture->c_str() : "none", sheet ? sheet->c_str() : "none");
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace zorvan::host
