// What an install and the Debian package give a user: the daemon's settings dialog,
// the man page, the files and where they lie.
#include "host/cli/Options.h"
#include "host/Process.h"
#include "settings/SettingsTable.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

using namespace zorvan;
using test::runProcess;

namespace {

namespace fs = std::filesystem;

const std::string BUILD_DIR = fs::path(ZORVAN_BIN_DIR).parent_path().string();
const std::string XML_FILE = ZORVAN_SOURCE_DIR "/packaging/zorvan.xml";
const std::string LOGO_PNG = ZORVAN_SOURCE_DIR "/resources/zorvan-logo.png";

// The controls of a settings-dialog file, as the daemon's dialog reads them.
struct Dialog {
    std::map<std::string, std::string> saver;  // attributes of <screensaver>
    std::string command;                        // the <command arg>
    struct Slider {
        std::string arg, low, high, fallback;
    };
    std::vector<Slider> sliders;
    std::vector<std::string> booleanArgs;  // arg-set and arg-unset
    std::vector<std::vector<std::string>> selects;  // per select, each option's arg-set ("" none)
    std::vector<std::string> fileArgs;
    std::string description;
};

void onStart(GMarkupParseContext*, const gchar* element, const gchar** names,
             const gchar** values, gpointer data, GError**) {
    auto& d = *static_cast<Dialog*>(data);
    std::map<std::string, std::string> a;
    for (int i = 0; names[i]; ++i) a[names[i]] = values[i];
    const std::string e = element;
    if (e == "screensaver") d.saver = a;
    else if (e == "command") d.command = a["arg"];
    else if (e == "number") d.sliders.push_back({a["arg"], a["low"], a["high"], a["default"]});
    else if (e == "boolean") {
        for (const char* key : {"arg-set", "arg-unset"})
            if (a.count(key)) d.booleanArgs.push_back(a[key]);
    } else if (e == "select") d.selects.emplace_back();
    else if (e == "option" && !d.selects.empty()) d.selects.back().push_back(a["arg-set"]);
    else if (e == "file") d.fileArgs.push_back(a["arg"]);
}

void onText(GMarkupParseContext* context, const gchar* text, gsize length, gpointer data, GError**) {
    if (std::string(g_markup_parse_context_get_element(context)) == "_description")
        static_cast<Dialog*>(data)->description.append(text, length);
}

std::optional<Dialog> readDialog(const std::string& path, std::string& error) {
    gchar* text = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(path.c_str(), &text, &length, nullptr)) return std::nullopt;
    // GMarkup reads UTF-8; the daemon's files declare Latin-1 and keep to ASCII.
    const bool ascii = std::all_of(text, text + length, [](char c) { return (c & 0x80) == 0; });
    Dialog d;
    GMarkupParser parser = {onStart, nullptr, onText, nullptr, nullptr};
    GMarkupParseContext* context = g_markup_parse_context_new(&parser, G_MARKUP_DEFAULT_FLAGS, &d, nullptr);
    GError* gerror = nullptr;
    const bool ok = g_markup_parse_context_parse(context, text, gssize(length), &gerror) &&
                    g_markup_parse_context_end_parse(context, &gerror);
    if (!ok) error = gerror->message, g_error_free(gerror);
    g_markup_parse_context_free(context);
    g_free(text);
    if (!ascii) error = "not ASCII";
    return ok && ascii ? std::optional<Dialog>(d) : std::nullopt;
}

