#include "support/TestSupport.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace zorvan::test {

std::unique_ptr<Zorvan> makeOffscreenView(double w, double h, bool isPreview) {
    auto view = std::make_unique<Zorvan>(OsMesaView::factory());
    if (!view->initWithFrame(Rect{0, 0, w, h}, isPreview)) return nullptr;
    return view;
}

OsMesaView* offscreenOf(Zorvan& view) { return dynamic_cast<OsMesaView*>(view.glView()); }

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zorvan-test-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

}  // namespace zorvan::test
