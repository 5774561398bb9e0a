// The configuration sheet and its actions, driven through the real GTK widgets of the
// interface file on an X display (Xvfb in CI); skipped without one. The view draws
// offscreen: the sheet does not care where.
#include "platform/controls/GtkControl.h"
#include "settings/StoreFixture.h"

#include <Magick++.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

using namespace zorvan;
using namespace zorvan::test;

namespace {

GtkWidget* widget(Control* c) { return GtkControl::widgetOf(c); }

void drain() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void click(Control* c) {
    ASSERT_NE(widget(c), nullptr);
    gtk_button_clicked(GTK_BUTTON(widget(c)));
}

double rangeValue(Control* c) { return gtk_range_get_value(GTK_RANGE(widget(c))); }
void setRange(Control* c, double v) { gtk_range_set_value(GTK_RANGE(widget(c)), v); }
bool active(Control* c) { return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget(c))); }
void setActive(Control* c, bool on) { gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget(c)), on); }
bool sensitive(Control* c) { return gtk_widget_get_sensitive(widget(c)); }
GdkRGBA wellColour(Control* c) {
    GdkRGBA rgba{};
    gtk_color_chooser_get_rgba(GTK_COLOR_CHOOSER(widget(c)), &rgba);
    return rgba;
}
// What a user's pick in the well's dialog does: the well takes the colour and says so.
void pickColour(Control* well, GdkRGBA rgba) {
    gtk_color_chooser_set_rgba(GTK_COLOR_CHOOSER(widget(well)), &rgba);
    g_signal_emit_by_name(widget(well), "color-set");
}
std::string labelText(Control* c) { return gtk_label_get_text(GTK_LABEL(widget(c))); }

// A 20 x 20 black picture with `lit` white pixels, as a PNG file.
void writeLitPicture(const std::string& path, int lit) {
    Magick::Image image(Magick::Geometry(20, 20), Magick::Color("black"));
    image.type(Magick::TrueColorType);
    for (int i = 0; i < lit; ++i)
        image.pixelColor(19 - i % 20, 19 - i / 20, Magick::Color("white"));  // corner 0 stays black
    image.write("PNG24:" + path);
}

// Chooses `path` in the file chooser that chooseLogo runs, the way a person does: the
// file is selected in the dialog, then "Open". Cancels when `path` is empty or the
// chooser never shows the file (bounded: five seconds).
struct ChooserDriver {
    std::string path;
    std::chrono::steady_clock::time_point deadline;
    bool sawDialog = false;
    bool done = false;
    std::string startFolder;

    static gboolean step(gpointer data) {
        auto* self = static_cast<ChooserDriver*>(data);
        GtkWidget* dialog = nullptr;
        GList* toplevels = gtk_window_list_toplevels();
        for (GList* l = toplevels; l; l = l->next)
            if (GTK_IS_FILE_CHOOSER_DIALOG(l->data) && gtk_widget_get_visible(GTK_WIDGET(l->data)))
                dialog = GTK_WIDGET(l->data);
        g_list_free(toplevels);
        const bool late = std::chrono::steady_clock::now() > self->deadline;
        if (!dialog) {
            self->done = late;
            return late ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
        }
        GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
        if (!self->sawDialog) {
            self->sawDialog = true;
            if (!self->path.empty()) gtk_file_chooser_select_filename(chooser, self->path.c_str());
            return G_SOURCE_CONTINUE;
        }
        gchar* selected = gtk_file_chooser_get_filename(chooser);
        const bool ready = selected && self->path == selected;
        g_free(selected);
        if (!ready && !self->path.empty() && !late) return G_SOURCE_CONTINUE;
        self->done = true;
        if (gchar* folder = gtk_file_chooser_get_current_folder(chooser)) {
            self->startFolder = folder;
            g_free(folder);
        }
        gtk_dialog_response(GTK_DIALOG(dialog), ready ? GTK_RESPONSE_ACCEPT : GTK_RESPONSE_CANCEL);
        return G_SOURCE_REMOVE;
    }
};

