#include "sim/MoteArray.h"

#include "settings/PrefsChecks.h"

#include <cstdlib>

namespace zorvan {

Mote* newMoteArray(int count) {
    if (count <= 0 || count > MAX_NUM_MOTES) return nullptr;
    return static_cast<Mote*>(std::malloc(sizeof(Mote) * static_cast<size_t>(count)));
}

void MoteArray::allocateMotes() {
    std::free(motes);
    motes = newMoteArray(numMotes);
    numMotesAllocated = motes ? numMotes : 0;
    if (!motes && numMotes > 0) numMotes = 0;
}

bool MoteArray::setLiveMotes(int n) {
    if (n > numMotesAllocated) {
        Mote* grown = newMoteArray(n);
        if (!grown) return false;
        std::free(motes);
        motes = grown;
        numMotes = n;
        numMotesAllocated = n;
        return true;
    }
    const bool more = n > numMotes;
    numMotes = n;
    return more;
}

void MoteArray::releaseMotes() {
    std::free(motes);
    motes = nullptr;
    numMotesAllocated = 0;
}

}  // namespace zorvan
