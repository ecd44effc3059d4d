#include "service/main.h"

int TMSvcMain() { return 0; }
