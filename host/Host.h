// The parts of `zorvan`: the window host, the offscreen renderer, and what both share.
#pragma once

#include "host/Options.h"
#include "platform/gl/OpenGLView.h"

#include <memory>
#include <optional>
#include <string>

namespace zorvan {
class OsMesaView;
class Zorvan;
}

namespace zorvan::host {

// The options of the command line `argv`; none, with the error reported, for a
// malformed one (exit status 2).
std::optional<Options> parseCommandLine(int argc, char** argv);

// Process set-up that must come before the first view: the preference file override,
// the settings given for this run, and the seed of random() (the given one, or one
// from the clock).
void prepareProcess(const Options& options);

// A view created on `makeGLView` with `frame` (its screen's, origin at the lower-left
// corner of the primary monitor), the way a screen-saver host makes one: initWithFrame
// as the preview or not. With --mode the motion mode is held: the play list is emptied,
// so the schedule never switches. Returns null, with `error` set, when the view or its
// GL view cannot be made; a view that declines to draw is no failure.
std::unique_ptr<Zorvan> makeView(OpenGLViewFactory makeGLView, Rect frame, bool isPreview,
                                 const Options& options, std::string& error);

// --settings: runs the settings program (libexec/zorvan/zorvan-settings beside the
// program's bin/) in this process, with the same arguments. Returns only on failure,
// with the exit status.
int runSettingsProgram(char** argv);

// --resources: the resolved resource paths, one a line.
int printResources();

// The frame of `gl` as an opaque PNG picture, top row first, written to `path`. On
// failure returns false with `error` set to one line; no partial file is left.
bool writeFramePng(const OsMesaView& gl, const std::string& path, std::string& error);

// "no X display <purpose> (DISPLAY=…)", or "(DISPLAY is not set)".
std::string noDisplayMessage(const std::string& purpose);

// Prints "zorvan: <message>" as one line on stderr.
void reportError(const std::string& message);

}  // namespace zorvan::host
