// Forwards the calls of win/api.h to Windows, nothing more.
//
// win/api.h comes first: <windows.h> defines macros (TRUE, MAX_PATH,
// INVALID_HANDLE_VALUE ...) that would clash with its declarations. After it,
// the macros are Windows' own and have the same values.
#include "win/api.h"

// Constants checked against <windows.h> below, captured before it defines
// the published names as macros.
namespace seam {
constexpr win::DWORD kOpenReparsePoint = win::FILE_FLAG_OPEN_REPARSE_POINT;
constexpr win::DWORD kBackupSemantics = win::FILE_FLAG_BACKUP_SEMANTICS;
constexpr win::DWORD kReparsePoint = win::FILE_ATTRIBUTE_REPARSE_POINT;
constexpr win::DWORD kSearchSystem32 = win::LOAD_LIBRARY_SEARCH_SYSTEM32;
}  // namespace seam

// clang-format off
#include <windows.h>
// clang-format on
#include <cfgmgr32.h>
#include <shlwapi.h>

#include "win/native.h"

static_assert(sizeof(win::WCHAR) == sizeof(wchar_t));
static_assert(sizeof(win::DWORD) == sizeof(::DWORD) && sizeof(win::LONG) == sizeof(::LONG));
static_assert(sizeof(win::BOOL) == sizeof(::BOOL) && sizeof(win::UINT) == sizeof(::UINT));
static_assert(sizeof(win::ULONG_PTR) == sizeof(::ULONG_PTR));

TOV_SAME_LAYOUT(SYSTEMTIME, SYSTEMTIME);
TOV_SAME_OFFSET(SYSTEMTIME, SYSTEMTIME, wSecond);
TOV_SAME_LAYOUT(FILETIME, FILETIME);
TOV_SAME_LAYOUT(SECURITY_ATTRIBUTES, SECURITY_ATTRIBUTES);
TOV_SAME_OFFSET(SECURITY_ATTRIBUTES, SECURITY_ATTRIBUTES, bInheritHandle);
TOV_SAME_LAYOUT(OVERLAPPED, OVERLAPPED);
TOV_SAME_OFFSET(OVERLAPPED, OVERLAPPED, hEvent);
TOV_SAME_LAYOUT(LARGE_INTEGER, LARGE_INTEGER);
TOV_SAME_LAYOUT(WIN32_FIND_DATAW, WIN32_FIND_DATAW);
TOV_SAME_OFFSET(WIN32_FIND_DATAW, WIN32_FIND_DATAW, nFileSizeLow);
TOV_SAME_OFFSET(WIN32_FIND_DATAW, WIN32_FIND_DATAW, cFileName);
TOV_SAME_OFFSET(WIN32_FIND_DATAW, WIN32_FIND_DATAW, cAlternateFileName);
TOV_SAME_LAYOUT(USEROBJECTFLAGS, USEROBJECTFLAGS);
TOV_SAME_OFFSET(USEROBJECTFLAGS, USEROBJECTFLAGS, dwFlags);
TOV_SAME_LAYOUT(BY_HANDLE_FILE_INFORMATION, BY_HANDLE_FILE_INFORMATION);
TOV_SAME_OFFSET(BY_HANDLE_FILE_INFORMATION, BY_HANDLE_FILE_INFORMATION, nNumberOfLinks);
static_assert(seam::kOpenReparsePoint == FILE_FLAG_OPEN_REPARSE_POINT &&
              seam::kReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT);
static_assert(seam::kBackupSemantics == FILE_FLAG_BACKUP_SEMANTICS &&
              seam::kSearchSystem32 == LOAD_LIBRARY_SEARCH_SYSTEM32);

using native::As;
using native::W;

