// The preference store on GLib's key file (GKeyFile).
//
// Implements: registered defaults, run-only values, typed reads and writes, one group per module, the
// default location under the user's config folder, the --prefs override, atomic saves
// (temporary file, fsync, rename) and the keeping of an unreadable file as <file>.bak.
// Does not: merge edits made to the file by another process while this one runs (the
// last save wins), or lock the file.
#include "platform/prefs/ScreenSaverDefaults.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace zorvan {

namespace {

std::string defaultPathFor(const std::string& moduleName) {
    return ScreenSaverDefaults::configFolder() + "/zorvan/" + moduleName + ".conf";
}

std::string absolutePath(const std::string& path) {
    gchar* abs = g_canonicalize_filename(path.c_str(), nullptr);
    std::string result = abs;
    g_free(abs);
    return result;
}

std::optional<std::string>& pathOverride() {
    static std::optional<std::string> override;
    return override;
}

std::map<std::string, std::unique_ptr<ScreenSaverDefaults>>& stores() {
    static std::map<std::string, std::unique_ptr<ScreenSaverDefaults>> all;
    return all;
}

// Where a save really goes: the file a symbolic link points at, so that a linked
// settings file stays linked instead of being replaced by a plain file.
std::string writeTarget(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return path;
    std::string result = real;
    std::free(real);
    return result;
}

using Value = ScreenSaverDefaults::Value;

// A registered or run-only value read as the type asked for.
int asInteger(const Value* v) {
    if (!v) return 0;
    if (auto* i = std::get_if<int>(v)) return *i;
    if (auto* b = std::get_if<bool>(v)) return *b ? 1 : 0;
    if (auto* f = std::get_if<float>(v)) {
        return std::isfinite(*f) && std::fabs(*f) < 2147483520.0f ? int(*f) : 0;
    }
    return 0;
}

bool asBool(const Value* v) {
    if (!v) return false;
    if (auto* b = std::get_if<bool>(v)) return *b;
    if (auto* i = std::get_if<int>(v)) return *i != 0;
    if (auto* f = std::get_if<float>(v)) return *f != 0.0f;
    return false;
}

float asFloat(const Value* v) {
    if (!v) return 0.0f;
    if (auto* f = std::get_if<float>(v)) return std::isfinite(*f) ? *f : 0.0f;
    if (auto* i = std::get_if<int>(v)) return float(*i);
    if (auto* b = std::get_if<bool>(v)) return *b ? 1.0f : 0.0f;
    return 0.0f;
}

std::optional<std::string> asString(const Value* v) {
    if (auto* s = v ? std::get_if<std::string>(v) : nullptr) return *s;
    return std::nullopt;
}

}  // namespace

struct ScreenSaverDefaults::Impl {
    std::string moduleName;
    std::string path;
    GKeyFile* file = nullptr;
    std::map<std::string, Value> defaults;
    std::map<std::string, Value> runOnly;
    bool damaged = false;  // the file on disk holds something this store could not read
    bool warned = false;   // the one warning line for this file has been printed

    ~Impl() {
        if (file) g_key_file_free(file);
    }

    void load() {
        if (file) g_key_file_free(file);
        file = g_key_file_new();
        damaged = false;
        warned = false;
        GError* error = nullptr;
        if (!g_key_file_load_from_file(file, path.c_str(),
                                       GKeyFileFlags(G_KEY_FILE_KEEP_COMMENTS |
                                                     G_KEY_FILE_KEEP_TRANSLATIONS),
                                       &error)) {
            const bool missing =
                error->domain == G_FILE_ERROR && error->code == G_FILE_ERROR_NOENT;
            if (!missing) {
                // Start from the defaults; what the user wrote stays on disk untouched.
                g_key_file_free(file);
                file = g_key_file_new();
                damaged = true;
                warn(std::string("cannot be read (") + error->message + ")");
            }
            g_error_free(error);
        }
    }

    void warn(const std::string& what) {
        damaged = true;
        if (warned) return;
        warned = true;
        std::fprintf(stderr,
                     "zorvan: settings file %s %s; using defaults for what cannot be read, "
                     "the file is kept until settings are saved\n",
                     path.c_str(), what.c_str());
    }

    // A stored value of the wrong type reads as absent, after the one warning.
    void badValue(const std::string& key, const char* type, GError* error) {
        g_error_free(error);
        warn("has a value of \"" + key + "\" that is not " + type);
    }

