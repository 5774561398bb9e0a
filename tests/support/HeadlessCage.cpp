#include "support/HeadlessCage.h"

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

Shot HeadlessCage::screenshot(const std::string& name) { return grim({}, name); }

}  // namespace zorvan::test
