// The controls backend of a saver run, which shows no dialog: the saver program links
// this one instead of the GTK backend, so that no toolkit is loaded to draw motes.
// Implements: every call of the control layer, as "nothing here": no interface file
// loads, the open panel answers "cancelled", ending a sheet does nothing.
// Does not implement: any control (the settings pane, a program of its own, has them).
#include "platform/controls/Application.h"
#include "platform/controls/Nib.h"
#include "platform/controls/OpenPanel.h"

namespace zorvan {

struct Nib::Impl {};

Nib::Nib(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Nib::~Nib() = default;
std::unique_ptr<Nib> Nib::loadNibNamed(const std::string&, NibOwner&) { return nullptr; }
std::unique_ptr<Nib> Nib::loadNibFile(const std::string&, NibOwner&) { return nullptr; }
Control* Nib::objectNamed(const std::string&) const { return nullptr; }

struct OpenPanel::Impl {};

OpenPanel::OpenPanel() = default;
OpenPanel::~OpenPanel() = default;
void OpenPanel::beginForDirectory(const std::string&, const std::optional<std::string>&,
                                  const std::vector<std::string>&, std::function<void(int)> done) {
    filename_.clear();
    if (done) done(0);
}

void Application::endSheet(Control*) {}

}  // namespace zorvan
