// Forwarding of the service calls to Windows, but for the service process's
// side of the manager (win/native_dispatcher.cpp); see win/native.cpp for the rules.
#include "win/api.h"

// clang-format off
#include <windows.h>
// clang-format on
#include <shellapi.h>

#include "win/native.h"

TOV_SAME_STRUCT(SERVICE_STATUS_PROCESS, SERVICE_STATUS_PROCESS, dwServiceType, dwCurrentState, dwControlsAccepted,
                dwWin32ExitCode, dwServiceSpecificExitCode, dwCheckPoint, dwWaitHint, dwProcessId, dwServiceFlags);
TOV_SAME_STRUCT(SC_ACTION, SC_ACTION, Type, Delay);
TOV_SAME_STRUCT(SERVICE_FAILURE_ACTIONSW, SERVICE_FAILURE_ACTIONSW, dwResetPeriod, lpRebootMsg, lpCommand, cActions,
                lpsaActions);
TOV_SAME_STRUCT(SERVICE_DELAYED_AUTO_START_INFO, SERVICE_DELAYED_AUTO_START_INFO, fDelayedAutostart);
TOV_SAME_STRUCT(SERVICE_REQUIRED_PRIVILEGES_INFOW, SERVICE_REQUIRED_PRIVILEGES_INFOW, pmszRequiredPrivileges);
TOV_SAME_STRUCT(SHELLEXECUTEINFOW, SHELLEXECUTEINFOW, cbSize, fMask, hwnd, lpVerb, lpFile, lpParameters, lpDirectory,
                nShow, hInstApp, lpIDList, lpClass, hkeyClass, dwHotKey, hIcon, hProcess);

static_assert(sizeof(win::SERVICE_STATUS_PROCESS) == 36);
#if defined(_WIN64)
static_assert(sizeof(win::SHELLEXECUTEINFOW) == 112);
#else
static_assert(sizeof(win::SHELLEXECUTEINFOW) == 60);
#endif
static_assert(sizeof(win::SC_STATUS_TYPE) == sizeof(::SC_STATUS_TYPE));

using native::Seam;
using native::Win;

namespace win {

SC_HANDLE OpenSCManagerW(LPCWSTR machine, LPCWSTR database, DWORD access) {
  return Seam(::OpenSCManagerW(Win(machine), Win(database), access));
}
SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR name, DWORD access) {
  return Seam(::OpenServiceW(Win(manager), Win(name), access));
}
SC_HANDLE CreateServiceW(SC_HANDLE manager, LPCWSTR name, LPCWSTR displayName, DWORD access, DWORD type,
                         DWORD startType, DWORD errorControl, LPCWSTR binaryPath, LPCWSTR group, DWORD* tag,
                         LPCWSTR dependencies, LPCWSTR account, LPCWSTR password) {
  return Seam(::CreateServiceW(Win(manager), Win(name), Win(displayName), access, type, startType, errorControl,
                               Win(binaryPath), Win(group), Win(tag), Win(dependencies), Win(account), Win(password)));
}
BOOL ChangeServiceConfigW(SC_HANDLE service, DWORD type, DWORD startType, DWORD errorControl, LPCWSTR binaryPath,
                          LPCWSTR group, DWORD* tag, LPCWSTR dependencies, LPCWSTR account, LPCWSTR password,
                          LPCWSTR displayName) {
  return ::ChangeServiceConfigW(Win(service), type, startType, errorControl, Win(binaryPath), Win(group), Win(tag),
                                Win(dependencies), Win(account), Win(password), Win(displayName));
}
BOOL ChangeServiceConfig2W(SC_HANDLE service, DWORD level, SERVICE_FAILURE_ACTIONSW* info) {
  return ::ChangeServiceConfig2W(Win(service), level, Win(info));
}
BOOL ChangeServiceConfig2W(SC_HANDLE service, DWORD level, SERVICE_DELAYED_AUTO_START_INFO* info) {
  return ::ChangeServiceConfig2W(Win(service), level, Win(info));
}
BOOL ChangeServiceConfig2W(SC_HANDLE service, DWORD level, SERVICE_REQUIRED_PRIVILEGES_INFOW* info) {
  return ::ChangeServiceConfig2W(Win(service), level, Win(info));
}
BOOL StartServiceW(SC_HANDLE service, DWORD argc, LPCWSTR* argv) {
  return ::StartServiceW(Win(service), argc, Win(argv));
}
BOOL QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE level, SERVICE_STATUS_PROCESS* buffer, DWORD size,
                          DWORD* needed) {
  return ::QueryServiceStatusEx(Win(service), static_cast<::SC_STATUS_TYPE>(level),
                                reinterpret_cast<::BYTE*>(Win(buffer)), size, Win(needed));
}
BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
  return ::ControlService(Win(service), control, Win(status));
}
BOOL DeleteService(SC_HANDLE service) { return ::DeleteService(Win(service)); }
BOOL CloseServiceHandle(SC_HANDLE handle) { return ::CloseServiceHandle(Win(handle)); }

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) { return ::ShellExecuteExW(Win(info)); }

HANDLE CreateEventW(SECURITY_ATTRIBUTES* attributes, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  return ::CreateEventW(Win(attributes), manualReset, initialState, Win(name));
}
BOOL SetEvent(HANDLE event) { return ::SetEvent(event); }
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) { return ::WaitForSingleObject(handle, milliseconds); }
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  return ::WaitForMultipleObjects(count, handles, waitAll, milliseconds);
}

}  // namespace win
