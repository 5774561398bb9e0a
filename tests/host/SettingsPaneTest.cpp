// The settings pane: in-process on an X display (Xvfb in CI) for the pane around the
// sheet, and `zorvan --settings` as a program for its start and end.
#include "host/Process.h"
#include "host/pane/SettingsPane.h"

#include "platform/controls/GtkControl.h"
#include "platform/prefs/ScreenSaverDefaults.h"
#include "saver/Zorvan.h"

#include <gtest/gtest.h>
#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xcomposite.h>
#include <gdk/gdkx.h>

#include "support/XPixels.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace zorvan;

namespace {

bool haveDisplay() {
    const char* name = std::getenv("DISPLAY");
    return name && *name;
}

// GTK on X11 alone: no accessibility bus, desktop settings or virtual file systems.
void quietGtkEnvironment() {
    setenv("GDK_BACKEND", "x11", 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    setenv("GSETTINGS_BACKEND", "memory", 1);
    setenv("GIO_USE_VFS", "local", 1);
    // No session bus either: a bus that cannot be reached, so that nothing (the file
    // chooser's places) starts one through the X display for the rest of the session.
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/zorvan-test-bus", 1);
}

// Runs the main loop until `done` or `seconds` pass.
template <typename Done>
bool iterateUntil(Done done, double seconds = 5.0) {
    return test::waitUntil([&] { return done() || (g_main_context_iteration(nullptr, FALSE), false); }, seconds, 0.001);
}

class Pane : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!haveDisplay()) return;
        quietGtkEnvironment();
        ready_ = gtk_init_check(nullptr, nullptr);
    }
    void SetUp() override {
        if (!ready_) GTEST_SKIP() << "no X display for GTK";
        std::string error;
        pane_ = host::SettingsPane::create(host::Options{}, error);
        ASSERT_TRUE(pane_) << error;
    }
    void TearDown() override {
        pane_.reset();
        if (ready_) iterateUntil([] { return false; }, 0.05);
    }
    void clickClose() {
        gtk_button_clicked(GTK_BUTTON(GtkControl::widgetOf(test::state(pane_->view()).sheet.sheetNib->objectNamed("closeButton"))));
    }

    static inline bool ready_ = false;
    test::StoreFile store_;  // the pane's settings, from an empty store
    std::unique_ptr<host::SettingsPane> pane_;
};

}  // namespace

TEST_F(Pane, OptionsShowTheSheetOverALivePreviewAndClosingApplies) {
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(pane_->window())), "Zorvan");
    EXPECT_TRUE(pane_->view().isPreview());
    ASSERT_TRUE(iterateUntil([&] { return pane_->framesDrawn() >= 5; })) << "the preview does not animate";

    pane_->openSheet();
    GtkWidget* sheet = pane_->sheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(gtk_widget_get_visible(sheet));
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(sheet)));
    EXPECT_EQ(gtk_window_get_transient_for(GTK_WINDOW(sheet)), GTK_WINDOW(pane_->window()));

    // The preview goes on under the sheet.
    const long before = pane_->framesDrawn();
    ASSERT_TRUE(iterateUntil([&] { return pane_->framesDrawn() >= before + 5; }));

    bool destroyed = false;
    g_signal_connect(sheet, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer flag) {
                         *static_cast<bool*>(flag) = true;
                     }), &destroyed);
    gtk_button_clicked(GTK_BUTTON(GtkControl::widgetOf(test::state(pane_->view()).sheet.hexButton)));
    clickClose();
    EXPECT_EQ(test::state(pane_->view()).settings.moteShape, 2) << "the preview draws the new shape from its next frame";
    EXPECT_TRUE(iterateUntil([&] { return destroyed; })) << "the ended sheet stays";
    EXPECT_TRUE(iterateUntil([&] { return pane_->framesDrawn() >= before + 10; }));
    EXPECT_EQ(pane_->sheet(), nullptr);
    EXPECT_EQ(pane_->status(), "");
    EXPECT_NE(test::readFile(store_.path).find("moteShape=2"), std::string::npos);
}

