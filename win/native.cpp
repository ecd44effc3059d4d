// Forwards the calls of win/api.h to Windows, nothing more.
//
// win/api.h comes first: <windows.h> defines macros (TRUE, MAX_PATH,
// INVALID_HANDLE_VALUE ...) that would clash with its declarations. After it,
// the macros are Windows' own and have the same values.
#include "win/api.h"

// clang-format off
#include <windows.h>
// clang-format on
#include <shlwapi.h>

#include "win/native.h"

TOV_SAME_STRUCT(SYSTEMTIME, SYSTEMTIME, wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds);
TOV_SAME_STRUCT(FILETIME, FILETIME, dwLowDateTime, dwHighDateTime);
TOV_SAME_STRUCT(OVERLAPPED, OVERLAPPED, Internal, InternalHigh, Offset, OffsetHigh, hEvent);
TOV_SAME_STRUCT(LARGE_INTEGER, LARGE_INTEGER, u, QuadPart);
TOV_SAME_STRUCT(WIN32_FIND_DATAW, WIN32_FIND_DATAW, dwFileAttributes, ftCreationTime, ftLastAccessTime, ftLastWriteTime,
                nFileSizeHigh, nFileSizeLow, dwReserved0, dwReserved1, cFileName, cAlternateFileName);
TOV_SAME_STRUCT(BY_HANDLE_FILE_INFORMATION, BY_HANDLE_FILE_INFORMATION, dwFileAttributes, ftCreationTime,
                ftLastAccessTime, ftLastWriteTime, dwVolumeSerialNumber, nFileSizeHigh, nFileSizeLow, nNumberOfLinks,
                nFileIndexHigh, nFileIndexLow);
TOV_SAME_STRUCT(USEROBJECTFLAGS, USEROBJECTFLAGS, fInherit, fReserved, dwFlags);

using native::Seam;
using native::Win;

namespace win {

void GetLocalTime(SYSTEMTIME* t) { ::GetLocalTime(Win(t)); }
DWORD GetLastError() { return ::GetLastError(); }
void SetLastError(DWORD e) { ::SetLastError(e); }
void OutputDebugStringW(LPCWSTR s) { ::OutputDebugStringW(Win(s)); }

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD id, DWORD lang, LPWSTR buffer, DWORD size, va_list* args) {
  return ::FormatMessageW(flags, source, id, lang, Win(buffer), size, args);
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* sa, DWORD disposition, DWORD flags,
                   HANDLE tmpl) {
  return ::CreateFileW(Win(name), access, share, Win(sa), disposition, flags, tmpl);
}
BOOL LockFileEx(HANDLE f, DWORD flags, DWORD reserved, DWORD low, DWORD high, OVERLAPPED* ov) {
  return ::LockFileEx(f, flags, reserved, low, high, Win(ov));
}
BOOL UnlockFileEx(HANDLE f, DWORD reserved, DWORD low, DWORD high, OVERLAPPED* ov) {
  return ::UnlockFileEx(f, reserved, low, high, Win(ov));
}
BOOL SetFilePointerEx(HANDLE f, LARGE_INTEGER distance, LARGE_INTEGER* newPointer, DWORD method) {
  ::LARGE_INTEGER d;
  d.QuadPart = distance.QuadPart;
  return ::SetFilePointerEx(f, d, Win(newPointer), method);
}
BOOL WriteFile(HANDLE f, LPCVOID data, DWORD size, DWORD* written, OVERLAPPED* ov) {
  return ::WriteFile(f, data, size, Win(written), Win(ov));
}
BOOL CloseHandle(HANDLE h) { return ::CloseHandle(h); }
BOOL DeleteFileW(LPCWSTR name) { return ::DeleteFileW(Win(name)); }
BOOL GetFileInformationByHandle(HANDLE f, BY_HANDLE_FILE_INFORMATION* info) {
  return ::GetFileInformationByHandle(f, Win(info));
}
HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data) { return ::FindFirstFileW(Win(pattern), Win(data)); }
BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data) { return ::FindNextFileW(search, Win(data)); }
BOOL FindClose(HANDLE search) { return ::FindClose(search); }

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  return ::GetModuleFileNameW(Win(module), Win(buffer), size);
}
UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size) { return ::GetWindowsDirectoryW(Win(buffer), size); }
HMODULE LoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags) {
  return Seam(::LoadLibraryExW(Win(name), file, flags));
}
FARPROC GetProcAddress(HMODULE module, LPCSTR name) { return Seam(::GetProcAddress(Win(module), name)); }
BOOL FreeLibrary(HMODULE module) { return ::FreeLibrary(Win(module)); }
BOOL SetDefaultDllDirectories(DWORD flags) { return ::SetDefaultDllDirectories(flags); }

BOOL PathRemoveFileSpecW(LPWSTR path) { return ::PathRemoveFileSpecW(Win(path)); }
BOOL PathAppendW(LPWSTR path, LPCWSTR more) { return ::PathAppendW(Win(path), Win(more)); }

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  return ::MessageBoxW(Win(owner), Win(text), Win(caption), type);
}
HWND GetDesktopWindow() { return Seam(::GetDesktopWindow()); }
HWINSTA GetProcessWindowStation() { return Seam(::GetProcessWindowStation()); }
BOOL GetUserObjectInformationW(HANDLE object, int index, USEROBJECTFLAGS* info, DWORD length, DWORD* needed) {
  return ::GetUserObjectInformationW(object, index, Win(info), length, Win(needed));
}
DWORD GetCurrentProcessId() { return ::GetCurrentProcessId(); }
BOOL ProcessIdToSessionId(DWORD process, DWORD* session) { return ::ProcessIdToSessionId(process, Win(session)); }
void Sleep(DWORD ms) { ::Sleep(ms); }
ULONGLONG GetTickCount64() { return ::GetTickCount64(); }

}  // namespace win
