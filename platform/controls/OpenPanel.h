// The file-open panel and the user's home folder.
//
// Backends: GtkFileChooserDialog (GtkOpenPanel.cpp); none in a saver run (NoControls.cpp).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zorvan {

class OpenPanel {
public:
    OpenPanel();
    ~OpenPanel();  // a panel still showing goes, without an answer
    OpenPanel(const OpenPanel&) = delete;
    OpenPanel& operator=(const OpenPanel&) = delete;

    // Shows the panel, modal for the user, starting in `directory` with `file`
    // preselected when given, offering only files whose extension is one of `types`
    // (lower case, without the dot; any case matches), and returns at once. `done` runs
    // later from the main loop, with 1 when the user chose a file (filename() gives it)
    // and 0 when they cancelled. No loop runs inside this call, so it may be made from a
    // button's handler or an accessibility action. While the panel shows, a second call
    // only brings it to the front.
    void beginForDirectory(const std::string& directory, const std::optional<std::string>& file,
                           const std::vector<std::string>& types, std::function<void(int)> done);
    // The chosen file's path once `done` has had 1.
    const std::string& filename() const { return filename_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string filename_;
};

// The user's home folder ($HOME, else the password database's entry).
std::string homeDirectory();

}  // namespace zorvan
