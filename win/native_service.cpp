// Forwarding of the service calls to Windows; see win/native.cpp for the rules.
#include "win/api.h"

// The area's constants, captured under names that <windows.h> leaves alone
// (it defines the published names as macros), to be checked against it below.
namespace seam {
constexpr win::DWORD kServiceAllAccess = win::SERVICE_ALL_ACCESS;
constexpr win::DWORD kScManagerAllAccess = win::SC_MANAGER_ALL_ACCESS;
constexpr win::DWORD kDelete = win::DELETE;
constexpr win::DWORD kInteractive = win::SERVICE_INTERACTIVE_PROCESS;
constexpr win::DWORD kAcceptPauseContinue = win::SERVICE_ACCEPT_PAUSE_CONTINUE;
constexpr win::DWORD kControlDeviceEvent = win::SERVICE_CONTROL_DEVICEEVENT;
constexpr win::DWORD kPaused = win::SERVICE_PAUSED;
constexpr win::DWORD kDeviceArrival = win::DBT_DEVICEARRIVAL;
constexpr win::DWORD kDevtypDeviceInterface = win::DBT_DEVTYP_DEVICEINTERFACE;
constexpr win::DWORD kNotifyServiceHandle = win::DEVICE_NOTIFY_SERVICE_HANDLE;
constexpr win::ULONG kNoCloseProcess = win::SEE_MASK_NOCLOSEPROCESS;
constexpr win::ULONG kFlagNoUi = win::SEE_MASK_FLAG_NO_UI;
constexpr win::DWORD kWaitFailed = win::WAIT_FAILED;
constexpr win::DWORD kWaitTimeout = win::WAIT_TIMEOUT;
constexpr win::DWORD kMarkedForDelete = win::ERROR_SERVICE_MARKED_FOR_DELETE;
constexpr win::DWORD kDoesNotExist = win::ERROR_SERVICE_DOES_NOT_EXIST;
constexpr win::GUID kMouse = win::GUID_DEVINTERFACE_MOUSE;
}  // namespace seam

// clang-format off
#include <windows.h>
// clang-format on
#include <dbt.h>
#include <shellapi.h>

#include "win/native.h"

