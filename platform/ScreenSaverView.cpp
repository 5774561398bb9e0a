#include "platform/ScreenSaverView.h"

#include <cmath>

namespace zorvan {

bool ScreenSaverView::initWithFrame(Rect frame, bool isPreview) {
    if (!std::isfinite(frame.width) || !std::isfinite(frame.height) || frame.width < 0.0 ||
        frame.height < 0.0)
        return false;
    frame_ = frame;
    isPreview_ = isPreview;
    return true;
}

void ScreenSaverView::setFrameSize(Size size) {
    frame_.width = size.width;
    frame_.height = size.height;
    if (autoresizesSubviews_)
        for (OpenGLView* view : subviews_) view->setFrameSize(size);
}

void ScreenSaverView::startAnimation() { animating_ = true; }

void ScreenSaverView::stopAnimation() { animating_ = false; }

}  // namespace zorvan
