#include "platform/gl/GlxView.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>
#include <string>

namespace zorvan {

namespace {

// Catches the X errors of the GLX calls made while a view is being set up, so that a
// window or visual GLX cannot use makes create() fail instead of ending the process
// through Xlib's default handler.
class XErrorTrap {
public:
    explicit XErrorTrap(Display* display) : display_(display) {
        XSync(display_, False);
        failed_ = false;
        previous_ = XSetErrorHandler(&XErrorTrap::onError);
    }
    ~XErrorTrap() {
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    // True when an X error arrived since the trap was set (flushes the requests first).
    bool failed() {
        XSync(display_, False);
        return failed_;
    }

private:
    static int onError(Display*, XErrorEvent*) {
        failed_ = true;
        return 0;
    }
    static inline bool failed_ = false;
    Display* display_;
    int (*previous_)(Display*, XErrorEvent*) = nullptr;
};

bool hasExtension(Display* display, int screen, const char* name) {
    const char* list = glXQueryExtensionsString(display, screen);
    if (!list) return false;
    const size_t len = std::strlen(name);
    for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += len) {
        const bool startOk = p == list || p[-1] == ' ';
        const bool endOk = p[len] == '\0' || p[len] == ' ';
        if (startOk && endOk) return true;
    }
    return false;
}

int visualAttribute(Display* display, XVisualInfo* info, int attribute) {
    int value = 0;
    if (glXGetConfig(display, info, attribute, &value) != 0) return 0;
    return value;
}

}  // namespace

GlxView::VisualChoice GlxView::chooseVisual(Display* display, int screen, int depthSize) {
    int attributes[] = {GLX_RGBA,       GLX_DOUBLEBUFFER, GLX_RED_SIZE,   1,
                        GLX_GREEN_SIZE, 1,                GLX_BLUE_SIZE,  1,
                        GLX_DEPTH_SIZE, depthSize,        None};
    int errorBase = 0, eventBase = 0;
    if (!display || !glXQueryExtension(display, &errorBase, &eventBase)) return {};
    XVisualInfo* info = glXChooseVisual(display, screen, attributes);
    if (!info) return {};
    VisualChoice choice{info->visualid, info->depth};
    XFree(info);
    return choice;
}

XID GlxView::createWindow(Display* display, const WindowRequest& request, XID& colormap) {
    int screen = DefaultScreen(display);
    XWindowAttributes parent;
    if (XGetWindowAttributes(display, request.parent, &parent)) screen = XScreenNumberOfScreen(parent.screen);
    const VisualChoice choice = chooseVisual(display, screen, request.depthSize);
    XVisualInfo wanted;
    std::memset(&wanted, 0, sizeof wanted);
    wanted.visualid = choice.visualId;
    int count = 0;
    XVisualInfo* visual = choice.visualId ? XGetVisualInfo(display, VisualIDMask, &wanted, &count) : nullptr;
    if (!visual) return 0;
    if (!colormap) colormap = XCreateColormap(display, RootWindow(display, screen), visual->visual, AllocNone);
    XSetWindowAttributes attributes;
    std::memset(&attributes, 0, sizeof attributes);
    attributes.colormap = colormap;
    attributes.background_pixel = 0;
    attributes.border_pixel = 0;
    attributes.event_mask = request.eventMask;
    attributes.override_redirect = request.overrideRedirect ? True : False;
    const XID window = XCreateWindow(display, request.parent, request.x, request.y, unsigned(request.width),
                                     unsigned(request.height), 0, visual->depth, InputOutput, visual->visual,
                                     CWColormap | CWBackPixel | CWBorderPixel | CWEventMask | CWOverrideRedirect,
                                     &attributes);
    XFree(visual);
    return window;
}

std::unique_ptr<GlxView> GlxView::create(Display* display, XID window, const OpenGLPixelFormat& format,
                                         double scale, const GlxView* sharing) {
    int errorBase = 0, eventBase = 0;
    if (!display || !window || !glXQueryExtension(display, &errorBase, &eventBase))
        return nullptr;

    XErrorTrap trap(display);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || trap.failed()) return nullptr;

