// The process's session and window station, and what it shows a user.
#include <cstring>

#include "sim/machine.h"

namespace win {

using sim::SetError;

// The process's window station; it is not to be closed.
HWINSTA const kWindowStation = reinterpret_cast<HWINSTA>(std::uintptr_t{0x10020});
constexpr DWORD kProcessId = 0x1F24;  // the one process the calls of a test run in

// The answer is always OK: the programs do not look at it.
int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  SIM_CALL(0);
  m.messageBoxes.push_back(sim::MessageBoxShown{lpText, lpCaption, uType, hWnd});
  return IDOK;
}

HWND GetDesktopWindow() { return reinterpret_cast<HWND>(std::uintptr_t{0x10010}); }

HWINSTA GetProcessWindowStation() {
  SIM_CALL(nullptr);
  return kWindowStation;
}

BOOL GetUserObjectInformationW(HANDLE hObj, int nIndex, PVOID pvInfo, DWORD nLength, DWORD* lpnLengthNeeded) {
  SIM_CALL(FALSE, hObj == kWindowStation && nIndex == UOI_FLAGS && nLength == sizeof(USEROBJECTFLAGS),
           "other information than the flags of the process's window station");
  if (lpnLengthNeeded) *lpnLengthNeeded = sizeof(USEROBJECTFLAGS);
  USEROBJECTFLAGS flags{FALSE, FALSE, m.stationVisible ? WSF_VISIBLE : 0};
  std::memcpy(pvInfo, &flags, sizeof(flags));
  return TRUE;
}

DWORD GetCurrentProcessId() { return kProcessId; }

BOOL ProcessIdToSessionId(DWORD dwProcessId, DWORD* pSessionId) {
  SIM_CALL(FALSE, dwProcessId == kProcessId, "the session of another process");
  *pSessionId = m.sessionId;
  return TRUE;
}

}  // namespace win
