// The Zorvan saver view: one per screen and one for the preview. The host drives it
// through initWithFrame, setFrameSize, startAnimation and animateOneFrame. The view is
// the composition of parts that know nothing of it: the swarm (sim/), the logo (logo/),
// the renderer (render/), the settings and the configuration sheet (settings/). Its entry
// points step and draw them, and forward the sheet's.
//
// The state is ZorvanState, a private base: hosts ask the view what they need by name,
// readers such as the mote dump see it whole through state(), and tests reach it through
// their own accessor (tests/support/ViewState.h).
#pragma once

#include "platform/ScreenSaverView.h"
#include "platform/gl/OpenGLView.h"
#include "render/MoteRenderer.h"
#include "saver/ZorvanState.h"
#include "sim/Mote.h"

#include <optional>
#include <string>

namespace zorvan {

class BitmapImageRep;
class Control;

namespace test {
struct StateAccess;  // defined by the tests only
}

class Zorvan : public ScreenSaverView, public SheetClient, private ZorvanState {
public:
    // `makeGLView` is the host's choice of OpenGL backend; its maker keeps the GL view it
    // lends, and the view keeps the factory for its whole life. An empty factory, or one
    // that returns null, leaves the view without a GL view: it then draws nothing.
    explicit Zorvan(OpenGLViewFactory makeGLView);
    ~Zorvan() override;

    // Host entry points.
    static bool performGammaFade() { return true; }
    // Returns this view, or null when the base view cannot be initialised.
    Zorvan* initWithFrame(Rect frame, bool isPreview);
    void setFrameSize(Size size) override;
    void startAnimation() override;
    void animateOneFrame() override;
    bool hasConfigureSheet() const { return true; }

    // Frame loop and GL state.
    void initGL(int width, int height);

    // Mode play list.
    void initPlayList();
    void checkModeChange();

    // Mote population and seeding (the array itself is the swarm's).
    void allocateMotes();
    int liveMotes() const { return swarm.liveMotes(); }
    void initMote(int i);

    // Vector field.
    void initVectorField();
    void advanceFields();
    int cellOf(float x, float y) const;

    // Motion.
    void advanceMotes();

    // Rendering.
    // The whole scene on the GL view; or the part of it that one of its surfaces shows.
    void drawMotes();
    void drawMotes(const OpenGLView::Part& part);

    // Logo.
    void loadLogo() override;
    Colour* getPixelColoursFromBitmapRep(const BitmapImageRep& rep);
    bool logoTableUsable() const { return picture.logoTableUsable(); }
    static constexpr int MIN_LOGO_PIXELS = LogoPicture::MIN_LOGO_PIXELS;
    static constexpr int MAX_ENTRIES_PER_LOGO_PIXEL = LogoPicture::MAX_ENTRIES_PER_LOGO_PIXEL;

    // Preferences.
    void loadPrefs();
    void savePrefs();

    // Configuration sheet: the sheet's window (null when the interface file never
    // loaded), and its end, which applies and saves what the controls show.
    Control* configureSheet();
    void closeSheet(Control* sender);

    // Sheet actions.
    void chooseLogo(Control* sender);
    void defaultLogo(Control* sender);
    void noLogo(Control* sender);
    void setColourMode(Control* sender);
    void setBg(Control* sender);
    void setLight(Control* sender);
    void setHeavy(Control* sender);

    // What the sheet asks of the view.
    LogoPicture& logoPicture() override { return picture; }
    bool setLiveMotes(int count) override;
    void sheetEnded(bool reseed) override;

    // What the hosts ask of the view.
    // Hold motion mode `n` for the whole run: with the play list emptied, the schedule
    // never moves on from it.
    void holdMode(int n) {
        mode = n;
        playListSize = 0;  // checkModeChange leaves a list this short alone
    }
    // The GL view the view draws on; null when it has none.
    OpenGLView* glView() const { return _view; }
    // Whether the view draws at all: one that declined stays blank for its whole life.
    bool draws() const { return drawingEnabled; }
    // Whether the last savePrefs could not write the store, and where the store lives
    // (none before the settings were loaded).
    bool lastSaveFailed() const { return saveFailed; }
    std::optional<std::string> storePath() const;
    // Everything the view holds, to read.
    const ZorvanState& state() const { return *this; }
    // How the motes look, from the settings.
    MoteStyle moteStyle() const;

private:
    friend struct test::StateAccess;

    // What seeding reads, from the logo and the settings.
    SeedingInputs seeding() const;
    // The start's logo load: a picture that cannot be read or has too little in it to
    // gather into warns on stderr and falls back, and never stops the saver.
    void loadLogoAtStart();

    OpenGLViewFactory makeGLView_;
    bool sized_ = false;  // the host has sized the view, so the motes are seeded
};

}  // namespace zorvan
