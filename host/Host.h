// The parts of `zorvan`: the window host, the offscreen renderer, and what both share.
#pragma once

#include "host/Options.h"
#include "platform/gl/OpenGLView.h"

#include <memory>
#include <string>

namespace zorvan {
class OsMesaView;
class Zorvan;
}

namespace zorvan::host {

// Process set-up that must come before the first view: the preference file override,
// the settings given for this run, and the seed of random() (the given one, or one
// from the clock).
void prepareProcess(const Options& options);

// A view created on `makeGLView` with the frame (0, 0, w, h), the way a screen-saver host
// makes one: the gamma-fade query, then initWithFrame. With --mode the motion mode is
// held: the play list is emptied, so the schedule never switches. Returns null, with
// `error` set, when the view or its GL view cannot be made.
std::unique_ptr<Zorvan> makeView(OpenGLViewFactory makeGLView, int width, int height,
                                 const Options& options, std::string& error);

// --resources: the resolved resource paths, one a line.
int printResources();

// The frame of `gl` as an opaque PNG picture, top row first, written to `path`. On
// failure returns false with `error` set to one line; no partial file is left.
bool writeFramePng(const OsMesaView& gl, const std::string& path, std::string& error);

// --render: offscreen frames to a PNG picture (and the mote dump).
int runOffscreen(const Options& options);

// The saver in an X11 window until it is closed.
int runWindow(const Options& options);

// Prints "zorvan: <message>" as one line on stderr.
void reportError(const std::string& message);

}  // namespace zorvan::host
