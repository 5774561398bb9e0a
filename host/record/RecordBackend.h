// The backend of --record: the offscreen backend's one screen, every frame of it written
// to a video.
#pragma once

#include "host/cli/Options.h"
#include "host/driver/WindowSystem.h"

#include <memory>

namespace zorvan::host {

std::unique_ptr<WindowSystem> makeRecordBackend(const Options& options);

}  // namespace zorvan::host
