// Windows calls of the store area; see win/api.h.
#pragma once

namespace win {}  // namespace win
