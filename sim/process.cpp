// The program's own process: its module, the Windows directory and the
// libraries it loads; its session and window station, and what it shows a user.
#include <cstring>

#include "sim/machine.h"

namespace win {

using sim::SetError;

// The module handle of the program itself.
HMODULE const kProgramModule = reinterpret_cast<HMODULE>(std::uintptr_t{0x400000});
constexpr DWORD kSearch = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  SIM_CALL(0, hModule == nullptr || hModule == kProgramModule, "the path of a library");
  const std::u16string& path = m.modulePath;
  std::size_t copied = std::min<std::size_t>(path.size(), nSize - 1);
  path.copy(lpFilename, copied);
  lpFilename[copied] = 0;
  // A path that does not fit comes back cut short and terminated.
  SetError(copied < path.size() ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS);
  return copied < path.size() ? nSize : static_cast<DWORD>(copied);
}

HMODULE GetModuleHandleW(LPCWSTR lpModuleName) {
  SIM_CALL(nullptr, lpModuleName == nullptr, "a library's handle");
  return kProgramModule;
}

UINT GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  SIM_CALL(0);
  const std::u16string& dir = m.windowsDirectory;
  if (dir.size() + 1 > uSize) return static_cast<UINT>(dir.size() + 1);  // the size needed, nothing written
  wstr::CopyToBuffer(lpBuffer, uSize, dir);
  return static_cast<UINT>(dir.size());
}

BOOL SetDefaultDllDirectories(DWORD DirectoryFlags) {
  SIM_CALL(FALSE);
  m.defaultDllDirectories = DirectoryFlags;
  return TRUE;
}

// The programs load libraries by name from the directories they name.
HMODULE LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE, DWORD dwFlags) {
  std::u16string_view name(lpLibFileName);
  SIM_CALL(nullptr, (dwFlags & kSearch) != 0 && (dwFlags & ~kSearch) == 0 && name.find(u'\\') == name.npos,
           "a load by path or from other directories than the program's and the system's");
  std::vector<std::u16string> dirs;
  if (dwFlags & LOAD_LIBRARY_SEARCH_APPLICATION_DIR) dirs.push_back(sim::FileSystem::DirectoryOf(m.modulePath));
  if (dwFlags & LOAD_LIBRARY_SEARCH_SYSTEM32) dirs.push_back(m.systemDirectory);
  for (const auto& dir : dirs) {
    sim::Library* library = sim::FindNamed(m.libraries, sim::FileSystem::Resolve(name, dir), &sim::Library::path);
    if (library == nullptr) continue;
    auto h = static_cast<HMODULE>(m.handles.Open(sim::HandleKind::Module));
    m.internal.loadedLibraries[h] = static_cast<std::size_t>(library - m.libraries.data());
    m.libraryLoads.push_back(library->path);
    return h;
  }
  return SetError(ERROR_MOD_NOT_FOUND), nullptr;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  SIM_CALL(nullptr);
  auto it = m.internal.loadedLibraries.find(hModule);
  if (it == m.internal.loadedLibraries.end()) return SetError(ERROR_INVALID_HANDLE), nullptr;
  const auto& exports = m.libraries[it->second].exports;
  auto e = exports.find(lpProcName);
  return e != exports.end() ? e->second : (SetError(ERROR_PROC_NOT_FOUND), nullptr);
}

BOOL FreeLibrary(HMODULE hLibModule) {
  SIM_CALL(FALSE);
  if (m.internal.loadedLibraries.erase(hLibModule) == 0) return SetError(ERROR_INVALID_HANDLE), FALSE;
  return m.handles.Close(hLibModule, sim::HandleKind::Module);
}

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