    XVisualInfo wanted;
    std::memset(&wanted, 0, sizeof wanted);
    wanted.visualid = XVisualIDFromVisual(attributes.visual);
    int count = 0;
    XVisualInfo* info = XGetVisualInfo(display, VisualIDMask, &wanted, &count);
    if (!info) return nullptr;

    // The window's visual decides what the context can be: it must be an RGBA GL visual
    // with the depth buffer the pixel format asks for, and double-buffered.
    const int depthSize = static_cast<int>(format.valueOf(NSOpenGLPFADepthSize, 16));
    const bool suitable = visualAttribute(display, info, GLX_USE_GL) &&
                          visualAttribute(display, info, GLX_RGBA) &&
                          visualAttribute(display, info, GLX_DOUBLEBUFFER) &&
                          visualAttribute(display, info, GLX_DEPTH_SIZE) >= depthSize;
    GLXContext context =
        suitable ? glXCreateContext(display, info, sharing ? sharing->context_ : nullptr, True) : nullptr;
    XFree(info);
    if (!context) return nullptr;
    if (trap.failed()) {
        glXDestroyContext(display, context);
        return nullptr;
    }

    // Check that the context really binds to the window before handing it out.
    GLXContext previousContext = glXGetCurrentContext();
    GLXDrawable previousDrawable = glXGetCurrentDrawable();
    const bool bound = glXMakeCurrent(display, window, context) && !trap.failed();
    if (previousContext)
        glXMakeCurrent(display, previousDrawable, previousContext);
    else
        glXMakeCurrent(display, None, nullptr);
    if (!bound || trap.failed()) {
        glXDestroyContext(display, context);
        return nullptr;
    }

    std::unique_ptr<GlxView> view(new GlxView());
    view->display_ = display;
    view->window_ = window;
    view->context_ = context;
    view->setBackingScale(scale);
    return view;
}

OpenGLViewFactory GlxView::factory(Display* display, XID window, double scale) {
    return keepingFactory([display, window, scale](Rect, const OpenGLPixelFormat& format) -> std::unique_ptr<OpenGLView> {
        return create(display, window, format, scale);
    });
}

GlxView::~GlxView() {
    if (!context_) return;
    if (glXGetCurrentContext() == context_) glXMakeCurrent(display_, None, nullptr);
    glXDestroyContext(display_, context_);
}

void GlxView::makeCurrentContext() {
    if (glXGetCurrentContext() == context_ && glXGetCurrentDrawable() == window_) return;
    glXMakeCurrent(display_, window_, context_);
}

void GlxView::setValuesForParameter(const int* values, int parameter) {
    if (parameter != NSOpenGLCPSwapInterval || !values) return;
    const int interval = values[0] < 0 ? 0 : values[0];
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, window_, &attributes)) return;
    const int screen = XScreenNumberOfScreen(attributes.screen);
    makeCurrentContext();

    // The extension names are checked first: GLX hands out an entry point for any name.
    auto proc = [](const char* name) {
        return glXGetProcAddress(reinterpret_cast<const GLubyte*>(name));
    };
    if (hasExtension(display_, screen, "GLX_EXT_swap_control")) {
        using Fn = void (*)(Display*, GLXDrawable, int);
        if (auto fn = reinterpret_cast<Fn>(proc("glXSwapIntervalEXT"))) {
            fn(display_, window_, interval);
            swapInterval_ = interval;
            return;
        }
    }
    if (hasExtension(display_, screen, "GLX_MESA_swap_control")) {
        using Fn = int (*)(unsigned int);
        if (auto fn = reinterpret_cast<Fn>(proc("glXSwapIntervalMESA"))) {
            if (fn(static_cast<unsigned int>(interval)) == 0) swapInterval_ = interval;
            return;
        }
    }
    // SGI's form knows no interval 0.
    if (interval > 0 && hasExtension(display_, screen, "GLX_SGI_swap_control")) {
        using Fn = int (*)(int);
        if (auto fn = reinterpret_cast<Fn>(proc("glXSwapIntervalSGI"))) {
            if (fn(interval) == 0) swapInterval_ = interval;
        }
    }
}

void GlxView::swapBuffers() {
    glXSwapBuffers(display_, window_);
    ++swapCount_;
}

// The window drawable follows its window's size; the renderer sets the viewport itself.
void GlxView::setFrameSize(Size) {}

}  // namespace zorvan
