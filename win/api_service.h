// Windows calls of the service area (service control manager, both sides;
// device notifications; processes and events); see win/api.h.
#pragma once

namespace win {

struct SC_HANDLE__;
using SC_HANDLE = SC_HANDLE__*;

}  // namespace win
