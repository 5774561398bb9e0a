#include "support/HeadlessCage.h"

#include <cstdio>

namespace zorvan::test {

HeadlessCage::HeadlessCage() {
    if (!start() && why_.empty()) why_ = "cage did not start";
}

bool HeadlessCage::start() {
    if (!prepare("cage", {"cage", "grim"})) return false;
    if (!launch("cage", {"-d", "--", "sleep", "infinity"},
                {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1"}, 15))
        return false;
    if (!waitUntilBlack(15)) {
        why_ = "cage's output did not turn black: " + error_ + "\n" + log();
        return false;
    }
    return true;
}

Shot HeadlessCage::screenshot(const std::string& name) {
    const std::string path = shotPath(name);
    const ProcessResult grim = runClient("grim", {path});
    if (grim.exitCode != 0) {
        error_ = "grim failed: " + grim.err;
        return {};
    }
    Shot shot = readShot(path);
    if (name.empty()) std::remove(path.c_str());
    return shot;
}

}  // namespace zorvan::test
