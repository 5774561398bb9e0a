// The tests' way into a view's state: every field, to set up a case, to look at the
// result or to click the sheet's controls, without the product class growing setters
// for them. Only the tests, the benchmarks and the fuzz targets include this.
#pragma once

#include "saver/Zorvan.h"

#include <memory>

namespace zorvan {
namespace test {

struct StateAccess {
    static ZorvanState& of(Zorvan& view) { return view; }
    static const ZorvanState& of(const Zorvan& view) { return view; }
};

inline ZorvanState& state(Zorvan& view) { return StateAccess::of(view); }
inline const ZorvanState& state(const Zorvan& view) { return StateAccess::of(view); }
inline ZorvanState& state(Zorvan* view) { return StateAccess::of(*view); }
inline const ZorvanState& state(const Zorvan* view) { return StateAccess::of(*view); }
inline ZorvanState& state(const std::unique_ptr<Zorvan>& view) { return StateAccess::of(*view); }

}  // namespace test
}  // namespace zorvan
