// Forwarding of the devices calls to Windows; see win/native.cpp for the rules.
#include "win/api.h"
// clang-format off
#include <windows.h>
// clang-format on

static_assert(sizeof(win::GUID) == sizeof(GUID));
static_assert(alignof(win::GUID) == alignof(GUID));
static_assert(offsetof(win::GUID, Data4) == offsetof(GUID, Data4));
