// Forwarding of the service process's side of the service control manager to
// Windows: the dispatcher, the handler registration, the status reports and
// the device notification registration; see win/native.cpp for the rules.
// They are a file of their own so that a test program can link the service
// with a stand-in dispatcher of its own in their place.
#include "win/api.h"

// clang-format off
#include <windows.h>
// clang-format on
#include <dbt.h>

#include "win/native.h"

TOV_SAME_STRUCT(SERVICE_TABLE_ENTRYW, SERVICE_TABLE_ENTRYW, lpServiceName, lpServiceProc);
TOV_SAME_STRUCT(DEV_BROADCAST_DEVICEINTERFACE_W, DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_size, dbcc_devicetype,
                dbcc_reserved, dbcc_classguid, dbcc_name);
static_assert(sizeof(win::DEV_BROADCAST_DEVICEINTERFACE_W) == 32);

using native::Seam;
using native::Win;

namespace win {

BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* table) {
  return ::StartServiceCtrlDispatcherW(Win(table));
}
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerExW(LPCWSTR name, LPHANDLER_FUNCTION_EX handler, LPVOID context) {
  return Seam(::RegisterServiceCtrlHandlerExW(Win(name), Win(handler), context));
}
BOOL SetServiceStatus(SERVICE_STATUS_HANDLE handle, SERVICE_STATUS* status) {
  return ::SetServiceStatus(Win(handle), Win(status));
}

HDEVNOTIFY RegisterDeviceNotificationW(HANDLE recipient, DEV_BROADCAST_DEVICEINTERFACE_W* filter, DWORD flags) {
  return ::RegisterDeviceNotificationW(recipient, Win(filter), flags);
}

}  // namespace win
