// Shared helpers for the test suites.
#pragma once

#include "platform/gl/OsMesaView.h"
#include "saver/Zorvan.h"
#include "support/ViewState.h"

#include <memory>
#include <string>

namespace zorvan::test {

// A view created on a real offscreen context, with a frame of w x h at the origin.
// Returns null when the view cannot be made.
std::unique_ptr<Zorvan> makeOffscreenView(double w, double h, bool isPreview = false);

// The view's offscreen GL view, or null.
OsMesaView* offscreenOf(Zorvan& view);

// A fresh, empty folder for one test's files, removed when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string readFile(const std::string& path);

}  // namespace zorvan::test
