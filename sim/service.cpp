// The simulated machine's service and their calls; see sim/machine.h.
#include "sim/machine.h"