class Sheet : public StoreTest {
protected:
    static void SetUpTestSuite() {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) return;
        // No accessibility bus, desktop settings or virtual file systems for these
        // in-process tests: GTK alone, on X11 like the pane.
        setenv("GDK_BACKEND", "x11", 1);
        setenv("NO_AT_BRIDGE", "1", 1);
        setenv("GSETTINGS_BACKEND", "memory", 1);
        setenv("GIO_USE_VFS", "local", 1);
        // No session bus either: a bus that cannot be reached, so that nothing (the file
        // chooser's places) starts one through the X display for the rest of the session.
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/zorvan-test-bus", 1);
        gtkReady_ = gtk_init_check(nullptr, nullptr);
    }
    void SetUp() override {
        if (!gtkReady_) GTEST_SKIP() << "no X display for GTK";
        StoreTest::SetUp();
        view = makeOffscreenView(320, 200, true);
        ASSERT_TRUE(view);
        view->setFrameSize(Size{320, 200});
    }
    void TearDown() override {
        view.reset();
        drain();
    }
    Control* open() {
        Control* w = view->configureSheet();
        if (widget(w)) gtk_widget_show(widget(w));  // as the pane does
        drain();
        return w;
    }
    void close() {
        click(test::state(view).sheet.sheetNib->objectNamed("closeButton"));
        drain();
    }
    // Runs chooseLogo with the file chooser driven to pick `path` ("" cancels).
    std::string chooseLogoFile(const std::string& path) {
        ChooserDriver driver;
        driver.path = path;
        driver.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        g_timeout_add(20, &ChooserDriver::step, &driver);
        // The click only shows the chooser; the choice is taken on the main loop.
        click(test::state(view).sheet.sheetNib->objectNamed("chooseButton"));
        while (!driver.done) g_main_context_iteration(nullptr, TRUE);
        drain();
        EXPECT_TRUE(driver.sawDialog) << "no file chooser";
        return driver.startFolder;
    }

    std::unique_ptr<Zorvan> view;
    static inline bool gtkReady_ = false;
};

TEST_F(Sheet, OpeningSetsEveryControlFromTheSettings) {
    test::state(view).settings.numMotes = 1234;
    test::state(view).settings.moteSize = 25;
    test::state(view).settings.drawMode = 1;
    test::state(view).settings.colourMode = 1;
    test::state(view).settings.minimumContrast = 0.5f;
    test::state(view).settings.mainScreenOnly = true;
    test::state(view).settings.directional = false;
    test::state(view).settings.moteShape = 2;
    test::state(view).settings.bg = {0.25f, 0.5f, 0.75f};
    test::state(view).settings.light = {0.1f, 0.2f, 0.3f};
    test::state(view).settings.heavy = {0.9f, 0.8f, 0.7f};
    test::state(view).settings.speed = 1.5f;
    test::state(view).sheet.reinitMotes = true;

    Control* w = open();
    ASSERT_NE(widget(w), nullptr);
    EXPECT_TRUE(GTK_IS_DIALOG(widget(w)));
    EXPECT_EQ(rangeValue(test::state(view).sheet.motesSlider), 1234);
    EXPECT_EQ(rangeValue(test::state(view).sheet.sizeSlider), 10);  // 25 is outside 1..19
    EXPECT_NEAR(rangeValue(test::state(view).sheet.speedSlider), 1.5, 1e-6);
    EXPECT_TRUE(active(test::state(view).sheet.tailsBox));
    EXPECT_TRUE(active(test::state(view).sheet.contrastBox));
    EXPECT_TRUE(active(test::state(view).sheet.screensBox));
    EXPECT_FALSE(active(test::state(view).sheet.directionalButton));
    EXPECT_TRUE(active(test::state(view).sheet.hexButton));
    EXPECT_FALSE(active(test::state(view).sheet.squareButton) || active(test::state(view).sheet.diamondButton));
    EXPECT_TRUE(active(test::state(view).sheet.customColours));
    EXPECT_FALSE(active(test::state(view).sheet.defaultColours) || active(test::state(view).sheet.imageColours));
    EXPECT_NEAR(wellColour(test::state(view).sheet.bgWell).blue, 0.75, 1e-6);
    EXPECT_NEAR(wellColour(test::state(view).sheet.lightWell).red, 0.1, 1e-6);
    EXPECT_NEAR(wellColour(test::state(view).sheet.heavyWell).green, 0.8, 1e-6);
    EXPECT_TRUE(sensitive(test::state(view).sheet.bgWell) && sensitive(test::state(view).sheet.lightWell) && sensitive(test::state(view).sheet.heavyWell));
    EXPECT_TRUE(sensitive(test::state(view).sheet.bgLabel) && sensitive(test::state(view).sheet.motesLabel));
    EXPECT_EQ(gtk_image_get_storage_type(GTK_IMAGE(widget(test::state(view).sheet.logoImage))), GTK_IMAGE_PIXBUF);
    EXPECT_FALSE(test::state(view).sheet.reinitMotes);

    // Every control is reachable by Tab, and named by its own label.
    EXPECT_TRUE(gtk_widget_get_can_focus(widget(test::state(view).sheet.motesSlider)));
    EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(widget(test::state(view).sheet.hexButton))), "Hexagon");

    // A second opening is a new sheet, set from the settings as they are now; the first
    // one's window goes with it.
    bool firstDestroyed = false;
    g_signal_connect(widget(w), "destroy", G_CALLBACK(+[](GtkWidget*, gpointer flag) {
                         *static_cast<bool*>(flag) = true;
                     }), &firstDestroyed);
    close();
    test::state(view).settings.moteSize = 1;
    test::state(view).settings.colourMode = 0;
    Control* again = open();
    EXPECT_NE(widget(again), nullptr);
    EXPECT_TRUE(firstDestroyed) << "the first sheet's window was not destroyed";
    EXPECT_EQ(rangeValue(test::state(view).sheet.sizeSlider), 19);
    EXPECT_FALSE(sensitive(test::state(view).sheet.bgWell) || sensitive(test::state(view).sheet.lightWell) || sensitive(test::state(view).sheet.heavyWell));
    EXPECT_FALSE(sensitive(test::state(view).sheet.bgLabel) || sensitive(test::state(view).sheet.motesLabel));
}

