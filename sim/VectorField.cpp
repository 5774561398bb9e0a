// STUB: replaced by the vector-field work.
#include "saver/Zorvan.h"
namespace zorvan {
void Zorvan::initVectorField() {}
void Zorvan::advanceFields() {}
int Zorvan::cellOf(float, float) const { return 0; }
}  // namespace zorvan
