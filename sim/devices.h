// The simulated machine's devices; see sim/machine.h.
#pragma once

namespace sim {

struct Devices {};

}  // namespace sim
