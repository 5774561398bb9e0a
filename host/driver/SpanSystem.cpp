#include "host/driver/SpanSystem.h"

#include "host/driver/ErrorLine.h"

#include <algorithm>

namespace zorvan::host {

namespace {

// How long a frame waits for a pane that cannot take it yet.
constexpr auto LATE = std::chrono::milliseconds(100);

}  // namespace

SpanSystem::Pane SpanSystem::paneOf(ScreenSpec& spec) {
    Pane pane;
    pane.frame = Rect{spec.frame.x, spec.frame.y, spec.size.width, spec.size.height};
    pane.makeGLView = std::move(spec.glView);
    return pane;
}

SpanSystem::SpanSystem(std::unique_ptr<WindowSystem> screens) : screens_(std::move(screens)) {}

std::vector<ScreenSpec> SpanSystem::screens() {
    std::vector<ScreenSpec> specs = screens_->screens();
    if (specs.empty()) return {};
    for (ScreenSpec& spec : specs)
        panes_.push_back(paneOf(spec));
    placePanes();
    resized_ = false;
    const ScreenSpec& first = specs.front();
    auto factory = [this](Rect, const OpenGLPixelFormat& format) { return makeSpanView(format); };
    return {ScreenSpec{Rect{0.0, 0.0, box_.width, box_.height}, box_.size(), factory, first.scale,
                       first.fontDisplay, " over every screen"}};
}

OpenGLView* SpanSystem::makeSpanView(const OpenGLPixelFormat& format) {
    format_ = format;
    view_ = std::make_unique<SpanView>([this](size_t i) { return panes_[i].live && screens_->visible(i); });
    for (size_t i = 0; i < panes_.size(); ++i)
        if (panes_[i].live && !makePaneView(i)) return nullptr;
    placePanes();
    return view_.get();
}

bool SpanSystem::makePaneView(size_t i) {
    Pane& pane = panes_[i];
    pane.gl = pane.makeGLView ? pane.makeGLView(Rect{0.0, 0.0, pane.frame.width, pane.frame.height}, *format_)
                              : nullptr;
    return pane.gl != nullptr;
}

// Where nothing asked for a GL view (the view declined to draw) the backend shows black.
void SpanSystem::viewMade(size_t) {
    for (size_t i = 0; i < panes_.size(); ++i)
        if (panes_[i].live) screens_->viewMade(i);
}

bool SpanSystem::placePanes() {
    bool any = false;
    double left = 0.0, bottom = 0.0, right = 0.0, top = 0.0;
    for (const Pane& pane : panes_) {
        if (!pane.live) continue;
        const Rect& f = pane.frame;
        left = any ? std::min(left, f.x) : f.x;
        bottom = any ? std::min(bottom, f.y) : f.y;
        right = any ? std::max(right, f.x + f.width) : f.x + f.width;
        top = any ? std::max(top, f.y + f.height) : f.y + f.height;
        any = true;
    }
    if (!any) return false;
    const Rect box{left, bottom, right - left, top - bottom};
    const bool resized = box.width != box_.width || box.height != box_.height;
    box_ = box;
    if (view_)
        for (size_t i = 0; i < panes_.size(); ++i) {
            const Pane& pane = panes_[i];
            if (!pane.live || !pane.gl) continue;
            view_->setPane(i, pane.gl, Rect{pane.frame.x - box.x, pane.frame.y - box.y, pane.frame.width,
                                            pane.frame.height});
        }
    return resized;
}

ScreenChanges SpanSystem::takeScreenChanges() {
    ScreenChanges changes = screens_->takeScreenChanges();
    if (changes.gone.empty() && changes.added.empty()) return {};
    for (size_t i : changes.gone) {
        if (view_) view_->removePane(i);
        panes_[i].live = false;
        panes_[i].gl = nullptr;
        screens_->forget(i);
    }
    for (ScreenSpec& spec : changes.added) {
        const size_t i = panes_.size();
        panes_.push_back(paneOf(spec));
        // A screen whose GL view cannot be made stays dark; the others go on.
        if (view_ && !makePaneView(i)) {
            reportError("cannot create an OpenGL context for the view" + spec.where);
            panes_[i].live = false;
            screens_->viewMade(i);
            screens_->forget(i);
            continue;
        }
        screens_->viewMade(i);
    }
    // A new box, or a new pane whose context the view has yet to set up: the view is
    // sized and started anew.
    placePanes();
    resized_ = true;
    return {};
}

std::optional<Resize> SpanSystem::takeResize(size_t) {
    bool changed = false;
    for (size_t i = 0; i < panes_.size(); ++i) {
        Pane& pane = panes_[i];
        if (!pane.live) continue;
        if (const std::optional<Resize> resize = screens_->takeResize(i)) {
            pane.frame.width = resize->size.width;
            pane.frame.height = resize->size.height;
            if (pane.gl) {
                pane.gl->setBackingScale(resize->scale);
                pane.gl->setFrameSize(resize->size);
            }
            changed = true;
        }
    }
    if (changed && placePanes()) resized_ = true;
    if (!resized_) return std::nullopt;
    resized_ = false;
    return Resize{box_.size(), 1.0};
}

bool SpanSystem::visible(size_t) const {
    const Clock::time_point now = Clock::now();
    bool any = false, waiting = false;
    holdUntil_.reset();
    for (size_t i = 0; i < panes_.size(); ++i) {
        const Pane& pane = panes_[i];
        if (!pane.live || !pane.gl) continue;
        if (screens_->visible(i)) {
            pane.waitedSince.reset();
            any = true;
            continue;
        }
        if (!pane.waitedSince) pane.waitedSince = now;
        if (now - *pane.waitedSince < LATE) {
            waiting = true;
            holdUntil_ = std::min(holdUntil_.value_or(Clock::time_point::max()), *pane.waitedSince + LATE);
        }
    }
    return any && !waiting;
}

void SpanSystem::wait(std::optional<Clock::time_point> deadline) {
    if (holdUntil_ && (!deadline || *holdUntil_ < *deadline)) deadline = holdUntil_;
    screens_->wait(deadline);
}

// The panes' GL views are the backend's, which lets them go in its end.
int SpanSystem::end(EndReason why) {
    view_.reset();
    return screens_->end(why);
}

}  // namespace zorvan::host
