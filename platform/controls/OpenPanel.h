// The modal file-open panel and the user's home folder.
//
// Backend: GtkFileChooserDialog (GtkOpenPanel.cpp).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zorvan {

class OpenPanel {
public:
    // Runs the panel until the user chooses or cancels, starting in `directory`, with
    // `file` preselected when given, offering only files whose extension is one of
    // `types` (lower case, without the dot; any case matches). Returns 1 when the user
    // chose a file, 0 otherwise.
    int runModalForDirectory(const std::string& directory, const std::optional<std::string>& file,
                             const std::vector<std::string>& types);
    // The chosen file's path after a result of 1.
    const std::string& filename() const { return filename_; }

private:
    std::string filename_;
};

// The user's home folder ($HOME, else the password database's entry).
std::string homeDirectory();

}  // namespace zorvan