namespace win {

void GetLocalTime(SYSTEMTIME* t) { ::GetLocalTime(As<::SYSTEMTIME*>(t)); }
DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD e) { ::SetLastError(e); }
void OutputDebugStringW(LPCWSTR s) { ::OutputDebugStringW(W(s)); }

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD id, DWORD lang, LPWSTR buffer, DWORD size, va_list* args) {
  return ::FormatMessageW(flags, source, id, lang, W(buffer), size, args);
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* sa, DWORD disposition, DWORD flags,
                   HANDLE tmpl) {
  return ::CreateFileW(W(name), access, share, As<::LPSECURITY_ATTRIBUTES>(sa), disposition, flags, tmpl);
}
BOOL LockFileEx(HANDLE f, DWORD flags, DWORD reserved, DWORD low, DWORD high, OVERLAPPED* ov) {
  return ::LockFileEx(f, flags, reserved, low, high, As<::LPOVERLAPPED>(ov));
}
BOOL UnlockFileEx(HANDLE f, DWORD reserved, DWORD low, DWORD high, OVERLAPPED* ov) {
  return ::UnlockFileEx(f, reserved, low, high, As<::LPOVERLAPPED>(ov));
}
BOOL SetFilePointerEx(HANDLE f, LARGE_INTEGER distance, LARGE_INTEGER* newPointer, DWORD method) {
  ::LARGE_INTEGER d;
  d.QuadPart = distance.QuadPart;
  return ::SetFilePointerEx(f, d, As<::PLARGE_INTEGER>(newPointer), method);
}
BOOL WriteFile(HANDLE f, LPCVOID data, DWORD size, DWORD* written, OVERLAPPED* ov) {
  return ::WriteFile(f, data, size, As<::LPDWORD>(written), As<::LPOVERLAPPED>(ov));
}
BOOL CloseHandle(HANDLE h) { return ::CloseHandle(h); }
BOOL DeleteFileW(LPCWSTR name) { return ::DeleteFileW(W(name)); }
BOOL GetFileInformationByHandle(HANDLE f, BY_HANDLE_FILE_INFORMATION* info) {
  return ::GetFileInformationByHandle(f, As<::LPBY_HANDLE_FILE_INFORMATION>(info));
}
HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data) {
  return ::FindFirstFileW(W(pattern), As<::LPWIN32_FIND_DATAW>(data));
}
BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data) {
  return ::FindNextFileW(search, As<::LPWIN32_FIND_DATAW>(data));
}
BOOL FindClose(HANDLE search) { return ::FindClose(search); }

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  return ::GetModuleFileNameW(As<::HMODULE>(module), W(buffer), size);
}
HMODULE GetModuleHandleW(LPCWSTR name) { return As<HMODULE>(::GetModuleHandleW(W(name))); }
UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size) { return ::GetWindowsDirectoryW(W(buffer), size); }
HMODULE LoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags) {
  return As<HMODULE>(::LoadLibraryExW(W(name), file, flags));
}
FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  return As<FARPROC>(::GetProcAddress(As<::HMODULE>(module), name));
}
BOOL FreeLibrary(HMODULE module) { return ::FreeLibrary(As<::HMODULE>(module)); }
BOOL SetDefaultDllDirectories(DWORD flags) { return ::SetDefaultDllDirectories(flags); }

BOOL PathRemoveFileSpecW(LPWSTR path) { return ::PathRemoveFileSpecW(W(path)); }
BOOL PathAppendW(LPWSTR path, LPCWSTR more) { return ::PathAppendW(W(path), W(more)); }

CONFIGRET CM_Locate_DevNodeW(DEVINST* devInst, DEVINSTID_W id, ULONG flags) {
  return ::CM_Locate_DevNodeW(As<::PDEVINST>(devInst), W(id), flags);
}
CONFIGRET CM_Reenumerate_DevNode(DEVINST devInst, ULONG flags) { return ::CM_Reenumerate_DevNode(devInst, flags); }

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  return ::MessageBoxW(As<::HWND>(owner), W(text), W(caption), type);
}
HWND GetDesktopWindow() { return As<HWND>(::GetDesktopWindow()); }
HWINSTA GetProcessWindowStation() { return As<HWINSTA>(::GetProcessWindowStation()); }
BOOL GetUserObjectInformationW(HANDLE object, int index, PVOID info, DWORD length, DWORD* needed) {
  return ::GetUserObjectInformationW(object, index, info, length, As<::LPDWORD>(needed));
}
DWORD GetCurrentProcessId() { return ::GetCurrentProcessId(); }
BOOL ProcessIdToSessionId(DWORD process, DWORD* session) {
  return ::ProcessIdToSessionId(process, As<::DWORD*>(session));
}
void Sleep(DWORD ms) { ::Sleep(ms); }

}  // namespace win
