// The simulated machine's store; see sim/machine.h.
#pragma once

namespace sim {

struct Store {};

}  // namespace sim
