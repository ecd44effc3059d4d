// The simulated machine's devices and their calls; see sim/machine.h.
#include "sim/machine.h"
