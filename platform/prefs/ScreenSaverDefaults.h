// The per-module preference store: one group of typed keys in a human-editable key
// file, with registered defaults that answer for the keys the file does not hold.
//
// File:    ${XDG_CONFIG_HOME:-$HOME/.config}/zorvan/<module>.conf, group [<module>],
//          or the file given to setStorePathOverride (the host's --prefs FILE).
// Values:  integers (32-bit), true/false, floats as the shortest decimal that reads
//          back as the same float, strings.
// Saving:  synchronize writes a temporary file beside the store, syncs it and renames
//          it into place, so a crash or a full disk never leaves a half-written file.
// Run-only: values given for one run (the host's command line) answer before the file
//          and the defaults and are never written to the file; a write or removal of
//          the key drops them.
// Damage:  a file that cannot be read or parsed, or a value that is not of the type
//          asked for, reads as the registered default; one line on stderr names the
//          file. The file is left alone until the next save, which first keeps its
//          bytes beside it as <file>.bak.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace zorvan {

class ScreenSaverDefaults {
public:
    // A registered default: an integer, a bool, a float or a string.
    using Value = std::variant<int, bool, float, std::string>;
    // Defaults in the order they are registered.
    using Dictionary = std::vector<std::pair<std::string, Value>>;

    // The one store of a module in this process, read from its file on first use.
    static ScreenSaverDefaults* defaultsForModuleWithName(const std::string& moduleName);
    // Makes every store read and write `path` instead of its default location;
    // nullopt restores the default location. Stores that already exist stay valid:
    // they drop their unsaved writes and read the new file, as on a fresh start.
    static void setStorePathOverride(std::optional<std::string> path);

    ~ScreenSaverDefaults();
    ScreenSaverDefaults(const ScreenSaverDefaults&) = delete;
    ScreenSaverDefaults& operator=(const ScreenSaverDefaults&) = delete;

    // Adds to (or replaces) the registered defaults; they are never written to the file.
    void registerDefaults(const Dictionary& defaults);

    // Adds to (or replaces) the values for this run only, which every read sees first.
    void setRunOnlyValues(const Dictionary& values);

    // The run-only value, else the stored value, else the registered default, else 0,
    // false, 0.0 or nullopt.
    int integerForKey(const std::string& key);
    bool boolForKey(const std::string& key);
    float floatForKey(const std::string& key);  // never NaN or infinite
    std::optional<std::string> stringForKey(const std::string& key);

    // Writes are seen by later reads at once and reach the file at synchronize.
    void setInteger(int value, const std::string& key);
    void setBool(bool value, const std::string& key);
    void setFloat(float value, const std::string& key);
    void setObject(const std::string& value, const std::string& key);
    void setString(const std::string& value, const std::string& key) { setObject(value, key); }
    void removeObjectForKey(const std::string& key);

    // Drops the unsaved writes and reads the file again, as it is now.
    void reload();

    // Saves every value to the file. False, with one line on stderr, when it cannot.
    bool synchronize();

    // The file this store reads and writes.
    const std::string& path() const;

    // The user's configuration folder, read afresh each time: $XDG_CONFIG_HOME when it is
    // an absolute path (relative ones are to be ignored), else $HOME/.config. The stores
    // live in its zorvan/ folder; the idle daemon's autostart entry and Plasma's lock
    // settings are found there too.
    static std::string configFolder();

    // The text a float is stored as: the shortest decimal that reads back as `value`.
    static std::string formatFloat(float value);

private:
    struct Impl;
    ScreenSaverDefaults(std::string moduleName, std::string path);
    void repoint(std::string path);

    std::unique_ptr<Impl> impl_;
};

}  // namespace zorvan
