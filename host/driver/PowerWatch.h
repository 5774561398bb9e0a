// The machine's power as the system bus tells it: UPower's OnBattery and its display
// device (the battery that the desktop shows: its charge and warning level), and the
// power-profiles daemon's active profile, under its old name or its newer one.
// Implements: asking asynchronously on a GMainContext of its own, which poll() iterates
// without blocking, so the frame driver's loop needs no GLib main loop; the proxies
// follow the daemons' property changes, and daemons that start or stop later.
// Does not implement: a wake-up of the driver's wait when the state changes (the driver
// looks again at its next frame, or within a short wait while it rests).
// Without a system bus or without the daemons the state stays as on mains power, and
// nothing is reported.
#pragma once

#include <memory>
#include <string>

namespace zorvan::host {

struct PowerState {
    bool onBattery = false;
    std::string profile;       // "power-saver", "balanced", "performance"; empty: unknown
    bool battery = false;      // the display device is a present battery
    double percentage = 100.0;  // its charge
    unsigned warningLevel = 0;  // UPower's: 1 none, 2 discharging, 3 low, 4 critical, 5 action
};

class PowerWatch {
public:
    PowerWatch();   // starts asking, without waiting for an answer
    ~PowerWatch();  // cancels what is still on its way
    PowerWatch(const PowerWatch&) = delete;
    PowerWatch& operator=(const PowerWatch&) = delete;

    // Takes in what the bus said since the last call, without waiting; the state so far.
    const PowerState& poll();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zorvan::host
