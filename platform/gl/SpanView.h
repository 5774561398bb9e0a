// GL view of one scene spread over several surfaces (one per monitor or output): the
// saver view draws each frame on every pane in turn, each showing its rectangle of the
// scene at its own scale.
// Implements: panes added, moved and removed as screens come and go; which panes frames
// are drawn on (those that can be seen, as the host says); the swap interval passed to
// every pane; the before-present hook run on each pane's present (the host's --fps
// text goes on every screen).
// Does not implement: a context or drawable of its own. The panes are GL views that the
// window system's backend keeps, each with a context of its own, the contexts sharing
// their objects (Mesa reallocates a drawable's buffers whenever one context moves to
// it from another, which costs more than a context a pane); lockFocus, unlockFocus and
// flushBuffer act on the first pane only, so drawing goes through parts().
#pragma once

#include "platform/gl/OpenGLView.h"

#include <cstddef>
#include <functional>
#include <map>

namespace zorvan {

class SpanView : public OpenGLView {
public:
    // `canBeSeen(key)` says whether the frame is drawn on pane `key` now.
    explicit SpanView(std::function<bool(size_t key)> canBeSeen) : canBeSeen_(std::move(canBeSeen)) {}
    ~SpanView() override;

    // Pane `key` shows the rectangle `shown` of the scene on `surface` (which stays its
    // maker's); a pane of that key already there is moved, or replaced.
    void setPane(size_t key, OpenGLView* surface, Rect shown);
    void removePane(size_t key);

    std::vector<Part> parts() override;

    void makeCurrentContext() override;
    void setValuesForParameter(const int* values, int parameter) override;
    void flushBuffer() override;
    void lockFocus() override;
    void unlockFocus() override;
    // The panes follow their screens' sizes, not the scene's.
    void setFrameSize(Size) override {}

private:
    struct Pane {
        OpenGLView* surface;
        Rect shown;
    };
    OpenGLView* first() const { return panes_.empty() ? nullptr : panes_.begin()->second.surface; }

    std::function<bool(size_t)> canBeSeen_;
    std::map<size_t, Pane> panes_;  // by key, in the screens' order
    std::vector<int> swapInterval_;  // the last one asked for, passed to new panes
};

}  // namespace zorvan
