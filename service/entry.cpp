// The process entry of the device-arrival service; the work is TMSvcMain.
#include "service/main.h"

int main(int, char**) { return TMSvcMain(); }
