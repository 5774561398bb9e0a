// STUB: replaced by the motion work.
#include "saver/Zorvan.h"
namespace zorvan {
void Zorvan::advanceMotes() {}
}  // namespace zorvan