TEST_F(Pane, SettingsThatCannotBeSavedAreSaidSo) {
    const std::string blocker = store_.dir.file("not-a-folder");
    std::ofstream(blocker) << "x";
    ScreenSaverDefaults::setStorePathOverride(blocker + "/Zorvan.conf");
    pane_->openSheet();
    ASSERT_NE(pane_->sheet(), nullptr);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(GtkControl::widgetOf(test::state(pane_->view()).sheet.tailsBox)), TRUE);
    testing::internal::CaptureStderr();
    clickClose();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(test::state(pane_->view()).settings.drawMode, 1) << "the settings apply all the same";
    iterateUntil([&] { return !pane_->status().empty(); });
    const std::string status = pane_->status();
    EXPECT_NE(status.find("could not be saved"), std::string::npos) << status;
    EXPECT_EQ(status.find('\n'), std::string::npos);

    // A later save that works clears the line.
    store_.reload();
    pane_->openSheet();
    clickClose();
    EXPECT_TRUE(iterateUntil([&] { return pane_->status().empty(); }));
}

TEST_F(Pane, EscapeCtrlQAndTheWindowsCloseEndThePane) {
    struct Ending {
        const char* what;
        guint key;
        GdkModifierType state;
    };
    for (const Ending& e : {Ending{"Esc", GDK_KEY_Escape, GdkModifierType(0)},
                            Ending{"Ctrl+Q", GDK_KEY_q, GDK_CONTROL_MASK}, Ending{"close", 0, GdkModifierType(0)}}) {
        SCOPED_TRACE(e.what);
        struct Run {
            GtkWidget* window;
            const Ending* ending;
            bool timedOut = false;
        } run{pane_->window(), &e};
        g_idle_add(+[](gpointer data) -> gboolean {
            auto* r = static_cast<Run*>(data);
            if (r->ending->key == 0) {
                gtk_window_close(GTK_WINDOW(r->window));
                return G_SOURCE_REMOVE;
            }
            GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
            event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(r->window)));
            event->key.keyval = r->ending->key;
            event->key.state = r->ending->state;
            gtk_widget_event(r->window, event);
            gdk_event_free(event);
            return G_SOURCE_REMOVE;
        }, &run);
        const guint guard = g_timeout_add(5000, +[](gpointer data) -> gboolean {
            static_cast<Run*>(data)->timedOut = true;
            gtk_main_quit();
            return G_SOURCE_REMOVE;
        }, &run);
        gtk_main();
        EXPECT_FALSE(run.timedOut) << "the pane stayed";
        if (!run.timedOut) g_source_remove(guard);
    }
}