TEST_F(Sheet, ClosingReadsTheControlsBackAppliesAndSaves) {
    test::state(view).settings.moteSize = 25;
    Control* w = open();
    setRange(test::state(view).sheet.speedSlider, 2.25);
    setActive(test::state(view).sheet.tailsBox, true);
    setActive(test::state(view).sheet.screensBox, true);
    setActive(test::state(view).sheet.directionalButton, false);
    click(test::state(view).sheet.hexButton);
    close();
    EXPECT_FALSE(gtk_widget_get_visible(widget(w))) << "closing ends the sheet";
    EXPECT_EQ(test::state(view).settings.moteSize, 10);
    EXPECT_EQ(test::state(view).settings.drawMode, 1);
    EXPECT_TRUE(test::state(view).settings.mainScreenOnly);
    EXPECT_FALSE(test::state(view).settings.directional);
    EXPECT_EQ(test::state(view).settings.moteShape, 2);
    EXPECT_FLOAT_EQ(test::state(view).settings.speed, 2.25f);
    EXPECT_FALSE(test::state(view).sheet.reinitMotes) << "nothing that shapes the seeding changed";
    const std::string saved = fileText();
    EXPECT_TRUE(contains(saved, "moteShape=2")) << saved;
    EXPECT_TRUE(contains(saved, "drawMode=1")) << saved;
    EXPECT_TRUE(contains(saved, "speed=2.25")) << saved;
    EXPECT_FALSE(view->lastSaveFailed());

    // The size slider's ends and beyond: 19 draws the largest motes, 0 and 20 fall back.
    for (auto [slider, size] : {std::pair{19, 1}, {1, 19}, {0, 10}, {20, 10}}) {
        open();
        GtkAdjustment* adj = gtk_range_get_adjustment(GTK_RANGE(widget(test::state(view).sheet.sizeSlider)));
        gtk_adjustment_set_lower(adj, 0);
        gtk_adjustment_set_upper(adj, 20);
        setRange(test::state(view).sheet.sizeSlider, slider);
        close();
        EXPECT_EQ(test::state(view).settings.moteSize, size) << "slider " << slider;
    }

    // Square wins over diamond when a broken group has both on.
    open();
    gtk_radio_button_join_group(GTK_RADIO_BUTTON(widget(test::state(view).sheet.diamondButton)), nullptr);
    setActive(test::state(view).sheet.squareButton, true);
    setActive(test::state(view).sheet.diamondButton, true);
    close();
    EXPECT_EQ(test::state(view).settings.moteShape, 0);

    // Esc or the window's close end the sheet the same way: closing always applies.
    w = open();
    click(test::state(view).sheet.diamondButton);
    gtk_window_close(GTK_WINDOW(widget(w)));
    drain();
    EXPECT_FALSE(gtk_widget_get_visible(widget(w)));
    EXPECT_EQ(test::state(view).settings.moteShape, 1);
}

