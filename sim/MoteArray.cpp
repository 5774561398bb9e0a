#include "sim/MoteArray.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace zorvan {

Mote* newMoteArray(int count) {
    if (count <= 0 || count > MAX_NUM_MOTES) return nullptr;
    return static_cast<Mote*>(std::malloc(sizeof(Mote) * static_cast<size_t>(count)));
}

MoteArray::MoteArray(const MoteArray& other) : numMotes(other.numMotes) {
    if (!other.motes) return;
    motes = newMoteArray(other.numMotesAllocated);
    if (!motes) {
        numMotes = 0;
        return;
    }
    numMotesAllocated = other.numMotesAllocated;
    std::memcpy(motes, other.motes, sizeof(Mote) * static_cast<size_t>(numMotesAllocated));
}

MoteArray::MoteArray(MoteArray&& other) noexcept
    : motes(std::exchange(other.motes, nullptr)),
      numMotesAllocated(std::exchange(other.numMotesAllocated, 0)),
      numMotes(std::exchange(other.numMotes, 0)) {}

MoteArray& MoteArray::operator=(MoteArray other) noexcept {
    std::swap(motes, other.motes);
    std::swap(numMotesAllocated, other.numMotesAllocated);
    std::swap(numMotes, other.numMotes);
    return *this;
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
