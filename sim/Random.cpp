#include "sim/Mote.h"

#include <cstdlib>

namespace zorvan {

double uniformFraction() { return static_cast<double>(random()) / 2147483647.0; }

}  // namespace zorvan