TEST_F(Sheet, TheMoteArrayGrowsOnlyBeyondItsCapacity) {
    ASSERT_EQ(test::state(view).swarm.numMotesAllocated, 1500);
    auto firstPositions = [&](int n) {
        std::vector<Vec2> p;
        for (int i = 0; i < n; ++i) p.push_back(test::state(view).swarm.motes[i].pos);
        return p;
    };
    auto samePositions = [](const std::vector<Vec2>& a, const std::vector<Vec2>& b) {
        return std::memcmp(a.data(), b.data(), a.size() * sizeof(Vec2)) == 0;
    };

    open();
    setRange(test::state(view).sheet.motesSlider, 2000);
    close();
    EXPECT_EQ(test::state(view).swarm.numMotesAllocated, 2000);
    EXPECT_EQ(test::state(view).settings.numMotes, 2000);
    EXPECT_TRUE(test::state(view).sheet.reinitMotes);
    for (int i = 0; i < 2000; ++i) test::state(view).swarm.motes[i].pos = {-7.0f, -7.0f};  // marks: seeding overwrites

    open();
    const Mote* before = test::state(view).swarm.motes;
    setRange(test::state(view).sheet.motesSlider, 1000);
    close();
    EXPECT_EQ(test::state(view).swarm.motes, before);
    EXPECT_EQ(test::state(view).swarm.numMotesAllocated, 2000);
    EXPECT_EQ(test::state(view).settings.numMotes, 1000);
    EXPECT_FALSE(test::state(view).sheet.reinitMotes);
    EXPECT_EQ(test::state(view).swarm.motes[999].pos.x, -7.0f) << "a lower count re-seeded the motes";

    open();
    setRange(test::state(view).sheet.motesSlider, 1800);
    close();
    EXPECT_EQ(test::state(view).swarm.motes, before);
    EXPECT_EQ(test::state(view).settings.numMotes, 1800);
    EXPECT_TRUE(test::state(view).sheet.reinitMotes);
    EXPECT_NE(test::state(view).swarm.motes[1799].pos.x, -7.0f);
    EXPECT_NE(test::state(view).swarm.motes[0].pos.x, -7.0f);
    EXPECT_EQ(test::state(view).swarm.motes[1800].pos.x, -7.0f) << "motes beyond the count were seeded";

    // A count that cannot be had keeps the motes that were live, and their count.
    const std::vector<Vec2> live = firstPositions(1800);
    open();
    GtkAdjustment* adj = gtk_range_get_adjustment(GTK_RANGE(widget(test::state(view).sheet.motesSlider)));
    gtk_adjustment_set_upper(adj, 2000000000.0);
    setRange(test::state(view).sheet.motesSlider, 2000000000.0);
    close();
    EXPECT_EQ(test::state(view).swarm.motes, before);
    EXPECT_EQ(test::state(view).settings.numMotes, 1800);
    EXPECT_EQ(test::state(view).swarm.numMotesAllocated, 2000);
    EXPECT_TRUE(samePositions(firstPositions(1800), live));
    view->animateOneFrame();  // steps and draws only what exists
    EXPECT_TRUE(contains(fileText(), "numMotes=1800"));
}

TEST_F(Sheet, TheContrastCheckReseedsOnlyWhenItChanges) {
    struct Case {
        float before;
        bool box;
        float after;
        bool reseed;
    };
    for (const Case& c : {Case{0.0f, true, 0.5f, true}, Case{0.5f, true, 0.5f, false},
                          Case{0.5f, false, 0.0f, true}, Case{0.0f, false, 0.0f, false}}) {
        test::state(view).settings.minimumContrast = c.before;
        open();
        setActive(test::state(view).sheet.contrastBox, c.box);
        close();
        EXPECT_EQ(test::state(view).settings.minimumContrast, c.after);
        EXPECT_EQ(test::state(view).sheet.reinitMotes, c.reseed);
    }
}

TEST_F(Sheet, PictureColoursTakeTheBackgroundAfterSaving) {
    ASSERT_NE(test::state(view).picture.logo, nullptr) << "the default picture should be loaded";
    test::state(view).settings.bg = {0.1f, 0.2f, 0.3f};
    open();
    click(test::state(view).sheet.imageColours);
    EXPECT_EQ(test::state(view).settings.colourMode, 2);
    EXPECT_FLOAT_EQ(test::state(view).settings.bg.r, 0.1f) << "picture colours change nothing before closing";
    close();
    EXPECT_TRUE(contains(fileText(), "bgR=0.1\n")) << fileText();
    EXPECT_EQ(test::state(view).settings.bg.r, test::state(view).picture.logo[0].r);
    EXPECT_EQ(test::state(view).settings.bg.g, test::state(view).picture.logo[0].g);
    EXPECT_EQ(test::state(view).settings.bg.b, test::state(view).picture.logo[0].b);
}

