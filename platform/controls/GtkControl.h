// GTK 3 backend of the sheet's controls: one Control over one widget.
// Implements: GtkRange (sliders: value, int values rounded), GtkToggleButton (check and
// radio buttons), GtkColorChooser (colour wells, RGBA), GtkLabel (text, and its text
// colour as the label's sensitivity), GtkImage (a picture scaled to fit the image's
// size request, aspect kept, drawn over black), and enabling any widget.
// Does not implement: messages a widget's kind has no meaning for (they do nothing),
// colour spaces other than RGB (a GTK colour always has an RGB form).
// The host may include this header; the module never does.
#pragma once

#include "platform/controls/Control.h"

#include <gtk/gtk.h>

namespace zorvan {

class GtkControl : public Control {
public:
    explicit GtkControl(GtkWidget* widget);
    ~GtkControl() override;
    GtkControl(const GtkControl&) = delete;
    GtkControl& operator=(const GtkControl&) = delete;

    // The widget, or null once it has been destroyed.
    GtkWidget* widget() const { return widget_; }
    // The widget behind a control of this backend, or null.
    static GtkWidget* widgetOf(const Control* control);

    // True while a control's value is being set by the program: the widget's signals
    // then say nothing about the user, so no action is sent for them.
    static bool settingValue() { return settingDepth_ > 0; }

    void setIntValue(int value) override;
    int intValue() const override;
    void setFloatValue(float value) override;
    float floatValue() const override;
    void setState(int state) override { setIntValue(state); }
    int state() const override { return intValue(); }
    void setEnabled(bool enabled) override;
    void setTextColor(TextColor color) override;
    void setStringValue(const std::string& text) override;
    void setColor(const DeviceRGBColor& color) override;
    std::optional<DeviceRGBColor> colorUsingDeviceRGB() const override;
    void setImage(const Image* image) override;

private:
    static void onDestroy(GtkWidget*, gpointer self);
    GtkWidget* widget_;
    gulong destroyHandler_ = 0;
    static inline int settingDepth_ = 0;
    friend struct SettingValue;
};

}  // namespace zorvan