TOV_SAME_LAYOUT(SERVICE_STATUS, SERVICE_STATUS);
TOV_SAME_OFFSET(SERVICE_STATUS, SERVICE_STATUS, dwCurrentState);
TOV_SAME_OFFSET(SERVICE_STATUS, SERVICE_STATUS, dwWaitHint);
TOV_SAME_LAYOUT(SERVICE_STATUS_PROCESS, SERVICE_STATUS_PROCESS);
TOV_SAME_OFFSET(SERVICE_STATUS_PROCESS, SERVICE_STATUS_PROCESS, dwCurrentState);
TOV_SAME_OFFSET(SERVICE_STATUS_PROCESS, SERVICE_STATUS_PROCESS, dwProcessId);
TOV_SAME_OFFSET(SERVICE_STATUS_PROCESS, SERVICE_STATUS_PROCESS, dwServiceFlags);
static_assert(sizeof(win::SERVICE_STATUS_PROCESS) == 36);
TOV_SAME_LAYOUT(SERVICE_TABLE_ENTRYW, SERVICE_TABLE_ENTRYW);
TOV_SAME_OFFSET(SERVICE_TABLE_ENTRYW, SERVICE_TABLE_ENTRYW, lpServiceProc);
TOV_SAME_LAYOUT(DEV_BROADCAST_DEVICEINTERFACE_W, DEV_BROADCAST_DEVICEINTERFACE_W);
TOV_SAME_OFFSET(DEV_BROADCAST_DEVICEINTERFACE_W, DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_classguid);
TOV_SAME_OFFSET(DEV_BROADCAST_DEVICEINTERFACE_W, DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
static_assert(sizeof(win::DEV_BROADCAST_DEVICEINTERFACE_W) == 32);
TOV_SAME_LAYOUT(SHELLEXECUTEINFOW, SHELLEXECUTEINFOW);
TOV_SAME_OFFSET(SHELLEXECUTEINFOW, SHELLEXECUTEINFOW, lpFile);
TOV_SAME_OFFSET(SHELLEXECUTEINFOW, SHELLEXECUTEINFOW, nShow);
TOV_SAME_OFFSET(SHELLEXECUTEINFOW, SHELLEXECUTEINFOW, hInstApp);
TOV_SAME_OFFSET(SHELLEXECUTEINFOW, SHELLEXECUTEINFOW, hkeyClass);
TOV_SAME_OFFSET(SHELLEXECUTEINFOW, SHELLEXECUTEINFOW, dwHotKey);
TOV_SAME_OFFSET(SHELLEXECUTEINFOW, SHELLEXECUTEINFOW, hIcon);
TOV_SAME_OFFSET(SHELLEXECUTEINFOW, SHELLEXECUTEINFOW, hProcess);
#if defined(_WIN64)
static_assert(sizeof(win::SHELLEXECUTEINFOW) == 112);
#else
static_assert(sizeof(win::SHELLEXECUTEINFOW) == 60);
#endif
static_assert(static_cast<int>(win::SC_STATUS_PROCESS_INFO) == static_cast<int>(::SC_STATUS_PROCESS_INFO));
static_assert(sizeof(win::SC_STATUS_TYPE) == sizeof(::SC_STATUS_TYPE));
static_assert(seam::kServiceAllAccess == SERVICE_ALL_ACCESS && seam::kScManagerAllAccess == SC_MANAGER_ALL_ACCESS);
static_assert(seam::kDelete == DELETE && seam::kInteractive == SERVICE_INTERACTIVE_PROCESS);
static_assert(seam::kAcceptPauseContinue == SERVICE_ACCEPT_PAUSE_CONTINUE && seam::kPaused == SERVICE_PAUSED);
static_assert(seam::kControlDeviceEvent == SERVICE_CONTROL_DEVICEEVENT);
static_assert(seam::kDeviceArrival == DBT_DEVICEARRIVAL && seam::kDevtypDeviceInterface == DBT_DEVTYP_DEVICEINTERFACE);
static_assert(seam::kNotifyServiceHandle == DEVICE_NOTIFY_SERVICE_HANDLE);
static_assert(seam::kNoCloseProcess == SEE_MASK_NOCLOSEPROCESS && seam::kFlagNoUi == SEE_MASK_FLAG_NO_UI);
static_assert(seam::kWaitFailed == WAIT_FAILED && seam::kWaitTimeout == WAIT_TIMEOUT);
static_assert(seam::kMarkedForDelete == ERROR_SERVICE_MARKED_FOR_DELETE);
static_assert(seam::kDoesNotExist == ERROR_SERVICE_DOES_NOT_EXIST);
static_assert(seam::kMouse.Data1 == 0x378DE44C && seam::kMouse.Data4[7] == 0xDD);

using native::As;
using native::W;

namespace win {

SC_HANDLE OpenSCManagerW(LPCWSTR machine, LPCWSTR database, DWORD access) {
  return As<SC_HANDLE>(::OpenSCManagerW(W(machine), W(database), access));
}
SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR name, DWORD access) {
  return As<SC_HANDLE>(::OpenServiceW(As<::SC_HANDLE>(manager), W(name), access));
}
SC_HANDLE CreateServiceW(SC_HANDLE manager, LPCWSTR name, LPCWSTR displayName, DWORD access, DWORD type,
                         DWORD startType, DWORD errorControl, LPCWSTR binaryPath, LPCWSTR group, DWORD* tag,
                         LPCWSTR dependencies, LPCWSTR account, LPCWSTR password) {
  return As<SC_HANDLE>(::CreateServiceW(As<::SC_HANDLE>(manager), W(name), W(displayName), access, type, startType,
                                        errorControl, W(binaryPath), W(group), As<::LPDWORD>(tag), W(dependencies),
                                        W(account), W(password)));
}
BOOL StartServiceW(SC_HANDLE service, DWORD argc, LPCWSTR* argv) {
  return ::StartServiceW(As<::SC_HANDLE>(service), argc, As<::LPCWSTR*>(argv));
}
BOOL QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE level, BYTE* buffer, DWORD size, DWORD* needed) {
  return ::QueryServiceStatusEx(As<::SC_HANDLE>(service), static_cast<::SC_STATUS_TYPE>(level), buffer, size,
                                As<::LPDWORD>(needed));
}
BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
  return ::ControlService(As<::SC_HANDLE>(service), control, As<::LPSERVICE_STATUS>(status));
}
BOOL DeleteService(SC_HANDLE service) { return ::DeleteService(As<::SC_HANDLE>(service)); }
BOOL CloseServiceHandle(SC_HANDLE handle) { return ::CloseServiceHandle(As<::SC_HANDLE>(handle)); }

BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* table) {
  return ::StartServiceCtrlDispatcherW(As<const ::SERVICE_TABLE_ENTRYW*>(table));
}
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerExW(LPCWSTR name, LPHANDLER_FUNCTION_EX handler, LPVOID context) {
  return As<SERVICE_STATUS_HANDLE>(
      ::RegisterServiceCtrlHandlerExW(W(name), As<::LPHANDLER_FUNCTION_EX>(handler), context));
}
BOOL SetServiceStatus(SERVICE_STATUS_HANDLE handle, SERVICE_STATUS* status) {
  return ::SetServiceStatus(As<::SERVICE_STATUS_HANDLE>(handle), As<::LPSERVICE_STATUS>(status));
}

HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, LPVOID filter, DWORD flags) {
  return ::RegisterDeviceNotificationW(recipient, filter, flags);
}

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) { return ::ShellExecuteExW(As<::LPSHELLEXECUTEINFOW>(info)); }

HANDLE CreateEventW(SECURITY_ATTRIBUTES* attributes, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  return ::CreateEventW(As<::LPSECURITY_ATTRIBUTES>(attributes), manualReset, initialState, W(name));
}
BOOL SetEvent(HANDLE event) { return ::SetEvent(event); }
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) { return ::WaitForSingleObject(handle, milliseconds); }

}  // namespace win
