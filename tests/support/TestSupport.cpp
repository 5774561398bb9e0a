#include "support/TestSupport.h"

namespace zorvan::test {

std::unique_ptr<Zorvan> makeOffscreenView(double w, double h, bool isPreview) {
    auto view = std::make_unique<Zorvan>(OsMesaView::factory());
    if (!view->initWithFrame(Rect{0, 0, w, h}, isPreview)) return nullptr;
    return view;
}

OsMesaView* offscreenOf(Zorvan& view) { return dynamic_cast<OsMesaView*>(view._view); }

}  // namespace zorvan::test
