// The configuration sheet: its interface file loaded with the sheet as owner, every
// control set from the settings when it opens, its actions, and at its close the rest
// of the controls read back. It acts on the settings and on the narrow interface of the
// view it configures (SheetClient): it never sees the motes, the field or GL.
#pragma once

#include "logo/LogoPicture.h"
#include "platform/controls/Nib.h"
#include "settings/Settings.h"

#include <memory>
#include <string>

namespace zorvan {

class Control;
class OpenPanel;

// What the sheet asks of the view it configures.
class SheetClient {
public:
    virtual ~SheetClient() = default;
    // Loads the settings' logo file into the view's logo.
    virtual void loadLogo() = 0;
    virtual LogoPicture& logoPicture() = 0;
    // Makes `count` motes live; true when they want seeding. When the motes cannot be had,
    // the count stays the one before, in the settings too.
    virtual bool setLiveMotes(int count) = 0;
    // After the sheet has ended: saves the settings, re-seeds every live mote when
    // `reseed`, and in logo colours takes the background from the logo.
    virtual void sheetEnded(bool reseed) = 0;
};

class ConfigureSheet : public NibOwner {
public:
    ConfigureSheet(Settings& settings, SheetClient& client);
    ~ConfigureSheet() override;
    ConfigureSheet(const ConfigureSheet&) = delete;
    ConfigureSheet& operator=(const ConfigureSheet&) = delete;

    // The sheet's window (null when the interface file never loaded), every control set.
    Control* configureSheet();
    // Reads the controls back, ends the sheet, and hands over to the view.
    void closeSheet(Control* sender);

    // The actions.
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

    // chooseLogo once the user has chosen `path`.
    void takeChosenLogo(const std::string& path);

    // The motes want seeding when the sheet closes.
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

private:
    // Shows colourMode on the sheet: its radio buttons, and the wells with their labels
    // usable in custom colours only.
    void showColourMode();
    // The outlet of the control with this id; null when there is none.
    Control* control(const char* id);

    Settings& settings_;
    SheetClient& client_;
};

}  // namespace zorvan