std::vector<std::string> wordsOf(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::string withValue(const std::string& arg, const std::string& value) {
    std::string out = arg;
    out.replace(out.find('%'), 1, value);
    return out;
}

// Every --name that a text mentions.
std::set<std::string> optionsIn(const std::string& text) {
    std::set<std::string> names;
    static const std::regex option("--[a-z][a-z-]*[a-z]");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
        names.insert(it->str());
    return names;
}

// The entry of a rendered man page for `option`: its line and its text, up to the next
// option's line; empty when there is none. Entries are indented alike, by how much depends
// on the formatter (7 columns up to groff 1.23, 5 from 1.24 on).
std::string entryOf(const std::string& page, const std::string& option) {
    for (size_t at = page.find('\n'); at != std::string::npos; at = page.find('\n', at + 1)) {
        const size_t name = page.find_first_not_of(' ', at + 1);
        if (name == std::string::npos || name == at + 1 || name > at + 9 || page.compare(name, option.size(), option) != 0)
            continue;
        const char after = name + option.size() < page.size() ? page[name + option.size()] : '\n';
        if ((after >= 'a' && after <= 'z') || after == '-') continue;  // a longer option's name
        return page.substr(at, page.find("\n" + std::string(name - at - 1, ' ') + "-", at + 1) - at);
    }
    return "";
}

// Every file, link and folder under `root`, as "/usr/..." paths.
std::set<std::string> treeOf(const fs::path& root) {
    std::set<std::string> paths;
    for (auto& entry : fs::recursive_directory_iterator(root))
        paths.insert("/" + entry.path().lexically_relative(root).string());
    return paths;
}

// The registered default of a setting stored as a number (NaN for other rows).
double defaultNumber(const Setting& s) {
    if (const auto* row = std::get_if<stored::Integer>(&s.stored)) return row->byDefault;
    if (const auto* row = std::get_if<stored::Float>(&s.stored)) return row->byDefault;
    return std::nan("");
}

// The Debian package that holds the library `program` loads under a name that starts
// with `soname` ("libX11.so."), as ldd finds it; "" when it loads none.
std::string packageOfLibrary(const std::string& program, const std::string& soname) {
    std::istringstream lines(runProcess("/usr/bin/ldd", {program}).out);
    for (std::string line; std::getline(lines, line);) {
        // "\tlibX11.so.6 => /lib/x86_64-linux-gnu/libX11.so.6 (0x...)"
        const size_t name = line.find_first_not_of(" \t"), arrow = line.find(" => /");
        if (name == std::string::npos || line.compare(name, soname.size(), soname) != 0 ||
            arrow == std::string::npos)
            continue;
        const std::string path = line.substr(arrow + 4, line.find(" (", arrow) - arrow - 4);
        // With /lib a link to /usr/lib, dpkg knows a library under one of the two names.
        for (const std::string& known : {path, fs::canonical(path).string()}) {
            const auto owner = runProcess("/usr/bin/dpkg", {"-S", known});
            if (owner.exitCode == 0) return owner.out.substr(0, owner.out.find_first_of(":,"));
        }
    }
    return "";
}

// The package names of a Depends field, alternatives included, without versions.
std::set<std::string> packagesIn(const std::string& depends) {
    std::set<std::string> names;
    static const std::regex name("(?:^|[,|])\\s*([a-z0-9][a-z0-9+.-]+)");
    for (auto it = std::sregex_iterator(depends.begin(), depends.end(), name); it != std::sregex_iterator(); ++it)
        names.insert((*it)[1].str());
    return names;
}

const std::set<std::string> LAYOUT = {
    "/usr", "/usr/bin", "/usr/bin/zorvan",
    "/usr/libexec", "/usr/libexec/xscreensaver", "/usr/libexec/xscreensaver/zorvan",
    "/usr/libexec/zorvan", "/usr/libexec/zorvan/zorvan-settings", "/usr/libexec/zorvan/zorvan-daemon",
    "/usr/libexec/zorvan/zorvan-record", "/usr/libexec/zorvan/zorvan-lock",
    "/usr/lib", "/usr/lib/systemd", "/usr/lib/systemd/user", "/usr/lib/systemd/user/zorvan-daemon.service",
    "/usr/share", "/usr/share/zorvan", "/usr/share/zorvan/zorvan.pict",
    "/usr/share/zorvan/Zorvan.nib",
    "/usr/share/xscreensaver", "/usr/share/xscreensaver/config",
    "/usr/share/xscreensaver/config/zorvan.xml",
    "/usr/share/applications", "/usr/share/applications/screensavers",
    "/usr/share/applications/screensavers/zorvan.desktop",
    "/usr/share/man", "/usr/share/man/man6", "/usr/share/man/man6/zorvan.6",
    "/etc", "/etc/pam.d", "/etc/pam.d/zorvan"};

}  // namespace

