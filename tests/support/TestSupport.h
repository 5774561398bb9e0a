// Shared helpers for the test suites.
#pragma once

#include "platform/gl/OsMesaView.h"
#include "saver/Zorvan.h"

#include <memory>

namespace zorvan::test {

// A view created on a real offscreen context, with a frame of w x h at the origin.
// Returns null when the view cannot be made.
std::unique_ptr<Zorvan> makeOffscreenView(double w, double h, bool isPreview = false);

// The view's offscreen GL view, or null.
OsMesaView* offscreenOf(Zorvan& view);

}  // namespace zorvan::test
