// The Zorvan saver view: one per screen and one for the preview. The host drives it
// through initWithFrame, setFrameSize, startAnimation and animateOneFrame; everything
// else is the view's own work, spread over the subsystem folders by concern.
//
// The state is plain public members, all zero, false or null until an entry point
// writes them: the schedule, the field and the seeding rely on that start.
#pragma once

#include "platform/ScreenSaverView.h"
#include "platform/controls/Nib.h"
#include "platform/gl/OpenGLView.h"
#include "sim/Mote.h"

#include <memory>
#include <optional>
#include <string>

namespace zorvan {

class Image;
class BitmapImageRep;
class ScreenSaverDefaults;
class Control;
class OpenPanel;

class Zorvan : public ScreenSaverView, public NibOwner {
public:
    // `makeGLView` is the host's choice of OpenGL backend. An empty factory, or one that
    // returns null, leaves the view without a GL view: it then draws nothing.
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

    // Mote population and seeding.
    void allocateMotes();
    void initMote(int i);
    // How many motes every per-mote loop runs over: the live count, never past the
    // array that exists (none without one).
    int liveMotes() const {
        if (!motes || numMotes <= 0) return 0;
        return numMotes < numMotesAllocated ? numMotes : numMotesAllocated;
    }

    // Vector field.
    void initVectorField();
    void advanceFields();
    int cellOf(float x, float y) const;

    // Motion.
    void advanceMotes();

    // Rendering.
    void drawMotes();

    // Logo.
    void loadLogo();
    Colour* getPixelColoursFromBitmapRep(const BitmapImageRep& rep);
    // Whether seeding can draw home points from the table at a bounded cost: a table
    // with at least MIN_LOGO_PIXELS pixels that are not background, and at least one in
    // every MAX_ENTRIES_PER_LOGO_PIXEL entries (so an average home point costs at most
    // that many attempts).
    bool logoTableUsable() const;
    static constexpr int MIN_LOGO_PIXELS = 50;
    static constexpr int MAX_ENTRIES_PER_LOGO_PIXEL = 4096;

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

    // The interface file's owner: outlets and actions by name.
    void outletsWillChange() override;
    Control** outlet(const std::string& name) override;
    bool respondsToAction(const std::string& name) const override;
    void performAction(const std::string& name, Control* sender) override;

    // --- state: saver view lifecycle and frame loop ---
    OpenGLView* _view = nullptr;  // owned by the subviews of the base view
    bool _initedGL = false;
    bool drawingEnabled = false;
    int displayWidth = 0, displayHeight = 0;
    int fieldWidth = 0, fieldHeight = 0;

    // --- mode play list ---
    int mode = 0;
    int playList[20] = {};
    int playListSize = 0;
    int playListIndex = 0;
    int frameCount = 0;
    int frameLimit = 0;
    int modeFrameLimits[7] = {};

    // --- motes ---
    Mote* motes = nullptr;  // from malloc; the first numMotes are live
    int numMotesAllocated = 0;

    // --- vector field ---
    FieldVector fields[9] = {};
    FieldVector swirl[9] = {};
    Rotator rotators[9] = {};

    // --- logo ---
    std::shared_ptr<Image> logoImageSrc;
    Colour* logo = nullptr;  // from malloc; logoWidth x logoHeight entries
    int logoWidth = 0, logoHeight = 0;
    int numNonBGPixels = 0;

    // --- settings ---
    ScreenSaverDefaults* prefs = nullptr;  // the process-wide store, not owned
    int numMotes = 0;
    int moteSize = 0;
    bool mainScreenOnly = false;
    int logoMode = 0;
    std::optional<std::string> logoFile;
    int drawMode = 0;
    int colourMode = 0;
    float minimumContrast = 0.0f;
    int moteShape = 0;
    bool directional = false;
    Colour bg = {};
    Colour light = {};
    Colour heavy = {};
    float speed = 0.0f;
    float smoothness = 0.0f;

    // --- configuration sheet ---
    bool reinitMotes = false;
    // Outlets: the controls of the sheet loaded last (owned by sheetNib).
    Control* window = nullptr;
    Control* motesSlider = nullptr;
    Control* sizeSlider = nullptr;
    Control* speedSlider = nullptr;
    Control* tailsBox = nullptr;
    Control* contrastBox = nullptr;
    Control* screensBox = nullptr;
    Control* directionalButton = nullptr;
    Control* squareButton = nullptr;
    Control* diamondButton = nullptr;
    Control* hexButton = nullptr;
    Control* defaultColours = nullptr;
    Control* customColours = nullptr;
    Control* imageColours = nullptr;
    Control* bgWell = nullptr;
    Control* lightWell = nullptr;
    Control* heavyWell = nullptr;
    Control* bgLabel = nullptr;
    Control* motesLabel = nullptr;
    Control* logoImage = nullptr;
    // The line under the logo that says why a chosen picture was not taken.
    Control* logoMessage = nullptr;
    std::unique_ptr<Nib> sheetNib;
    // The file chooser chooseLogo shows; it answers later, on the main loop.
    std::unique_ptr<OpenPanel> openPanel;
    // The last savePrefs could not write the store: the settings are in effect but
    // will not be there at the next start.
    bool saveFailed = false;

private:
    // Shows colourMode on the sheet: its radio buttons, and the wells with their labels
    // usable in custom colours only.
    void showColourMode();

    // The start's logo load: a picture that cannot be read or has too little in it to
    // gather into warns on stderr and falls back, and never stops the saver.
    void loadLogoAtStart();
    // chooseLogo once the user has chosen `path`.
    void takeChosenLogo(const std::string& path);

    OpenGLViewFactory makeGLView_;
    bool sized_ = false;  // the host has sized the view, so the motes are seeded
};

}  // namespace zorvan
