// The user's home folder, for the open panel's start.
#include "platform/controls/OpenPanel.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace zorvan {

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/";
}

}  // namespace zorvan