    bool has(const std::string& key) const {
        return g_key_file_has_key(file, moduleName.c_str(), key.c_str(), nullptr);
    }

    const Value* registered(const std::string& key) const {
        auto it = defaults.find(key);
        return it == defaults.end() ? nullptr : &it->second;
    }

    const Value* runOnlyValue(const std::string& key) const {
        auto it = runOnly.find(key);
        return it == runOnly.end() ? nullptr : &it->second;
    }

    // A typed read: the run-only value, else the stored value as `readFile` (a GKeyFile
    // getter) reads it, else the registered default; `fromValue` reads a run-only or
    // registered value as the type. A stored value that is not `type` reads as absent,
    // after the one warning.
    template <typename T, typename Read>
    T read(const std::string& key, T (*fromValue)(const Value*), const char* type, Read readFile) {
        if (const Value* v = runOnlyValue(key)) return fromValue(v);
        if (has(key)) {
            GError* error = nullptr;
            T value = readFile(file, moduleName.c_str(), key.c_str(), &error);
            if (!error) return value;
            badValue(key, type, error);
        }
        return fromValue(registered(key));
    }

    bool report(const std::string& what) {
        std::fprintf(stderr, "zorvan: cannot save settings to %s: %s\n", path.c_str(),
                     what.c_str());
        return false;
    }

    // Keeps the bytes of a file this store could not read as <file>.bak.
    bool keepDamagedFile() {
        gchar* old = nullptr;
        gsize length = 0;
        GError* error = nullptr;
        if (!g_file_get_contents(path.c_str(), &old, &length, &error)) {
            const bool missing =
                error->domain == G_FILE_ERROR && error->code == G_FILE_ERROR_NOENT;
            std::string message = error->message;
            g_error_free(error);
            if (missing) return true;  // gone meanwhile: nothing left to keep
            return report("the unreadable file cannot be copied to " + path +
                          ".bak (" + message + ")");
        }
        const std::string backup = path + ".bak";
        const bool saved = g_file_set_contents_full(
            backup.c_str(), old, gssize(length),
            GFileSetContentsFlags(G_FILE_SET_CONTENTS_CONSISTENT |
                                  G_FILE_SET_CONTENTS_DURABLE),
            0600, &error);
        g_free(old);
        if (!saved) {
            std::string message = error->message;
            g_error_free(error);
            return report("the unreadable file cannot be kept as " + backup + " (" +
                          message + ")");
        }
        return true;
    }

    bool save() {
        gchar* dir = g_path_get_dirname(path.c_str());
        const int made = g_mkdir_with_parents(dir, 0700);
        const int mkdirErrno = errno;
        g_free(dir);
        if (made != 0) return report(g_strerror(mkdirErrno));

        if (damaged && !keepDamagedFile()) return false;

        gsize length = 0;
        gchar* data = g_key_file_to_data(file, &length, nullptr);
        const std::string target = writeTarget(path);
        int mode = 0600;
        GStatBuf st;
        if (g_stat(target.c_str(), &st) == 0) mode = int(st.st_mode & 07777);
        GError* error = nullptr;
        const bool saved = g_file_set_contents_full(
            target.c_str(), data, gssize(length),
            GFileSetContentsFlags(G_FILE_SET_CONTENTS_CONSISTENT |
                                  G_FILE_SET_CONTENTS_DURABLE),
            mode, &error);
        g_free(data);
        if (!saved) {
            std::string message = error->message;
            g_error_free(error);
            return report(message);
        }
        damaged = false;
        warned = false;
        return true;
    }
};

ScreenSaverDefaults::ScreenSaverDefaults(std::string moduleName, std::string path)
    : impl_(std::make_unique<Impl>()) {
    impl_->moduleName = std::move(moduleName);
    impl_->path = std::move(path);
    impl_->load();
}

ScreenSaverDefaults::~ScreenSaverDefaults() = default;

std::string ScreenSaverDefaults::configFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && g_path_is_absolute(xdg)) return xdg;
    const char* home = std::getenv("HOME");
    std::string base = (home && *home) ? home : g_get_home_dir();
    return base + "/.config";
}