TEST(Packaging, EveryArgumentTheDaemonsDialogCanGiveIsAccepted) {
    std::string error;
    const auto dialog = readDialog(XML_FILE, error);
    ASSERT_TRUE(dialog) << error;
    EXPECT_EQ(dialog->saver.at("name"), "zorvan");
    EXPECT_EQ(dialog->saver.at("_label"), "Zorvan");
    EXPECT_EQ(dialog->saver.at("gl"), "yes");
    EXPECT_EQ(dialog->command, "--root");
    EXPECT_FALSE(dialog->description.empty());

    // What each control can add to the daemon's command line. A control at its default
    // adds nothing: an untouched dialog runs the saved settings.
    std::vector<std::string> produced;
    for (const auto& s : dialog->sliders) {
        EXPECT_LE(std::stod(s.low), std::stod(s.fallback)) << s.arg;
        EXPECT_LE(std::stod(s.fallback), std::stod(s.high)) << s.arg;
        for (const auto& v : {s.low, s.high, s.fallback}) produced.push_back(withValue(s.arg, v));
    }
    produced.insert(produced.end(), dialog->booleanArgs.begin(), dialog->booleanArgs.end());
    for (const auto& options : dialog->selects) {
        ASSERT_FALSE(options.empty());
        EXPECT_EQ(options.front(), "") << "the first option of a select is the saved setting";
        EXPECT_EQ(std::count(options.begin(), options.end(), ""), 1);
        produced.insert(produced.end(), options.begin() + 1, options.end());
    }
    for (const auto& f : dialog->fileArgs) produced.push_back(withValue(f, LOGO_PNG));

    std::set<std::string> covered;
    for (const auto& arg : produced) {
        std::vector<std::string> args = wordsOf(dialog->command);
        for (const auto& w : wordsOf(arg)) args.push_back(w);
        const auto parsed = host::parseOptions(args);
        EXPECT_TRUE(parsed.options) << arg << ": " << parsed.error;
        covered.merge(optionsIn(arg));
    }
    // A control for the frame rate, the frame-rate display, every setting and each of a
    // setting's words.
    for (const char* option : {"--delay", "--fps"})
        EXPECT_TRUE(covered.count(option)) << option << " has no control";
    for (const Setting& s : settingsTable()) {
        for (const char* name : {s.option.name, s.option.offName})
            if (name) {
                EXPECT_TRUE(covered.count(std::string("--") + name)) << name << " has no control";
            }
        for (const char* word : s.option.words) {
            const std::string arg = std::string("--") + s.option.name + " " + word;
            EXPECT_NE(std::count(produced.begin(), produced.end(), arg), 0) << arg << " has no control";
        }
    }
    // A slider for a setting starts at the default that the settings table registers.
    for (const auto& slider : dialog->sliders) {
        for (const Setting& s : settingsTable()) {
            if (slider.arg == std::string("--") + s.option.name + " %") {
                EXPECT_EQ(float(std::stod(slider.fallback)), float(defaultNumber(s))) << slider.arg;
            }
        }
    }

    // And the program runs with a setting from every control at once.
    test::TempDir dir;
    std::vector<std::string> args = {"--prefs", dir.file("Zorvan.conf"), "--render",
                                     dir.file("all.png"), "--size", "64x48", "--frames", "2"};
    for (const auto& s : dialog->sliders)
        if (s.arg.rfind("--delay", 0) != 0)
            for (const auto& w : wordsOf(withValue(s.arg, s.high))) args.push_back(w);
    for (const auto& options : dialog->selects)
        for (const auto& w : wordsOf(options.back())) args.push_back(w);
    for (const auto& f : dialog->fileArgs)
        for (const auto& w : wordsOf(withValue(f, LOGO_PNG))) args.push_back(w);
    const auto r = runProcess(test::zorvanPath(), args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST(Packaging, ManPageRendersCleanlyAndAgreesWithHelp) {
    const std::string page = BUILD_DIR + "/packaging/zorvan.6";
    const auto r = runProcess("/usr/bin/env", {"LC_ALL=C", "MANWIDTH=100", "man", "--warnings",
                                               "-l", page});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // Undo the line breaks the formatter may put after a hyphen.
    const std::string text = std::regex_replace(r.out, std::regex("-\n\\s*"), "-");
    for (const char* section : {"NAME", "SYNOPSIS", "OPTIONS", "FILES", "ENVIRONMENT",
                                "EXIT STATUS", "SEE ALSO"})
        EXPECT_NE(text.find(std::string("\n") + section + "\n"), std::string::npos) << section;
    for (const char* name : {"XSCREENSAVER_WINDOW", "HOME", "XDG_CONFIG_HOME", "DISPLAY",
                             "xscreensaver(1)", "Zorvan.conf", "/usr/share/zorvan"})
        EXPECT_NE(text.find(name), std::string::npos) << name;
    EXPECT_EQ(text.find("@ZORVAN_VERSION@"), std::string::npos);
    EXPECT_EQ(optionsIn(text), optionsIn(host::usage()));
    // Every setting has its entry, which names its flag that clears it and its words.
    for (const Setting& s : settingsTable()) {
        const std::string entry = entryOf(text, std::string("--") + s.option.name);
        EXPECT_NE(entry, "") << s.option.name << " has no entry";
        if (s.option.offName) {
            EXPECT_NE(entry.find(std::string("--") + s.option.offName), std::string::npos) << entry;
        }
        for (const char* word : s.option.words) EXPECT_NE(entry.find(word), std::string::npos) << word << " in" << entry;
    }
    // The page states the table's default for each setting that takes a number.
    for (const Setting& s : settingsTable()) {
        if (s.option.words.empty() && (std::holds_alternative<stored::Integer>(s.stored) ||
                                       std::holds_alternative<stored::Float>(s.stored)) &&
            s.option.value) {
            std::ostringstream said;
            said << "(default " << defaultNumber(s);
            EXPECT_NE(text.find(said.str()), std::string::npos) << s.option.name;
        }
    }
}

TEST(Packaging, InstallLaysOutTheSaverForTheDaemonAndMate) {
    test::TempDir dir;
    const fs::path dest = dir.file("dest");
    const auto install = runProcess(ZORVAN_CMAKE_COMMAND, {"-E", "env", "DESTDIR=" + dest.string(),
                                                           ZORVAN_CMAKE_COMMAND, "--install",
                                                           BUILD_DIR, "--prefix", "/usr"});
    ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
    EXPECT_EQ(treeOf(dest), LAYOUT);

    const fs::path saver = dest / "usr/libexec/xscreensaver/zorvan";
    EXPECT_EQ(fs::read_symlink(saver), "../../bin/zorvan");
    EXPECT_EQ(test::readFile((dest / "usr/share/xscreensaver/config/zorvan.xml").string()),
              test::readFile(XML_FILE));
    const std::string desktop =
        test::readFile((dest / "usr/share/applications/screensavers/zorvan.desktop").string());
    for (const char* line : {"[Desktop Entry]\n", "\nType=Application\n", "\nName=Zorvan\n",
                             "\nExec=/usr/libexec/xscreensaver/zorvan --root\n",
                             "\nTryExec=/usr/libexec/xscreensaver/zorvan\n",
                             "\nCategories=Screensaver;\n", "\nOnlyShowIn=MATE;\n"})
        EXPECT_NE(desktop.find(line), std::string::npos) << line << desktop;

    // The lock screen's PAM service: the login's password and account checks.
    const fs::path pam = dest / "etc/pam.d/zorvan";
    EXPECT_EQ(test::readFile(pam.string()), test::readFile(ZORVAN_SOURCE_DIR "/packaging/pam.d/zorvan"));
    for (const char* line : {"\n@include common-auth\n", "\n@include common-account\n"})
        EXPECT_NE(test::readFile(pam.string()).find(line), std::string::npos) << line;
    EXPECT_EQ(fs::status(pam).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);

    // Started as the daemon starts it, the program finds the installed resources.
    const auto where = runProcess(saver.string(), {"--resources"});
    EXPECT_EQ(where.exitCode, 0) << where.err;
    EXPECT_EQ(where.out, (dest / "usr/share/zorvan/zorvan.pict").string() + "\n" +
                             (dest / "usr/share/zorvan/Zorvan.nib").string() + "\n");
    EXPECT_EQ(runProcess(saver.string(), {"--version"}).out, "zorvan " ZORVAN_VERSION "\n");
    // --settings runs the installed settings program (here it finds no display).
    const auto settings = runProcess(saver.string(), {"--settings"}, {"DISPLAY", "WAYLAND_DISPLAY"});
    EXPECT_EQ(settings.exitCode, 2) << settings.err;
    EXPECT_EQ(settings.err.rfind("zorvan: no X display for the settings pane", 0), 0u) << settings.err;
    // --activate runs the installed idle daemon program, which finds no daemon to tell.
    const auto activate = runProcess(saver.string(), {"--activate"});
    EXPECT_EQ(activate.exitCode, 2) << activate.err;
    EXPECT_EQ(activate.err, "zorvan: no zorvan --daemon runs in this session\n");
    // The user service runs the installed program in the foreground.
    const std::string unit = test::readFile((dest / "usr/lib/systemd/user/zorvan-daemon.service").string());
    for (const char* line : {"\nExecStart=/usr/bin/zorvan --daemon\n", "\nPartOf=graphical-session.target\n",
                             "\nWantedBy=graphical-session.target\n"})
        EXPECT_NE(unit.find(line), std::string::npos) << line << unit;
}

TEST(Packaging, DebianPackageHoldsTheLayoutAndComputedDependencies) {
    test::TempDir dir;
    const auto pack = runProcess(ZORVAN_CPACK_COMMAND,
                                 {"-G", "DEB", "--config", BUILD_DIR + "/CPackConfig.cmake", "-B",
                                  dir.path()},
                                 {}, 120.0);
    ASSERT_EQ(pack.exitCode, 0) << pack.out << pack.err;
    const std::string deb = dir.file("zorvan_" ZORVAN_VERSION "_amd64.deb");
    ASSERT_TRUE(fs::exists(deb)) << pack.out;

    const auto list = runProcess("/usr/bin/dpkg-deb", {"-c", deb});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    std::set<std::string> paths;
    std::istringstream lines(list.out);
    for (std::string line; std::getline(lines, line);) {
        // "perms owner size date time ./path[/] [-> target]"
        const size_t start = line.find(" ./");
        ASSERT_NE(start, std::string::npos) << line;
        std::string path = line.substr(start + 2, line.find(" -> ") - start - 2);
        if (path.size() > 1 && path.back() == '/') path.pop_back();
        paths.insert(path);
        if (path == "/usr/libexec/xscreensaver/zorvan") {
            EXPECT_NE(line.find(" -> ../../bin/zorvan"), std::string::npos) << line;
        }
    }
    paths.erase("/");
    EXPECT_EQ(paths, LAYOUT);

    // dpkg keeps an administrator's changes to the PAM service.
    EXPECT_EQ(runProcess("/usr/bin/dpkg-deb", {"-I", deb, "conffiles"}).out, "/etc/pam.d/zorvan\n");

    const auto fields = runProcess("/usr/bin/dpkg-deb", {"-f", deb, "Package", "Version", "Architecture"});
    EXPECT_NE(fields.out.find("Package: zorvan\n"), std::string::npos) << fields.out;
    EXPECT_NE(fields.out.find("Version: " ZORVAN_VERSION "\n"), std::string::npos) << fields.out;
    EXPECT_NE(fields.out.find("Architecture: amd64\n"), std::string::npos) << fields.out;
    // Found from the libraries the program links: the packages of this release that hold
    // them (Magick++ 6 on Debian 12, 7 on Debian 13; GLib's name changed with 64-bit
    // time; FFmpeg 5.1 or 7.1 for --record), with the versions the system has.
    const auto depends = runProcess("/usr/bin/dpkg-deb", {"-f", deb, "Depends"});
    const std::set<std::string> dependsOn = packagesIn(depends.out);
    const std::string recorder = fs::path(test::zorvanPath()).parent_path().parent_path() / "libexec/zorvan/zorvan-record";
    for (const char* library : {"libMagick++-", "libX11.so.", "libglib-2.0.so.", "libavcodec.so.", "libavformat.so."}) {
        const std::string package =
            packageOfLibrary(std::string(library).starts_with("libav") ? recorder : test::zorvanPath(), library);
        ASSERT_NE(package, "") << library << ": not loaded by the program, or in no package";
        EXPECT_TRUE(dependsOn.count(package)) << package << ": " << depends.out;
    }
    // OSMesa only as long as the program links it.
    EXPECT_EQ(dependsOn.count("libosmesa6") == 1, packageOfLibrary(test::zorvanPath(), "libOSMesa.so.") != "")
        << depends.out;
}
