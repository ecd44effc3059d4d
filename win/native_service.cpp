// Forwarding of the service calls to Windows; see win/native.cpp for the rules.
#include "win/api.h"
// clang-format off
#include <windows.h>
// clang-format on
