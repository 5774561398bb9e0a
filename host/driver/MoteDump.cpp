#include "host/driver/MoteDump.h"

#include "host/driver/FileOutput.h"

#include "saver/Zorvan.h"
#include "settings/SettingsTable.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace zorvan::host {

namespace {

void appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void appendf(std::string& out, const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n > 0) out.append(buffer, std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1));
}

// One float, exactly: widened to double, printed as a hexadecimal float.
void appendFloat(std::string& out, float value) {
    appendf(out, " %a", static_cast<double>(value));
}

}  // namespace

std::string formatMoteDump(const Zorvan& zorvan) {
    const ZorvanState& view = zorvan.state();
    const Swarm& swarm = view.swarm;
    std::string out;
    appendf(out, "mode %d index %d count %d limit %d\n", view.mode, view.playListIndex,
            view.frameCount, view.frameLimit);
    out += "settings " + describeSettings(view.settings) + "\n";
    out += "fields\n";
    for (int k = 0; k < 9; ++k) {
        appendf(out, "%d", k);
        appendFloat(out, swarm.fields[k].x);
        appendFloat(out, swarm.fields[k].y);
        out += '\n';
    }
    const int live = swarm.liveMotes();
    for (int i = 0; i < live; ++i) {
        const Mote& m = swarm.motes[i];
        appendf(out, "%d", i);
        for (float f : {m.pos.x, m.pos.y, m.lastPos.x, m.lastPos.y, m.vel.x, m.vel.y, m.weight,
                        m.home.x, m.home.y, m.colour.r, m.colour.g, m.colour.b})
            appendFloat(out, f);
        out += '\n';
    }
    return out;
}

bool writeMoteDump(const Zorvan& view, const std::string& path, std::string& error) {
    const std::string text = formatMoteDump(view);
    return writeWholeFile(path, text.data(), text.size(), "the mote dump", error);
}

}  // namespace zorvan::host
