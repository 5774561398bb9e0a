// Interface files: a window and its controls defined in a resource file, loaded with an
// owner whose outlets are pointed at the controls (by the objects' ids) and whose
// actions the controls send (by handler name, e.g. "closeSheet:").
//
// Backends: GtkBuilder (GtkNib.cpp), which needs an open display: without one, or for a
// missing or malformed file, nothing is loaded; none in a saver run (NoControls.cpp).
#pragma once

#include <memory>
#include <string>

namespace zorvan {

class Control;

class NibOwner {
public:
    virtual ~NibOwner() = default;
    // A load has succeeded and is about to point the outlets at its controls.
    virtual void outletsWillChange() {}
    // The outlet field called `name`, or null when the owner has no such outlet.
    virtual Control** outlet(const std::string& name) = 0;
    // Whether the owner has the action `name`, and performing it with its sender.
    virtual bool respondsToAction(const std::string& name) const = 0;
    virtual void performAction(const std::string& name, Control* sender) = 0;
};

// One loaded copy of an interface file. It owns its controls and its windows: when it
// goes, its windows are destroyed and its controls are freed.
class Nib {
public:
    // Loads the module resource `name` ("Zorvan.nib") with `owner`; null when it cannot.
    static std::unique_ptr<Nib> loadNibNamed(const std::string& name, NibOwner& owner);
    // The same from a file path.
    static std::unique_ptr<Nib> loadNibFile(const std::string& path, NibOwner& owner);

    ~Nib();
    Nib(const Nib&) = delete;
    Nib& operator=(const Nib&) = delete;

    // The control made for the object with this id, or null.
    Control* objectNamed(const std::string& id) const;

    struct Impl;

private:
    explicit Nib(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace zorvan
