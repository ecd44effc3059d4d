// Windows calls of the devices area; see win/api.h.
#pragma once

namespace win {}  // namespace win
