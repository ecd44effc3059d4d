// The programs' one view of Windows: types, constants and calls with their
// published names, in namespace win. Wide text is UTF-16 as char16_t, so the
// same code compiles against Windows (win/native*.cpp forwards each call) and
// against the simulated machine of the tests (sim/).
//
// Where a declaration goes (each header has its forwarding file, and each
// call its model under sim/):
//   win/api.h          the base types, errors and constants every part uses,
//                      and the process's own calls (kernel32, user32,
//                      shlwapi): files, modules and libraries, time, the
//                      debugger output, paths, message boxes, window
//                      stations and sessions, sleeping. Forwarded in
//                      win/native.cpp.
//   win/api_devices.h  devices: the Setup API's device information sets and
//                      its global switches, device registry keys, the
//                      Configuration Manager's device tree. native_devices.cpp.
//   win/api_store.h    driver packages: INF information, the driver store,
//                      the types of difxapi.dll. native_store.cpp.
//   win/api_service.h  services: the service control manager from both
//                      sides, device notifications, processes started
//                      through the shell, events and waits.
//                      native_service.cpp; the service process's side
//                      of the manager in native_dispatcher.cpp.
// Every constant is a row of win/constants.inc, which win/native_constants.cpp
// compares with Windows' headers. Every structure is checked against Windows'
// layout where its pointer crosses to Windows (win/native.h), so no call takes
// a structure through an untyped or a base pointer (PVOID, BYTE*, a header):
// its parameter names the structure the programs pass. win/handle.h and
// win/exports.h hold the owner of each kind of handle and the lookup of
// run-time exports.
#pragma once

#include <cstdarg>
#include <cstdint>

// The calling convention of Windows calls and callbacks (__stdcall on 32-bit
// Windows, the only place where it differs from the default).
#if defined(_WIN32) && !defined(_WIN64)
#define TOV_WINAPI __stdcall
#else
#define TOV_WINAPI
#endif

namespace win {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using BOOL = int;
using UINT = unsigned int;
using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;
using PVOID = void*;
using ULONG_PTR = std::uintptr_t;
using HRESULT = std::int32_t;
using LSTATUS = LONG;

using HANDLE = void*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HWND__;
using HWND = HWND__*;
using FARPROC = std::intptr_t (*)();

// The types of constants that other areas' calls take.
using REGSAM = DWORD;       // registry key access
using DI_FUNCTION = UINT;   // a class installer's function
using CONFIGRET = DWORD;    // a Configuration Manager result
enum SC_STATUS_TYPE : int;  // the level of a service status query
enum DIFXAPI_LOG : int;     // the event type of a Driver Install Frameworks log message
// A globally unique identifier (device setup classes, device interfaces).
struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};

// Every constant of the seam, from the one list that win/native_constants.cpp
// compares with Windows' headers.
#define TOV_CONSTANT(type, name, ...) inline constexpr type name = __VA_ARGS__;
#define TOV_HANDLE(name, value) inline HANDLE const name = reinterpret_cast<HANDLE>(std::intptr_t{value});
#define TOV_PUBLISHED(type, name, ...) inline type const name = __VA_ARGS__;
#include "win/constants.inc"
#undef TOV_CONSTANT
#undef TOV_HANDLE
#undef TOV_PUBLISHED

// Time.
struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
void GetLocalTime(SYSTEMTIME* lpSystemTime);

// Errors and diagnostics.
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);
void OutputDebugStringW(LPCWSTR lpOutputString);
DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPWSTR lpBuffer,
                     DWORD nSize, va_list* Arguments);

// Files.
struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
struct OVERLAPPED {
  ULONG_PTR Internal;
  ULONG_PTR InternalHigh;
  DWORD Offset;
  DWORD OffsetHigh;
  HANDLE hEvent;
};
union LARGE_INTEGER {
  struct {
    DWORD LowPart;
    LONG HighPart;
  } u;
  LONGLONG QuadPart;
};
struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
};

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   SECURITY_ATTRIBUTES* lpSecurityAttributes, DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                   HANDLE hTemplateFile);
BOOL LockFileEx(HANDLE hFile, DWORD dwFlags, DWORD dwReserved, DWORD nNumberOfBytesToLockLow,
                DWORD nNumberOfBytesToLockHigh, OVERLAPPED* lpOverlapped);
BOOL UnlockFileEx(HANDLE hFile, DWORD dwReserved, DWORD nNumberOfBytesToUnlockLow, DWORD nNumberOfBytesToUnlockHigh,
                  OVERLAPPED* lpOverlapped);
BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, LARGE_INTEGER* lpNewFilePointer,
                      DWORD dwMoveMethod);
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, DWORD* lpNumberOfBytesWritten,
               OVERLAPPED* lpOverlapped);
BOOL CloseHandle(HANDLE hObject);
BOOL DeleteFileW(LPCWSTR lpFileName);

// What an open handle is: its attributes and how many names (hard links) it has.
struct BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
};
BOOL GetFileInformationByHandle(HANDLE hFile, BY_HANDLE_FILE_INFORMATION* lpFileInformation);
HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData);
BOOL FindNextFileW(HANDLE hFindFile, WIN32_FIND_DATAW* lpFindFileData);
BOOL FindClose(HANDLE hFindFile);

// Modules and directories.
DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
UINT GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize);

HMODULE LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
// The directories that every later load without LOAD_LIBRARY_SEARCH_* flags
// of its own searches (LoadLibraryExW's flags of that family).
BOOL SetDefaultDllDirectories(DWORD DirectoryFlags);
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL FreeLibrary(HMODULE hLibModule);

// Path functions (shlwapi).
BOOL PathRemoveFileSpecW(LPWSTR pszPath);
BOOL PathAppendW(LPWSTR pszPath, LPCWSTR pszMore);

// User interface.
int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
HWND GetDesktopWindow();

// Window stations: whether the process can show anything to a user.
struct HWINSTA__;
using HWINSTA = HWINSTA__*;
struct USEROBJECTFLAGS {
  BOOL fInherit;
  BOOL fReserved;
  DWORD dwFlags;
};
HWINSTA GetProcessWindowStation();
// The one index, UOI_FLAGS, fills a USEROBJECTFLAGS.
BOOL GetUserObjectInformationW(HANDLE hObj, int nIndex, USEROBJECTFLAGS* pvInfo, DWORD nLength, DWORD* lpnLengthNeeded);
// The Remote Desktop Services session of a process; services run in session 0.
DWORD GetCurrentProcessId();
BOOL ProcessIdToSessionId(DWORD dwProcessId, DWORD* pSessionId);

// Threads and waiting.
void Sleep(DWORD dwMilliseconds);
// Milliseconds since the system started.
ULONGLONG GetTickCount64();

}  // namespace win

#include "win/api_devices.h"
#include "win/api_service.h"
#include "win/api_store.h"
