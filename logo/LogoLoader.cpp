// STUB: replaced by the logo work.
#include "saver/Zorvan.h"
namespace zorvan {
void Zorvan::loadLogo() { logoWidth = 60; logoHeight = 100; }
Colour* Zorvan::getPixelColoursFromBitmapRep(const BitmapImageRep&) { numNonBGPixels = 0; return nullptr; }
}  // namespace zorvan
