// Forwarding of the devices calls to Windows; see win/native.cpp for the rules.
#include "win/api.h"
// clang-format off
#include <windows.h>
// clang-format on
#include <cfgmgr32.h>
#include <setupapi.h>

#include "win/native.h"

TOV_SAME_STRUCT(SP_DEVINFO_DATA, SP_DEVINFO_DATA, cbSize, ClassGuid, DevInst, Reserved);
TOV_SAME_STRUCT(SP_DRVINFO_DATA_V2_W, SP_DRVINFO_DATA_V2_W, cbSize, DriverType, Reserved, Description, MfgName,
                ProviderName, DriverDate, DriverVersion);
TOV_SAME_STRUCT(SP_CLASSINSTALL_HEADER, SP_CLASSINSTALL_HEADER, cbSize, InstallFunction);
TOV_SAME_STRUCT(SP_REMOVEDEVICE_PARAMS, SP_REMOVEDEVICE_PARAMS, ClassInstallHeader, Scope, HwProfile);
TOV_SAME_STRUCT(SP_DEVINSTALL_PARAMS_W, SP_DEVINSTALL_PARAMS_W, cbSize, Flags, FlagsEx, hwndParent, InstallMsgHandler,
                InstallMsgHandlerContext, FileQueue, ClassInstallReserved, Reserved, DriverPath);

static_assert(sizeof(win::HDEVINFO) == sizeof(::HDEVINFO));
static_assert(sizeof(win::REGSAM) == sizeof(::REGSAM) && sizeof(win::DI_FUNCTION) == sizeof(::DI_FUNCTION));

using native::Seam;
using native::Win;

namespace win {

LSTATUS RegCloseKey(HKEY key) { return ::RegCloseKey(Win(key)); }

HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HWND parent, DWORD flags) {
  return ::SetupDiGetClassDevsW(Win(classGuid), Win(enumerator), Win(parent), flags);
}
BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
  return ::SetupDiEnumDeviceInfo(set, index, Win(data));
}
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) { return ::SetupDiDestroyDeviceInfoList(set); }
BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property, DWORD* type, BYTE* buffer,
                                       DWORD size, DWORD* required) {
  return ::SetupDiGetDeviceRegistryPropertyW(set, Win(data), property, Win(type), buffer, size, Win(required));
}
HKEY SetupDiOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD scope, DWORD profile, DWORD keyType,
                          REGSAM access) {
  return Seam(::SetupDiOpenDevRegKey(set, Win(data), scope, profile, keyType, access));
}
BOOL SetupDiBuildDriverInfoList(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD driverType) {
  return ::SetupDiBuildDriverInfoList(set, Win(data), driverType);
}
BOOL SetupDiEnumDriverInfoW(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD driverType, DWORD index,
                            SP_DRVINFO_DATA_W* driver) {
  return ::SetupDiEnumDriverInfoW(set, Win(data), driverType, index, Win(driver));
}
BOOL SetupDiSetSelectedDevice(HDEVINFO set, SP_DEVINFO_DATA* data) {
  return ::SetupDiSetSelectedDevice(set, Win(data));
}
BOOL SetupDiSetSelectedDriverW(HDEVINFO set, SP_DEVINFO_DATA* data, SP_DRVINFO_DATA_W* driver) {
  return ::SetupDiSetSelectedDriverW(set, Win(data), Win(driver));
}
BOOL SetupDiSetClassInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* data, SP_REMOVEDEVICE_PARAMS* params, DWORD size) {
  // The header is the first member: its address is the structure's.
  return ::SetupDiSetClassInstallParamsW(set, Win(data), reinterpret_cast<::SP_CLASSINSTALL_HEADER*>(Win(params)),
                                         size);
}
BOOL SetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* data) {
  return ::SetupDiCallClassInstaller(function, set, Win(data));
}
BOOL SetupDiGetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* data, SP_DEVINSTALL_PARAMS_W* params) {
  return ::SetupDiGetDeviceInstallParamsW(set, Win(data), Win(params));
}
int SetupPromptReboot(HSPFILEQ queue, HWND owner, BOOL scanOnly) {
  return ::SetupPromptReboot(queue, Win(owner), scanOnly);
}
BOOL SetupSetNonInteractiveMode(BOOL nonInteractive) { return ::SetupSetNonInteractiveMode(nonInteractive); }

CONFIGRET CM_Locate_DevNodeW(DEVINST* devInst, DEVINSTID_W id, ULONG flags) {
  return ::CM_Locate_DevNodeW(Win(devInst), Win(id), flags);
}
CONFIGRET CM_Reenumerate_DevNode(DEVINST devInst, ULONG flags) { return ::CM_Reenumerate_DevNode(devInst, flags); }

}  // namespace win
