// A stand-in difxapi.dll for the Wine tests (built as difxapi.dll). Wine's own
// difxapi.dll never calls the log callback and knows no package, so the tests
// place this one where the setup tool is to find it (or where it must not).
//
// - DriverPackageInstallW sends three log messages (info, warning with code 0,
//   error with code 2) and returns the hexadecimal value of the environment
//   variable TOVFAKEDIFX_INSTALL (0 when unset).
// - DriverPackageGetPathW gives a store path for every OEM INF file whose name
//   begins with "oem5", ERROR_DRIVER_PACKAGE_NOT_IN_STORE for the others.
// - DriverPackageUninstallW sends one success message and returns 0.
// Every message names the call, so the log shows that the callback ran.
#include <windows.h>

#include <cwchar>

namespace {

enum Event { kSuccess = 0, kInfo = 1, kWarning = 2, kError = 3 };
// x64 has one calling convention: the cdecl and WINAPI callbacks of the two
// setters are called alike.
using Callback = void (*)(Event, DWORD, PCWSTR, PVOID);

Callback callback = nullptr;
PVOID callbackContext = nullptr;

void Log(Event event, DWORD error, const wchar_t* text) {
  if (callback != nullptr) callback(event, error, text, callbackContext);
}

constexpr DWORD kNotInStore = 0xE0000302;

}  // namespace

extern "C" {

__declspec(dllexport) VOID WINAPI DIFXAPISetLogCallbackW(Callback function, PVOID context) {
  callback = function;
  callbackContext = context;
}

__declspec(dllexport) VOID WINAPI SetDifxLogCallbackW(Callback function, PVOID context) {
  DIFXAPISetLogCallbackW(function, context);
}

__declspec(dllexport) DWORD WINAPI DriverPackageInstallW(PCWSTR path, DWORD flags, const void* info, BOOL* reboot) {
  if (reboot != nullptr) *reboot = FALSE;
  wchar_t text[600];
  swprintf(text, 600, L"fake install of %ls with flags 0x%lx%ls", path, static_cast<unsigned long>(flags),
           info == nullptr ? L"" : L" and installer information");
  Log(kInfo, 0, text);
  Log(kWarning, 0, L"fake warning");
  Log(kError, 2, L"fake error");
  wchar_t value[32] = L"";
  if (GetEnvironmentVariableW(L"TOVFAKEDIFX_INSTALL", value, 32) == 0) return 0;
  return static_cast<DWORD>(wcstoul(value, nullptr, 16));
}

__declspec(dllexport) DWORD WINAPI DriverPackageUninstallW(PCWSTR path, DWORD flags, const void*, BOOL* reboot) {
  if (reboot != nullptr) *reboot = FALSE;
  wchar_t text[600];
  swprintf(text, 600, L"fake uninstall of %ls with flags 0x%lx", path, static_cast<unsigned long>(flags));
  Log(kSuccess, 0, text);
  return 0;
}

__declspec(dllexport) DWORD WINAPI DriverPackageGetPathW(PCWSTR path, PWSTR dest, DWORD* chars) {
  if (path == nullptr || chars == nullptr) return ERROR_INVALID_PARAMETER;
  const wchar_t* name = wcsrchr(path, L'\\');
  name = name == nullptr ? path : name + 1;
  if (_wcsnicmp(name, L"oem5", 4) != 0) return kNotInStore;
  const wchar_t store[] = L"C:\\windows\\System32\\DriverStore\\FileRepository\\TovFiltr.inf_amd64_fake\\TovFiltr.inf";
  DWORD need = static_cast<DWORD>(wcslen(store) + 1);
  if (dest == nullptr || *chars < need) {
    *chars = need;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  wcscpy(dest, store);
  *chars = need;
  return 0;
}

}  // extern "C"
