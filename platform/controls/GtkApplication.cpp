// GTK 3 backend of the application's sheet handling: a sheet ends by hiding its
// window. Does not implement: destroying it (the host that showed it does that).
#include "platform/controls/Application.h"

#include "platform/controls/GtkControl.h"

namespace zorvan {

void Application::endSheet(Control* sheet) {
    if (GtkWidget* window = GtkControl::widgetOf(sheet)) gtk_widget_hide(window);
}

}  // namespace zorvan
