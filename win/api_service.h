// Windows calls of the service area: the service control manager from both
// sides (client and service process), device notifications, processes
// started through the shell, events and waits; see win/api.h.
#pragma once

namespace win {

// Service control manager handles.
struct SC_HANDLE__;
using SC_HANDLE = SC_HANDLE__*;
struct SERVICE_STATUS_HANDLE__;
using SERVICE_STATUS_HANDLE = SERVICE_STATUS_HANDLE__*;

struct SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
};

struct SERVICE_STATUS_PROCESS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
  DWORD dwProcessId;
  DWORD dwServiceFlags;
};

// What ChangeServiceConfig2W sets, one structure per part of the configuration.
enum SC_ACTION_TYPE : int;
struct SC_ACTION {
  SC_ACTION_TYPE Type;
  DWORD Delay;
};
struct SERVICE_FAILURE_ACTIONSW {
  DWORD dwResetPeriod;
  LPWSTR lpRebootMsg;
  LPWSTR lpCommand;
  DWORD cActions;
  SC_ACTION* lpsaActions;
};
struct SERVICE_DELAYED_AUTO_START_INFO {
  BOOL fDelayedAutostart;
};
struct SERVICE_REQUIRED_PRIVILEGES_INFOW {
  LPWSTR pmszRequiredPrivileges;  // a multi-string
};

using LPSERVICE_MAIN_FUNCTIONW = void(TOV_WINAPI*)(DWORD dwNumServicesArgs, LPWSTR* lpServiceArgVectors);
using LPHANDLER_FUNCTION_EX = DWORD(TOV_WINAPI*)(DWORD dwControl, DWORD dwEventType, LPVOID lpEventData,
                                                 LPVOID lpContext);

struct SERVICE_TABLE_ENTRYW {
  LPWSTR lpServiceName;
  LPSERVICE_MAIN_FUNCTIONW lpServiceProc;
};

// The client side (advapi32).
SC_HANDLE OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName, DWORD dwDesiredAccess);
SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess);
SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR lpDisplayName, DWORD dwDesiredAccess,
                         DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl, LPCWSTR lpBinaryPathName,
                         LPCWSTR lpLoadOrderGroup, DWORD* lpdwTagId, LPCWSTR lpDependencies, LPCWSTR lpServiceStartName,
                         LPCWSTR lpPassword);
BOOL ChangeServiceConfigW(SC_HANDLE hService, DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl,
                          LPCWSTR lpBinaryPathName, LPCWSTR lpLoadOrderGroup, DWORD* lpdwTagId, LPCWSTR lpDependencies,
                          LPCWSTR lpServiceStartName, LPCWSTR lpPassword, LPCWSTR lpDisplayName);
// One overload per structure; dwInfoLevel names the part that it sets.
BOOL ChangeServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, SERVICE_FAILURE_ACTIONSW* lpInfo);
BOOL ChangeServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, SERVICE_DELAYED_AUTO_START_INFO* lpInfo);
BOOL ChangeServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, SERVICE_REQUIRED_PRIVILEGES_INFOW* lpInfo);
BOOL StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs, LPCWSTR* lpServiceArgVectors);
// The one level, SC_STATUS_PROCESS_INFO, fills a SERVICE_STATUS_PROCESS.
BOOL QueryServiceStatusEx(SC_HANDLE hService, SC_STATUS_TYPE InfoLevel, SERVICE_STATUS_PROCESS* lpBuffer,
                          DWORD cbBufSize, DWORD* pcbBytesNeeded);
BOOL ControlService(SC_HANDLE hService, DWORD dwControl, SERVICE_STATUS* lpServiceStatus);
BOOL DeleteService(SC_HANDLE hService);
BOOL CloseServiceHandle(SC_HANDLE hSCObject);

// The service process's side (advapi32).
BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* lpServiceStartTable);
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerExW(LPCWSTR lpServiceName, LPHANDLER_FUNCTION_EX lpHandlerProc,
                                                    LPVOID lpContext);
BOOL SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus, SERVICE_STATUS* lpServiceStatus);

// Device notifications (user32, dbt.h).
using HDEVNOTIFY = PVOID;

struct DEV_BROADCAST_DEVICEINTERFACE_W {
  DWORD dbcc_size;
  DWORD dbcc_devicetype;
  DWORD dbcc_reserved;
  GUID dbcc_classguid;
  WCHAR dbcc_name[1];
};

// The programs register for one interface class at a time.
HDEVNOTIFY RegisterDeviceNotificationW(HANDLE hRecipient, DEV_BROADCAST_DEVICEINTERFACE_W* NotificationFilter,
                                       DWORD Flags);

// Processes started through the shell (shell32). On 32-bit Windows the
// record is byte-packed, as shellapi.h declares it.
#if defined(_WIN32) && !defined(_WIN64)
#pragma pack(push, 1)
#endif
struct SHELLEXECUTEINFOW {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCWSTR lpVerb;
  LPCWSTR lpFile;
  LPCWSTR lpParameters;
  LPCWSTR lpDirectory;
  int nShow;
  HINSTANCE hInstApp;
  void* lpIDList;
  LPCWSTR lpClass;
  HKEY hkeyClass;
  DWORD dwHotKey;
  HANDLE hIcon;  // a union with hMonitor in shellapi.h
  HANDLE hProcess;
};
#if defined(_WIN32) && !defined(_WIN64)
#pragma pack(pop)
#endif

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* pExecInfo);

// Events and waits (kernel32).
HANDLE CreateEventW(SECURITY_ATTRIBUTES* lpEventAttributes, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName);
BOOL SetEvent(HANDLE hEvent);
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
// The programs wait for any one of the handles (bWaitAll FALSE).
DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds);

}  // namespace win
