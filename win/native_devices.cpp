// Forwarding of the devices calls to Windows; see win/native.cpp for the rules.
#include "win/api.h"
// clang-format off
#include <windows.h>
// clang-format on
#include <setupapi.h>

#include "win/native.h"

TOV_SAME_LAYOUT(GUID, GUID);
TOV_SAME_OFFSET(GUID, GUID, Data4);
static_assert(sizeof(win::HKEY) == sizeof(::HKEY) && sizeof(win::HDEVINFO) == sizeof(::HDEVINFO));
static_assert(sizeof(win::REGSAM) == sizeof(::REGSAM) && sizeof(win::DI_FUNCTION) == sizeof(::DI_FUNCTION));

TOV_SAME_LAYOUT(SP_DEVINFO_DATA, SP_DEVINFO_DATA);
TOV_SAME_OFFSET(SP_DEVINFO_DATA, SP_DEVINFO_DATA, ClassGuid);
TOV_SAME_OFFSET(SP_DEVINFO_DATA, SP_DEVINFO_DATA, DevInst);
TOV_SAME_OFFSET(SP_DEVINFO_DATA, SP_DEVINFO_DATA, Reserved);
TOV_SAME_LAYOUT(SP_DRVINFO_DATA_V2_W, SP_DRVINFO_DATA_V2_W);
TOV_SAME_OFFSET(SP_DRVINFO_DATA_V2_W, SP_DRVINFO_DATA_V2_W, Reserved);
TOV_SAME_OFFSET(SP_DRVINFO_DATA_V2_W, SP_DRVINFO_DATA_V2_W, Description);
TOV_SAME_OFFSET(SP_DRVINFO_DATA_V2_W, SP_DRVINFO_DATA_V2_W, MfgName);
TOV_SAME_OFFSET(SP_DRVINFO_DATA_V2_W, SP_DRVINFO_DATA_V2_W, ProviderName);
TOV_SAME_OFFSET(SP_DRVINFO_DATA_V2_W, SP_DRVINFO_DATA_V2_W, DriverDate);
TOV_SAME_OFFSET(SP_DRVINFO_DATA_V2_W, SP_DRVINFO_DATA_V2_W, DriverVersion);
TOV_SAME_LAYOUT(SP_CLASSINSTALL_HEADER, SP_CLASSINSTALL_HEADER);
TOV_SAME_OFFSET(SP_CLASSINSTALL_HEADER, SP_CLASSINSTALL_HEADER, InstallFunction);
TOV_SAME_LAYOUT(SP_REMOVEDEVICE_PARAMS, SP_REMOVEDEVICE_PARAMS);
TOV_SAME_OFFSET(SP_REMOVEDEVICE_PARAMS, SP_REMOVEDEVICE_PARAMS, Scope);
TOV_SAME_OFFSET(SP_REMOVEDEVICE_PARAMS, SP_REMOVEDEVICE_PARAMS, HwProfile);
TOV_SAME_LAYOUT(SP_DEVINSTALL_PARAMS_W, SP_DEVINSTALL_PARAMS_W);
TOV_SAME_OFFSET(SP_DEVINSTALL_PARAMS_W, SP_DEVINSTALL_PARAMS_W, Flags);
TOV_SAME_OFFSET(SP_DEVINSTALL_PARAMS_W, SP_DEVINSTALL_PARAMS_W, hwndParent);
TOV_SAME_OFFSET(SP_DEVINSTALL_PARAMS_W, SP_DEVINSTALL_PARAMS_W, FileQueue);
TOV_SAME_OFFSET(SP_DEVINSTALL_PARAMS_W, SP_DEVINSTALL_PARAMS_W, Reserved);
TOV_SAME_OFFSET(SP_DEVINSTALL_PARAMS_W, SP_DEVINSTALL_PARAMS_W, DriverPath);

using native::As;
using native::W;

namespace win {

LSTATUS RegCloseKey(HKEY key) { return ::RegCloseKey(As<::HKEY>(key)); }

HDEVINFO SetupDiGetClassDevsW(const GUID* classGuid, LPCWSTR enumerator, HWND parent, DWORD flags) {
  return ::SetupDiGetClassDevsW(As<const ::GUID*>(classGuid), W(enumerator), As<::HWND>(parent), flags);
}
BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
  return ::SetupDiEnumDeviceInfo(set, index, As<::PSP_DEVINFO_DATA>(data));
}
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) { return ::SetupDiDestroyDeviceInfoList(set); }
BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property, DWORD* type, BYTE* buffer,
                                       DWORD size, DWORD* required) {
  return ::SetupDiGetDeviceRegistryPropertyW(set, As<::PSP_DEVINFO_DATA>(data), property, As<::PDWORD>(type), buffer,
                                             size, As<::PDWORD>(required));
}
HKEY SetupDiOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD scope, DWORD profile, DWORD keyType,
                          REGSAM access) {
  return As<HKEY>(::SetupDiOpenDevRegKey(set, As<::PSP_DEVINFO_DATA>(data), scope, profile, keyType, access));
}
BOOL SetupDiBuildDriverInfoList(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD driverType) {
  return ::SetupDiBuildDriverInfoList(set, As<::PSP_DEVINFO_DATA>(data), driverType);
}
BOOL SetupDiEnumDriverInfoW(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD driverType, DWORD index,
                            SP_DRVINFO_DATA_W* driver) {
  return ::SetupDiEnumDriverInfoW(set, As<::PSP_DEVINFO_DATA>(data), driverType, index,
                                  As<::PSP_DRVINFO_DATA_W>(driver));
}
BOOL SetupDiSetSelectedDevice(HDEVINFO set, SP_DEVINFO_DATA* data) {
  return ::SetupDiSetSelectedDevice(set, As<::PSP_DEVINFO_DATA>(data));
}
BOOL SetupDiSetSelectedDriverW(HDEVINFO set, SP_DEVINFO_DATA* data, SP_DRVINFO_DATA_W* driver) {
  return ::SetupDiSetSelectedDriverW(set, As<::PSP_DEVINFO_DATA>(data), As<::PSP_DRVINFO_DATA_W>(driver));
}
BOOL SetupDiSetClassInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* data, SP_CLASSINSTALL_HEADER* params, DWORD size) {
  return ::SetupDiSetClassInstallParamsW(set, As<::PSP_DEVINFO_DATA>(data), As<::PSP_CLASSINSTALL_HEADER>(params),
                                         size);
}
BOOL SetupDiCallClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA* data) {
  return ::SetupDiCallClassInstaller(function, set, As<::PSP_DEVINFO_DATA>(data));
}
BOOL SetupDiGetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* data, SP_DEVINSTALL_PARAMS_W* params) {
  return ::SetupDiGetDeviceInstallParamsW(set, As<::PSP_DEVINFO_DATA>(data), As<::PSP_DEVINSTALL_PARAMS_W>(params));
}
int SetupPromptReboot(HSPFILEQ queue, HWND owner, BOOL scanOnly) {
  return ::SetupPromptReboot(queue, As<::HWND>(owner), scanOnly);
}
BOOL SetupSetNonInteractiveMode(BOOL nonInteractive) { return ::SetupSetNonInteractiveMode(nonInteractive); }

}  // namespace win