ScreenSaverDefaults* ScreenSaverDefaults::defaultsForModuleWithName(const std::string& moduleName) {
    auto& all = stores();
    auto it = all.find(moduleName);
    if (it != all.end()) return it->second.get();
    std::string path = pathOverride() ? *pathOverride() : defaultPathFor(moduleName);
    auto store = std::unique_ptr<ScreenSaverDefaults>(
        new ScreenSaverDefaults(moduleName, std::move(path)));
    return all.emplace(moduleName, std::move(store)).first->second.get();
}

void ScreenSaverDefaults::setStorePathOverride(std::optional<std::string> path) {
    if (path) path = absolutePath(*path);
    pathOverride() = path;
    for (auto& [name, store] : stores()) store->repoint(path ? *path : defaultPathFor(name));
}

void ScreenSaverDefaults::repoint(std::string path) {
    impl_->path = std::move(path);
    impl_->load();
}

void ScreenSaverDefaults::reload() { impl_->load(); }

const std::string& ScreenSaverDefaults::path() const { return impl_->path; }

void ScreenSaverDefaults::registerDefaults(const Dictionary& defaults) {
    for (const auto& [key, value] : defaults) impl_->defaults[key] = value;
}

void ScreenSaverDefaults::setRunOnlyValues(const Dictionary& values) {
    for (const auto& [key, value] : values) impl_->runOnly[key] = value;
}

int ScreenSaverDefaults::integerForKey(const std::string& key) {
    return impl_->read(key, asInteger, "an integer", g_key_file_get_integer);
}

bool ScreenSaverDefaults::boolForKey(const std::string& key) {
    return impl_->read(key, asBool, "true or false", g_key_file_get_boolean);
}

float ScreenSaverDefaults::floatForKey(const std::string& key) {
    return impl_->read(key, asFloat, "a finite number",
                       [](GKeyFile* file, const gchar* group, const gchar* k, GError** error) {
                           const float f = float(g_key_file_get_double(file, group, k, error));
                           if (!*error && !std::isfinite(f))
                               *error = g_error_new_literal(G_KEY_FILE_ERROR,
                                                            G_KEY_FILE_ERROR_INVALID_VALUE,
                                                            "not a finite float");
                           return f;
                       });
}

std::optional<std::string> ScreenSaverDefaults::stringForKey(const std::string& key) {
    return impl_->read(key, asString, "a UTF-8 string",
                       [](GKeyFile* file, const gchar* group, const gchar* k, GError** error) {
                           gchar* value = g_key_file_get_string(file, group, k, error);
                           std::optional<std::string> result;
                           if (value) result = value;
                           g_free(value);
                           return result;
                       });
}

void ScreenSaverDefaults::setInteger(int value, const std::string& key) {
    impl_->runOnly.erase(key);
    g_key_file_set_integer(impl_->file, impl_->moduleName.c_str(), key.c_str(), value);
}

void ScreenSaverDefaults::setBool(bool value, const std::string& key) {
    impl_->runOnly.erase(key);
    g_key_file_set_boolean(impl_->file, impl_->moduleName.c_str(), key.c_str(), value);
}

void ScreenSaverDefaults::setFloat(float value, const std::string& key) {
    impl_->runOnly.erase(key);
    g_key_file_set_value(impl_->file, impl_->moduleName.c_str(), key.c_str(),
                         formatFloat(value).c_str());
}

void ScreenSaverDefaults::setObject(const std::string& value, const std::string& key) {
    impl_->runOnly.erase(key);
    g_key_file_set_string(impl_->file, impl_->moduleName.c_str(), key.c_str(), value.c_str());
}

void ScreenSaverDefaults::removeObjectForKey(const std::string& key) {
    impl_->runOnly.erase(key);
    g_key_file_remove_key(impl_->file, impl_->moduleName.c_str(), key.c_str(), nullptr);
}

bool ScreenSaverDefaults::synchronize() { return impl_->save(); }

std::string ScreenSaverDefaults::formatFloat(float value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    std::string text(buf, ec == std::errc() ? end : buf);
    // The file is read back through a double; keep the text only if that gives the
    // same float, else store the float's exact value as a double.
    if (text.empty() || float(g_ascii_strtod(text.c_str(), nullptr)) != value) {
        char exact[G_ASCII_DTOSTR_BUF_SIZE];
        text = g_ascii_dtostr(exact, sizeof exact, double(value));
    }
    return text;
}

}  // namespace zorvan
