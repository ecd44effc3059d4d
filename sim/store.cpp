// The simulated machine's store and their calls; see sim/machine.h.
#include "sim/machine.h"
