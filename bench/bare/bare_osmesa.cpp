// The floor for `zorvan --render`: an OSMesa context, FRAMES frames of N quads, and the
// last frame written as a PNG with libpng. Nothing else.
//   bare_osmesa OUT.png WIDTH HEIGHT FRAMES N
#include "Quads.h"

#include <GL/osmesa.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 6 && argc != 7) {
        std::fprintf(stderr, "usage: bare_osmesa OUT.png WIDTH HEIGHT FRAMES N [SCALE]\n");
        return 2;
    }
    const int w = std::atoi(argv[2]), h = std::atoi(argv[3]);
    const long frames = std::atol(argv[4]);
    const int n = std::atoi(argv[5]);
    OSMesaContext ctx = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
    std::vector<unsigned char> buffer(size_t(w) * size_t(h) * 4);
    if (!ctx || !OSMesaMakeCurrent(ctx, buffer.data(), GL_UNSIGNED_BYTE, w, h)) return 1;
    bare::Quads quads(n, w, h, argc == 7 ? std::atoi(argv[6]) : 1);
    for (long i = 0; i < frames; ++i) quads.drawFrame();
    glFinish();

    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) return 1;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) return 1;
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = h - 1; y >= 0; --y) png_write_row(png, &buffer[size_t(y) * size_t(w) * 4]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    OSMesaDestroyContext(ctx);
    return 0;
}
