// Windows calls of the devices area; see win/api.h.
#pragma once

namespace win {

// A globally unique identifier (device setup classes, device interfaces).
struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};

}  // namespace win
