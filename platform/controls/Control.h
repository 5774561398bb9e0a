// The sheet's controls as the module sees them: sliders, check and radio buttons,
// colour wells, labels, the image view and the sheet's window, each behind one
// interface, so the module never sees the toolkit.
//
// Backend: GTK 3 (GtkControl.cpp). A control whose widget is gone (its window was
// destroyed) takes every message without effect and reads as 0.
#pragma once

#include <optional>
#include <string>

namespace zorvan {

class Image;

// A colour in device RGB, components as doubles; alpha as the well holds it.
struct DeviceRGBColor {
    double red = 0.0, green = 0.0, blue = 0.0, alpha = 1.0;
};

// The two text colours of a label: that of an enabled control, and a disabled one.
enum class TextColor { controlTextColor, disabledControlTextColor };

class Control {
public:
    virtual ~Control() = default;

    // Sliders: their value; check and radio buttons: on (non-zero) or off.
    virtual void setIntValue(int value) = 0;
    virtual int intValue() const = 0;
    virtual void setFloatValue(float value) = 0;
    virtual float floatValue() const = 0;
    // Check and radio buttons: 1 on, 0 off.
    virtual void setState(int state) = 0;
    virtual int state() const = 0;

    virtual void setEnabled(bool enabled) = 0;
    // Labels: drawn as the text of an enabled or a disabled control.
    virtual void setTextColor(TextColor color) = 0;
    // Labels: their text.
    virtual void setStringValue(const std::string& text) = 0;

    // Colour wells: the colour shown; its device-RGB form, or none when it has none.
    virtual void setColor(const DeviceRGBColor& color) = 0;
    virtual std::optional<DeviceRGBColor> colorUsingDeviceRGB() const = 0;

    // The image view: shows `image` scaled to fit, or nothing for null.
    virtual void setImage(const Image* image) = 0;
};

}  // namespace zorvan
