#include "host/daemon/DaemonSettings.h"

#include "host/cli/OptionName.h"
#include "platform/prefs/ScreenSaverDefaults.h"

#include <cstdint>

namespace zorvan::daemon {

using host::optionName;
using host::quoted;

namespace {

const char SAVER_AFTER[] = "saverAfter", LOCK_AFTER[] = "lockAfter", LOCK_COMMAND[] = "lockCommand", SPAN[] = "span";

const DaemonOption OPTIONS[] = {
    {"daemon", nullptr,
     "start the saver full screen whenever the session is\n"
     "idle and end it at the next input (GNOME, KDE Plasma,\n"
     "sway, X11); runs in the foreground until a stop signal"},
    {"saver-after", "TIME",
     "with --daemon: idle time before the saver starts, in\n"
     "minutes (5) or with a unit (90s, 5m, 1h); default 5m,\n"
     "sooner where GNOME or Plasma would lock first"},
    {"lock-after", "TIME",
     "with --daemon: saver time after which the session locks\n"
     "(with zorvan --lock where the compositor has the session\n"
     "lock, else the desktop's): never (the default) or a\n"
     "time as above"},
    {"lock-command", "CMD",
     "with --daemon: lock with this shell command (swaylock\n"
     "-f) instead of zorvan --lock or logind's lock"},
    {"activate", nullptr, "start the saver of this session's daemon now"},
    {"deactivate", nullptr, "end the saver of this session's daemon and count\nidle afresh"},
};

std::optional<uint64_t> digits(const std::string& text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + uint64_t(c - '0');
    }
    return value;
}

bool inRange(int seconds) { return seconds >= MIN_SECONDS && seconds <= MAX_SECONDS; }

const DaemonOption* find(const std::string& name) {
    for (const DaemonOption& o : OPTIONS)
        if (name == o.name) return &o;
    return nullptr;
}

}  // namespace

std::span<const DaemonOption> daemonOptions() { return OPTIONS; }

bool isDaemonOption(const std::string& name) { return find(name) != nullptr; }

bool namesDaemonAction(const std::string& name) {
    return name == "daemon" || name == "activate" || name == "deactivate";
}

DaemonSettings DaemonCommand::over(DaemonSettings stored) const {
    if (saverAfter) stored.saverAfter = *saverAfter;
    if (lockAfter) stored.lockAfter = *lockAfter;
    if (lockCommand) stored.lockCommand = *lockCommand;
    if (span) stored.span = true;
    return stored;
}

std::optional<int> parseDuration(const std::string& text, bool neverAllowed) {
    if (neverAllowed && (text == "never" || text == "0")) return 0;
    if (text.empty()) return std::nullopt;
    uint64_t unit = 60;
    std::string number = text;
    switch (text.back()) {
    case 's': unit = 1; break;
    case 'm': unit = 60; break;
    case 'h': unit = 3600; break;
    default: number += '_';  // no unit: minutes
    }
    number.pop_back();
    const auto n = digits(number);
    if (!n || *n * unit < uint64_t(MIN_SECONDS) || *n * unit > uint64_t(MAX_SECONDS)) return std::nullopt;
    return int(*n * unit);
}

std::string formatDuration(int seconds) {
    if (seconds <= 0) return "never";
    if (seconds % 3600 == 0) return std::to_string(seconds / 3600) + "h";
    if (seconds % 60 == 0) return std::to_string(seconds / 60) + "m";
    return std::to_string(seconds) + "s";
}

DaemonParse parseDaemonCommandLine(const std::vector<std::string>& args) {
    DaemonCommand command;
    int actions = 0;
    std::vector<std::string> settingsGiven;
    auto fail = [](const std::string& line) { return DaemonParse{std::nullopt, line}; };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const std::string name = optionName(arg);
        const size_t eq = arg.find('=');
        const std::string spelled = arg.substr(0, eq);
        if (name.empty()) return fail("unexpected argument " + quoted(arg) + " (see --help)");
        if (name == "span") {
            if (eq != std::string::npos) return fail(spelled + " takes no value");
            command.span = true;
            settingsGiven.push_back(spelled);
            continue;
        }
        const DaemonOption* option = find(name);
        if (!option) return fail(quoted(spelled) + " cannot go with --daemon, --activate or --deactivate (see --help)");
        std::string value;
        if (!option->value) {
            if (eq != std::string::npos) return fail(spelled + " takes no value");
        } else if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < args.size() && !isDaemonOption(optionName(args[i + 1]))) {
            value = args[++i];
        }
        if (option->value && value.empty()) return fail(spelled + " needs a value " + option->value);

        if (name == "daemon") command.action = DaemonCommand::Action::Run, ++actions;
        else if (name == "activate") command.action = DaemonCommand::Action::Activate, ++actions;
        else if (name == "deactivate") command.action = DaemonCommand::Action::Deactivate, ++actions;
        else if (name == "lock-command") command.lockCommand = value;
        else {
            const bool lock = name == "lock-after";
            const auto seconds = parseDuration(value, lock);
            if (!seconds)
                return fail("bad " + spelled + " " + quoted(value) + ": want minutes (5) or a time with a unit (90s, 5m, 1h), 1s..24h" +
                            (lock ? ", or never" : ""));
            (lock ? command.lockAfter : command.saverAfter) = *seconds;
        }
        if (!namesDaemonAction(name)) settingsGiven.push_back(spelled);
    }
    if (actions != 1) return fail("give one of --daemon, --activate and --deactivate");
    if (command.action != DaemonCommand::Action::Run && !settingsGiven.empty())
        return fail(settingsGiven.front() + " goes with --daemon only");
    return DaemonParse{command, {}};
}

DaemonSettings loadDaemonSettings() {
    using Value = ScreenSaverDefaults::Value;
    const DaemonSettings defaults;
    ScreenSaverDefaults* store = ScreenSaverDefaults::defaultsForModuleWithName(STORE_NAME);
    store->registerDefaults({{SAVER_AFTER, Value(defaults.saverAfter)},
                             {LOCK_AFTER, Value(defaults.lockAfter)},
                             {LOCK_COMMAND, Value(defaults.lockCommand)},
                             {SPAN, Value(defaults.span)}});
    DaemonSettings s;
    s.saverAfter = store->integerForKey(SAVER_AFTER);
    if (!inRange(s.saverAfter)) s.saverAfter = defaults.saverAfter;
    s.lockAfter = store->integerForKey(LOCK_AFTER);
    if (s.lockAfter != 0 && !inRange(s.lockAfter)) s.lockAfter = defaults.lockAfter;
    s.lockCommand = store->stringForKey(LOCK_COMMAND).value_or("");
    s.span = store->boolForKey(SPAN);
    return s;
}

DaemonSettings reloadDaemonSettings() {
    ScreenSaverDefaults::defaultsForModuleWithName(STORE_NAME)->reload();
    return loadDaemonSettings();
}

bool saveDaemonSettings(const DaemonSettings& s) {
    ScreenSaverDefaults* store = ScreenSaverDefaults::defaultsForModuleWithName(STORE_NAME);
    store->setInteger(s.saverAfter, SAVER_AFTER);
    store->setInteger(s.lockAfter, LOCK_AFTER);
    store->setString(s.lockCommand, LOCK_COMMAND);
    store->setBool(s.span, SPAN);
    return store->synchronize();
}

}  // namespace zorvan::daemon
