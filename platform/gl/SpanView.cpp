#include "platform/gl/SpanView.h"

namespace zorvan {

SpanView::~SpanView() {
    for (auto& [key, pane] : panes_) pane.surface->setBeforePresent({});
}

void SpanView::setPane(size_t key, OpenGLView* surface, Rect shown) {
    if (auto it = panes_.find(key); it != panes_.end() && it->second.surface == surface) {
        it->second.shown = shown;
        return;
    }
    removePane(key);
    if (!surface) return;
    panes_[key] = Pane{surface, shown};
    surface->setBeforePresent([this] { runBeforePresent(); });
    if (!swapInterval_.empty()) surface->setValuesForParameter(swapInterval_.data(), NSOpenGLCPSwapInterval);
}

void SpanView::removePane(size_t key) {
    auto it = panes_.find(key);
    if (it == panes_.end()) return;
    it->second.surface->setBeforePresent({});
    panes_.erase(it);
}

std::vector<OpenGLView::Part> SpanView::parts() {
    std::vector<Part> parts;
    for (const auto& [key, pane] : panes_)
        parts.push_back(Part{pane.surface, pane.shown, !canBeSeen_ || canBeSeen_(key)});
    return parts;
}

void SpanView::makeCurrentContext() {
    if (OpenGLView* surface = first()) surface->makeCurrentContext();
}

void SpanView::setValuesForParameter(const int* values, int parameter) {
    if (parameter == NSOpenGLCPSwapInterval && values) swapInterval_.assign(values, values + 1);
    for (auto& [key, pane] : panes_) pane.surface->setValuesForParameter(values, parameter);
}

void SpanView::flushBuffer() {
    if (OpenGLView* surface = first()) surface->flushBuffer();
}

void SpanView::lockFocus() {
    if (OpenGLView* surface = first()) surface->lockFocus();
}

void SpanView::unlockFocus() {
    if (OpenGLView* surface = first()) surface->unlockFocus();
}

}  // namespace zorvan