TEST(SettingsProgram, WithoutADisplayOneLineAndStatus2) {
    const auto r = test::runProcess(test::zorvanPath(), {"--settings"}, {"DISPLAY", "WAYLAND_DISPLAY"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.find("zorvan: no X display"), 0u) << r.err;
    EXPECT_EQ(test::lines(r.err), 1) << r.err;
    const auto bad = test::runProcess(test::zorvanPath(), {"--settings", "--render", "x.png"});
    EXPECT_EQ(bad.exitCode, 2);
}

TEST(SettingsProgram, TermEndsThePaneWithStatus0) {
    if (!haveDisplay()) GTEST_SKIP() << "no DISPLAY";
    quietGtkEnvironment();
    test::TempDir dir;
    const int pid = test::startProcess(test::zorvanPath(), {"--settings", "--prefs", dir.file("p.conf")});
    ASSERT_GT(pid, 0);
    // Its window shows once the pane is up (GTK's hidden leader window carries the pid
    // from the start: the pane's own window is the one with the title).
    Display* display = XOpenDisplay(nullptr);
    ASSERT_TRUE(display);
    test::windowOf(display, pid, "Zorvan");
    XCloseDisplay(display);
    kill(pid, SIGTERM);
    EXPECT_EQ(test::waitProcess(pid, 10), 0);
}

// The preview draws only while its frames reach the screen: the pane hidden, it stops
// within a frame; shown again, it goes on.
TEST_F(Pane, AHiddenPaneDrawsNothingUntilShownAgain) {
    ASSERT_TRUE(iterateUntil([&] { return pane_->framesDrawn() >= 5; }));
    gtk_widget_hide(pane_->window());
    iterateUntil([] { return false; }, 0.2);
    const long hidden = pane_->framesDrawn();
    iterateUntil([] { return false; }, 0.5);
    EXPECT_LE(pane_->framesDrawn(), hidden + 1) << "a hidden pane goes on drawing";
    gtk_widget_show(pane_->window());
    EXPECT_TRUE(iterateUntil([&] { return pane_->framesDrawn() >= hidden + 10; })) << "the shown pane stays still";
}

// At two device pixels a point (GDK_SCALE=2 on X11) the 480x270-point preview is drawn
// into all of its 960x540 pixels, not into a corner of them at one pixel a point.
TEST(SettingsProgram, AtScale2ThePreviewFillsItsPixels) {
    if (!haveDisplay()) GTEST_SKIP() << "no DISPLAY";
    test::TempDir dir;
    const int pid = test::startProcess(test::zorvanPath(), {"--settings", "--prefs", dir.file("p.conf"), "--seed", "5"},
                                       {"GDK_SCALE=2", "GDK_BACKEND=x11", "NO_AT_BRIDGE=1", "WAYLAND_DISPLAY"});
    ASSERT_GT(pid, 0);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_TRUE(display);
    const Window window = test::windowOf(display, pid, "Zorvan");
    ASSERT_NE(window, 0ul);
    // Kept in its own pixmap, the window reads back its own frames under other tests' windows.
    XCompositeRedirectWindow(display, window, CompositeRedirectAutomatic);
    ASSERT_TRUE(test::waitUntil([&] {
        XWindowAttributes a;
        return XGetWindowAttributes(display, window, &a) && a.map_state == IsViewable && a.width >= 984 &&
               a.height >= 564;
    }, 10, 0.05)) << "the pane is not shown at twice its size";
    // The preview's quarters, inside the window's border of 12 points.
    long quarters[4] = {0, 0, 0, 0};
    test::waitUntil([&] {
        const test::Shot shot = test::readPixels(display, window, 24, 24, 960, 540);
        if (shot.rgb.empty()) return false;
        for (int q = 0; q < 4; ++q)
            quarters[q] = test::litPixels(shot, test::Box{size_t(q % 2) * 480, size_t(q / 2) * 270,
                                                          size_t(q % 2 + 1) * 480, size_t(q / 2 + 1) * 270});
        return *std::min_element(quarters, quarters + 4) > 1000;
    }, 15, 0.2);
    for (int q = 0; q < 4; ++q) EXPECT_GT(quarters[q], 1000) << "quarter " << q << " of the preview";
    XCloseDisplay(display);
    kill(pid, SIGTERM);
    EXPECT_EQ(test::waitProcess(pid, 10), 0);
}

// The preview shows the frame that --render draws: the same seed and frames give the
// same pixels, at the same place, the right way up, in the right colours.
TEST_F(Pane, ThePreviewIsTheFrameThatRenderDraws) {
    pane_.reset();
    host::Options options;
    options.frames = 40;
    options.prefsFile = store_.path;  // no Screen saver section: the preview at the border
    srandom(5);
    std::string error;
    pane_ = host::SettingsPane::create(options, error);
    ASSERT_TRUE(pane_) << error;
    ASSERT_TRUE(iterateUntil([&] { return pane_->framesDrawn() >= 40; }, 10));
    Display* display = gdk_x11_get_default_xdisplay();
    const Window window = gdk_x11_window_get_xid(gtk_widget_get_window(pane_->window()));
    XCompositeRedirectWindow(display, window, CompositeRedirectAutomatic);
    gtk_widget_queue_draw(pane_->window());
    iterateUntil([] { return false; }, 0.3);
    const test::Shot preview = test::readPixels(display, window, 12, 12, 480, 270);  // inside the border

    const std::string png = store_.dir.file("frame.png");
    const auto r = test::runProcess(test::zorvanPath(), {"--prefs", store_.path, "--render", png, "--size", "480x270",
                                                         "--frames", "40", "--seed", "5"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const test::Shot rendered = test::readShot(png);
    ASSERT_EQ(preview.rgb.size(), rendered.rgb.size());
    long differ = 0;
    for (size_t i = 0; i < preview.rgb.size(); i += 3) differ += std::memcmp(&preview.rgb[i], &rendered.rgb[i], 3) != 0;
    EXPECT_EQ(differ, 0) << "of " << preview.rgb.size() / 3 << " pixels (lit in the preview: "
                         << test::litPixels(preview) << ")";
}
