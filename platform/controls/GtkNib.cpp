// GTK 3 backend of interface files: GtkBuilder XML. Every widget with an id becomes a
// control; an id that names one of the owner's outlets points that outlet at it. Each
// <signal handler="action:"> whose handler the owner answers sends that action with the
// widget's control as sender: "clicked" and "color-set" always, "toggled" only when the
// button turns on, and "delete-event" (the window's close, Esc on a dialog) in place of
// closing the window.
// A file that is not one whole XML document loads nothing.
// Does not implement: other signals (warned about once, not connected), objects that are
// not widgets as outlets.
#include "platform/controls/Nib.h"

#include "platform/bundle/Bundle.h"
#include "platform/controls/GtkControl.h"

#include <cstdio>
#include <map>
#include <vector>

namespace zorvan {

struct Nib::Impl {
    struct Connection {
        Impl* nib;
        std::string action;
        GtkControl* sender;
        gulong handler = 0;
    };

    explicit Impl(NibOwner& o) : owner(o) {}
    ~Impl() {
        for (auto& c : connections)
            if (c->sender->widget() && c->handler) g_signal_handler_disconnect(c->sender->widget(), c->handler);
        // The windows go with the file that made them.
        for (auto& [object, control] : controls)
            if (control->widget() && GTK_IS_WINDOW(control->widget()) && !gtk_widget_get_parent(control->widget()))
                gtk_widget_destroy(control->widget());
        controls.clear();
        if (builder) g_object_unref(builder);
    }

    GtkControl* controlFor(GObject* object) {
        auto found = controls.find(object);
        if (found != controls.end()) return found->second.get();
        auto control = std::make_unique<GtkControl>(GTK_WIDGET(object));
        GtkControl* raw = control.get();
        controls.emplace(object, std::move(control));
        return raw;
    }

    void send(Connection& c) {
        if (GtkControl::settingValue()) return;
        owner.performAction(c.action, c.sender);
    }

    static void onActivate(GtkWidget*, gpointer data) {
        auto* c = static_cast<Connection*>(data);
        c->nib->send(*c);
    }
    static void onToggled(GtkToggleButton* button, gpointer data) {
        if (gtk_toggle_button_get_active(button)) onActivate(nullptr, data);
    }
    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer data) {
        onActivate(nullptr, data);
        return TRUE;  // the action decides what becomes of the window
    }

    static void connect(GtkBuilder*, GObject* object, const gchar* signal, const gchar* handler,
                        GObject*, GConnectFlags, gpointer data) {
        auto* nib = static_cast<Impl*>(data);
        if (!GTK_IS_WIDGET(object) || !nib->owner.respondsToAction(handler)) {
            std::fprintf(stderr, "zorvan: interface file: no action '%s' for signal '%s'\n", handler, signal);
            return;
        }
        const std::string name = signal;
        GCallback callback = nullptr;
        if (name == "clicked" || name == "color-set") callback = G_CALLBACK(onActivate);
        else if (name == "toggled" && GTK_IS_TOGGLE_BUTTON(object)) callback = G_CALLBACK(onToggled);
        else if (name == "delete-event") callback = G_CALLBACK(onDelete);
        if (!callback) {
            std::fprintf(stderr, "zorvan: interface file: signal '%s' is not supported\n", signal);
            return;
        }
        auto c = std::make_unique<Connection>(Connection{nib, handler, nib->controlFor(object)});
        c->handler = g_signal_connect(object, signal, callback, c.get());
        nib->connections.push_back(std::move(c));
    }

    NibOwner& owner;
    GtkBuilder* builder = nullptr;
    std::map<GObject*, std::unique_ptr<GtkControl>> controls;
    std::vector<std::unique_ptr<Connection>> connections;
};

Nib::Nib(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Nib::~Nib() = default;

std::unique_ptr<Nib> Nib::loadNibNamed(const std::string& name, NibOwner& owner) {
    const auto path = Bundle::bundleForClass().pathForResource(name);
    if (!path) return nullptr;
    return loadNibFile(*path, owner);
}

namespace {

// Whether `text` is one whole XML document: GtkBuilder builds what it has read of a cut
// off file without a word, which would leave a sheet with controls missing.
bool wholeDocument(const gchar* text, gsize length, GError** error) {
    static const GMarkupParser nothing = {};
    GMarkupParseContext* context = g_markup_parse_context_new(&nothing, GMarkupParseFlags(0), nullptr, nullptr);
    const bool whole = g_markup_parse_context_parse(context, text, static_cast<gssize>(length), error) &&
                       g_markup_parse_context_end_parse(context, error);
    g_markup_parse_context_free(context);
    return whole;
}

}  // namespace

std::unique_ptr<Nib> Nib::loadNibFile(const std::string& path, NibOwner& owner) {
    if (!gdk_display_get_default()) return nullptr;
    auto impl = std::make_unique<Impl>(owner);
    impl->builder = gtk_builder_new();
    GError* error = nullptr;
    gchar* text = nullptr;
    gsize length = 0;
    const bool loaded = g_file_get_contents(path.c_str(), &text, &length, &error) &&
                        wholeDocument(text, length, &error) &&
                        gtk_builder_add_from_string(impl->builder, text, length, &error);
    g_free(text);
    if (!loaded) {
        std::fprintf(stderr, "zorvan: cannot load the interface file %s: %s\n", path.c_str(),
                     error ? error->message : "unknown error");
        if (error) g_error_free(error);
        // Whatever windows were made before the error go with the builder's objects.
        GSList* objects = gtk_builder_get_objects(impl->builder);
        for (GSList* l = objects; l; l = l->next)
            if (GTK_IS_WINDOW(l->data)) impl->controlFor(G_OBJECT(l->data));
        g_slist_free(objects);
        return nullptr;
    }

    owner.outletsWillChange();
    GSList* objects = gtk_builder_get_objects(impl->builder);
    for (GSList* l = objects; l; l = l->next) {
        if (!GTK_IS_WIDGET(l->data)) continue;
        GtkControl* control = impl->controlFor(G_OBJECT(l->data));
        const char* id = gtk_buildable_get_name(GTK_BUILDABLE(l->data));
        if (Control** slot = id ? owner.outlet(id) : nullptr) *slot = control;
    }
    g_slist_free(objects);
    gtk_builder_connect_signals_full(impl->builder, &Impl::connect, impl.get());
    return std::unique_ptr<Nib>(new Nib(std::move(impl)));
}

Control* Nib::objectNamed(const std::string& id) const {
    GObject* object = gtk_builder_get_object(impl_->builder, id.c_str());
    auto found = object ? impl_->controls.find(object) : impl_->controls.end();
    return found == impl_->controls.end() ? nullptr : found->second.get();
}

}  // namespace zorvan
