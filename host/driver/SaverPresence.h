// Between Zorvan's own processes of one session (one Wayland display, or one X display):
// a saver that covers the outputs says so, and the wallpapers and windows under it rest
// until it ends.
// Some compositors (KWin, weston) keep asking covered surfaces for frames, so this is
// the only sign a wallpaper gets there.
//
// The sign is a lock: the saver holds a shared lock on a file in $XDG_RUNTIME_DIR named
// after the session's display for as long as it runs, and the kernel drops it when the
// process goes, however it ends (a saver killed without a word leaves no wallpaper
// resting). The others look by trying for an exclusive lock without waiting. Without a
// runtime folder or a display name there is no sign: wallpapers draw as before.
#pragma once

#include <optional>
#include <string>

namespace zorvan::host {

class SaverPresence {
public:
    // The session's rendezvous file: $XDG_RUNTIME_DIR/<prefix><display>, after
    // WAYLAND_DISPLAY (a saver under XWayland belongs to the same session), else DISPLAY.
    // The idle daemon keeps its own beside it (zorvan-daemon-<display>).
    static std::optional<std::string> sessionFile(const std::string& prefix = "zorvan-saver-");

    // A saver: holds the sign from now until the object goes. Silently none when the file
    // cannot be had.
    static SaverPresence announce();

    // A wallpaper or window: whether a saver of this session runs now.
    bool saverRunning();

    SaverPresence() = default;
    SaverPresence(SaverPresence&& other) noexcept;
    SaverPresence& operator=(SaverPresence&& other) noexcept;
    ~SaverPresence();

private:
    int fd_ = -1;
    bool triedOpen_ = false;
};

}  // namespace zorvan::host
