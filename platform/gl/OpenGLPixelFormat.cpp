#include "platform/gl/OpenGLView.h"

namespace zorvan {

OpenGLPixelFormat::OpenGLPixelFormat(const uint32_t* attributes) {
    for (const uint32_t* a = attributes; a && *a != 0; ++a) attributes_.push_back(*a);
}

uint32_t OpenGLPixelFormat::valueOf(uint32_t attribute, uint32_t fallback) const {
    // Only the depth size carries a value in the lists we build; every other attribute
    // is a flag. Walk pairs only after a valued attribute.
    for (size_t i = 0; i < attributes_.size(); ++i) {
        if (attributes_[i] == NSOpenGLPFADepthSize) {
            if (i + 1 >= attributes_.size()) return fallback;
            if (attribute == NSOpenGLPFADepthSize) return attributes_[i + 1];
            ++i;
        } else if (attributes_[i] == attribute) {
            return 1;
        }
    }
    return fallback;
}

}  // namespace zorvan