TEST_F(Sheet, ChoosingALogoThroughTheFileChooser) {
    const std::string few = dir / "few.png", enough = dir / "enough.png", junk = dir / "junk.png";
    writeLitPicture(few, 49);
    writeLitPicture(enough, 50);
    writeFile(junk, "this is not a picture");

    open();
    EXPECT_EQ(chooseLogoFile(""), std::getenv("HOME")) << "the chooser starts at home";
    chooseLogoFile(enough);
    EXPECT_EQ(test::state(view).settings.logoMode, 2);
    EXPECT_EQ(test::state(view).settings.logoFile, enough);
    EXPECT_EQ(test::state(view).picture.numNonBGPixels, 50);
    EXPECT_TRUE(test::state(view).sheet.reinitMotes);

    // Too few pixels: the module's own picture comes back, also from the default logo.
    for (int startMode : {2, 0}) {
        if (startMode == 0) {
            view->defaultLogo(nullptr);
            ASSERT_EQ(test::state(view).settings.logoMode, 0);
        }
        test::state(view).sheet.reinitMotes = false;
        chooseLogoFile(few);
        EXPECT_EQ(test::state(view).settings.logoMode, 0);
        EXPECT_TRUE(test::state(view).settings.logoFile && contains(*test::state(view).settings.logoFile, "zorvan.pict"));
        EXPECT_GT(test::state(view).picture.numNonBGPixels, 49);
        EXPECT_TRUE(test::state(view).sheet.reinitMotes);
        EXPECT_EQ(gtk_image_get_storage_type(GTK_IMAGE(widget(test::state(view).sheet.logoImage))), GTK_IMAGE_PIXBUF);
    }

    // An unreadable file changes nothing, and the sheet says why.
    chooseLogoFile(enough);
    test::state(view).sheet.reinitMotes = false;
    const Colour* table = test::state(view).picture.logo;
    chooseLogoFile(junk);
    EXPECT_EQ(test::state(view).settings.logoMode, 2);
    EXPECT_EQ(test::state(view).settings.logoFile, enough);
    EXPECT_EQ(test::state(view).picture.logo, table);
    EXPECT_EQ(test::state(view).picture.logoWidth, 20);
    EXPECT_EQ(test::state(view).picture.logoHeight, 20);
    EXPECT_FALSE(test::state(view).sheet.reinitMotes);
    EXPECT_EQ(labelText(test::state(view).sheet.logoMessage), "Cannot read that picture; the logo is unchanged.");
    close();
    EXPECT_TRUE(contains(fileText(), "logoFile=" + enough)) << fileText();

    // Cancelling changes nothing either.
    open();
    test::state(view).sheet.reinitMotes = false;
    chooseLogoFile("");
    EXPECT_EQ(test::state(view).settings.logoFile, enough);
    EXPECT_FALSE(test::state(view).sheet.reinitMotes);
    close();
}

TEST_F(Sheet, DefaultAndNoLogo) {
    open();
    ASSERT_EQ(test::state(view).settings.logoMode, 0);
    const Colour* table = test::state(view).picture.logo;
    view->defaultLogo(nullptr);  // already the default: nothing at all
    click(test::state(view).sheet.sheetNib->objectNamed("defaultLogoButton"));
    EXPECT_EQ(test::state(view).picture.logo, table);
    EXPECT_FALSE(test::state(view).sheet.reinitMotes);

    const int width = test::state(view).picture.logoWidth;
    for (int i = 0; i < 2; ++i) {
        test::state(view).sheet.reinitMotes = false;
        click(test::state(view).sheet.sheetNib->objectNamed("noLogoButton"));
        EXPECT_EQ(test::state(view).settings.logoMode, 1);
        EXPECT_FALSE(test::state(view).settings.logoFile);
        EXPECT_FALSE(test::state(view).picture.logoImageSrc);
        EXPECT_TRUE(test::state(view).sheet.reinitMotes);
        EXPECT_EQ(test::state(view).picture.logo, table) << "no logo keeps the pixel table";
        EXPECT_EQ(test::state(view).picture.logoWidth, width);
        EXPECT_EQ(gtk_image_get_storage_type(GTK_IMAGE(widget(test::state(view).sheet.logoImage))), GTK_IMAGE_EMPTY);
    }
    // With picture colours, the re-seeded motes and the background still come from it.
    click(test::state(view).sheet.imageColours);
    close();
    EXPECT_EQ(test::state(view).settings.bg.r, table[0].r);
    EXPECT_TRUE(contains(fileText(), "logoMode=1"));
    EXPECT_FALSE(contains(fileText(), "logoFile="));
}

