// The command line and the settings of `zorvan --daemon`, the session's idle daemon: when
// the saver starts, whether one scene spans the monitors, and when and how the session
// locks after it. One table declares every option; the daemon's parser, zorvan's --help
// and the settings pane are made from it.
//
// Stored in ZorvanDaemon.conf beside the saver's Zorvan.conf (same folder, same key-file
// store), group [ZorvanDaemon]: saverAfter and lockAfter in seconds (lockAfter 0: never),
// lockCommand (empty: zorvan --lock where the compositor has the session lock, else the
// session's lock through logind), span. A stored value out of
// range reads as its default. Options on the command line hold for that run only.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zorvan::daemon {

// The store's module name: its file and group.
inline constexpr const char* STORE_NAME = "ZorvanDaemon";

// Idle times and lock times accepted, in seconds: a second up to a day.
inline constexpr int MIN_SECONDS = 1, MAX_SECONDS = 24 * 60 * 60;

struct DaemonSettings {
    int saverAfter = 5 * 60;  // seconds of idle before the saver starts
    int lockAfter = 0;        // seconds of saver before the lock; 0: never
    std::string lockCommand;  // how to lock; empty: zorvan --lock, or the session's lock
    bool span = false;        // one scene over every monitor
};

// What a command line that names --daemon, --activate or --deactivate asks.
struct DaemonCommand {
    enum class Action { Run, Activate, Deactivate };
    Action action = Action::Run;
    // The settings given on the command line, applied over the stored ones.
    std::optional<int> saverAfter, lockAfter;
    std::optional<std::string> lockCommand;
    bool span = false;

    DaemonSettings over(DaemonSettings stored) const;
};

// One option of the daemon, as --help lists it.
struct DaemonOption {
    const char* name;   // without dashes
    const char* value;  // placeholder of its value; null for a flag
    const char* help;   // '\n' starts a further line
};
std::span<const DaemonOption> daemonOptions();

// Whether `name` (without dashes) is one of the daemon's own options, which need --daemon;
// and whether it is one of the three that make a command line the daemon's.
bool isDaemonOption(const std::string& name);
bool namesDaemonAction(const std::string& name);

// Parses the arguments after the program name (one dash or two, a value after '=' or as
// the next argument). Exactly one of --daemon, --activate, --deactivate; the settings go
// with --daemon only. An error line otherwise.
struct DaemonParse {
    std::optional<DaemonCommand> command;
    std::string error;
};
DaemonParse parseDaemonCommandLine(const std::vector<std::string>& args);

// A time as people write it: minutes ("5"), or with a unit: "90s", "5m", "1h". From
// MIN_SECONDS to MAX_SECONDS; with `neverAllowed` also "never" or "0", read as 0.
std::optional<int> parseDuration(const std::string& text, bool neverAllowed);
// The same time written back in its largest whole unit: "5m", "90s", "2h"; 0 as "never".
std::string formatDuration(int seconds);

// The stored settings (defaults for what the file lacks or holds out of range); and
// saving them, false with one line on stderr when the file cannot be written.
DaemonSettings loadDaemonSettings();
// The same read from the file again, as it is now.
DaemonSettings reloadDaemonSettings();
bool saveDaemonSettings(const DaemonSettings& settings);

}  // namespace zorvan::daemon
