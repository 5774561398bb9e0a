// Messages to the sheet's outlets. An outlet that no interface file has set yet is
// absent: what is sent to it has no effect, and what is read from it is the setting's
// current value, so a sheet that never loaded changes nothing when it closes.
#pragma once

#include "platform/controls/Control.h"

namespace zorvan::sheet {

inline void setIntValue(Control* c, int value) {
    if (c) c->setIntValue(value);
}
inline void setFloatValue(Control* c, float value) {
    if (c) c->setFloatValue(value);
}
inline void setState(Control* c, int state) {
    if (c) c->setState(state);
}
inline void setEnabled(Control* c, bool enabled) {
    if (c) c->setEnabled(enabled);
}
inline void setTextColor(Control* c, TextColor color) {
    if (c) c->setTextColor(color);
}
inline void setStringValue(Control* c, const std::string& text) {
    if (c) c->setStringValue(text);
}
inline void setImage(Control* c, const Image* image) {
    if (c) c->setImage(image);
}
inline int intValue(const Control* c, int current) { return c ? c->intValue() : current; }
inline float floatValue(const Control* c, float current) { return c ? c->floatValue() : current; }

}  // namespace zorvan::sheet