TEST_F(Sheet, ColourModesAndWells) {
    test::state(view).settings.colourMode = 1;
    test::state(view).settings.bg = {0.2f, 0.2f, 0.2f};
    test::state(view).settings.light = {0.3f, 0.3f, 0.3f};
    test::state(view).settings.heavy = {0.4f, 0.4f, 0.4f};
    open();
    pickColour(test::state(view).sheet.lightWell, GdkRGBA{0.5, 0.25, 0.125, 1.0});
    EXPECT_FLOAT_EQ(test::state(view).settings.light.g, 0.25f);
    EXPECT_TRUE(test::state(view).sheet.reinitMotes);

    // Default colours, then custom again: the wells' colours come back.
    click(test::state(view).sheet.defaultColours);
    EXPECT_EQ(test::state(view).settings.colourMode, 0);
    EXPECT_EQ(test::state(view).settings.light.g, LIGHT.g);
    EXPECT_EQ(test::state(view).settings.bg.r, 0.0f);
    EXPECT_FALSE(sensitive(test::state(view).sheet.lightWell));
    EXPECT_FALSE(sensitive(test::state(view).sheet.bgLabel));
    click(test::state(view).sheet.customColours);
    EXPECT_EQ(test::state(view).settings.colourMode, 1);
    EXPECT_FLOAT_EQ(test::state(view).settings.light.g, 0.25f);
    EXPECT_FLOAT_EQ(test::state(view).settings.bg.r, 0.2f);
    EXPECT_FLOAT_EQ(test::state(view).settings.heavy.r, 0.4f);
    EXPECT_TRUE(sensitive(test::state(view).sheet.lightWell) && sensitive(test::state(view).sheet.motesLabel));
    EXPECT_TRUE(active(test::state(view).sheet.customColours) && !active(test::state(view).sheet.defaultColours));

    // A colour out of range or with alpha is brought into range; alpha is ignored.
    pickColour(test::state(view).sheet.bgWell, GdkRGBA{1.5, -0.25, 0.5, 0.3});
    EXPECT_EQ(test::state(view).settings.bg.r, 1.0f);
    EXPECT_EQ(test::state(view).settings.bg.g, 0.0f);
    EXPECT_EQ(test::state(view).settings.bg.b, 0.5f);

    // setColourMode from any other control changes nothing.
    test::state(view).sheet.reinitMotes = false;
    view->setColourMode(test::state(view).sheet.tailsBox);
    view->setColourMode(nullptr);
    EXPECT_EQ(test::state(view).settings.colourMode, 1);
    EXPECT_FALSE(test::state(view).sheet.reinitMotes);
    close();
    EXPECT_TRUE(contains(fileText(), "bgR=1\n")) << fileText();
    EXPECT_TRUE(contains(fileText(), "bgG=0\n"));
}

TEST_F(Sheet, ADamagedInterfaceFileLoadsNothing) {
    Control* w = open();
    Control* slider = test::state(view).sheet.motesSlider;
    const std::string damaged = dir / "damaged.nib";
    writeFile(damaged, readFile(ZORVAN_SOURCE_DIR "/resources/Zorvan.nib").substr(0, 2000));
    testing::internal::CaptureStderr();
    EXPECT_EQ(Nib::loadNibFile(damaged, test::state(view).sheet), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(lines(err, true), 1) << err;
    EXPECT_EQ(test::state(view).sheet.motesSlider, slider) << "a failed load left the outlets alone";
    EXPECT_EQ(test::state(view).sheet.window, w);
    close();
    EXPECT_FALSE(gtk_widget_get_visible(widget(w)));
}

TEST_F(Sheet, ASettingsFileThatCannotBeSavedStillApplies) {
    const std::filesystem::path blocker = dir / "not-a-folder";
    writeFile(blocker, "x");
    ScreenSaverDefaults::setStorePathOverride((blocker / "Zorvan.conf").string());
    open();
    click(test::state(view).sheet.hexButton);
    testing::internal::CaptureStderr();
    close();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(view->lastSaveFailed());
    EXPECT_EQ(test::state(view).settings.moteShape, 2);
    EXPECT_EQ(lines(err, true), 1) << err;
    EXPECT_EQ(readFile(blocker.string()), "x");
}

}  // namespace
