// Windows calls of the devices area; see win/api.h.
#pragma once

namespace win {

// Registry keys, as the Setup API hands them out.
struct HKEY__;
using HKEY = HKEY__*;
LSTATUS RegCloseKey(HKEY hKey);

// Device information sets.
using HDEVINFO = PVOID;
using HSPFILEQ = PVOID;

// The Setup API's structures are 8-byte packed on 64-bit Windows and 1-byte
// packed on 32-bit Windows.
#if defined(_WIN32) && !defined(_WIN64)
#pragma pack(push, 1)
#else
#pragma pack(push, 8)
#endif

struct SP_DEVINFO_DATA {
  DWORD cbSize;
  GUID ClassGuid;
  DWORD DevInst;
  ULONG_PTR Reserved;
};

struct SP_DRVINFO_DATA_V2_W {
  DWORD cbSize;
  DWORD DriverType;
  ULONG_PTR Reserved;
  WCHAR Description[LINE_LEN];
  WCHAR MfgName[LINE_LEN];
  WCHAR ProviderName[LINE_LEN];
  FILETIME DriverDate;
  std::uint64_t DriverVersion;
};
using SP_DRVINFO_DATA_W = SP_DRVINFO_DATA_V2_W;

struct SP_CLASSINSTALL_HEADER {
  DWORD cbSize;
  DI_FUNCTION InstallFunction;
};

struct SP_REMOVEDEVICE_PARAMS {
  SP_CLASSINSTALL_HEADER ClassInstallHeader;
  DWORD Scope;
  DWORD HwProfile;
};

using PSP_FILE_CALLBACK_W = UINT(TOV_WINAPI*)(PVOID Context, UINT Notification, ULONG_PTR Param1, ULONG_PTR Param2);

struct SP_DEVINSTALL_PARAMS_W {
  DWORD cbSize;
  DWORD Flags;
  DWORD FlagsEx;
  HWND hwndParent;
  PSP_FILE_CALLBACK_W InstallMsgHandler;
  PVOID InstallMsgHandlerContext;
  HSPFILEQ FileQueue;
  ULONG_PTR ClassInstallReserved;
  DWORD Reserved;
  WCHAR DriverPath[MAX_PATH];
};

#pragma pack(pop)

HDEVINFO SetupDiGetClassDevsW(const GUID* ClassGuid, LPCWSTR Enumerator, HWND hwndParent, DWORD Flags);
BOOL SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex, SP_DEVINFO_DATA* DeviceInfoData);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet);
BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData, DWORD Property,
                                       DWORD* PropertyRegDataType, BYTE* PropertyBuffer, DWORD PropertyBufferSize,
                                       DWORD* RequiredSize);
HKEY SetupDiOpenDevRegKey(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData, DWORD Scope, DWORD HwProfile,
                          DWORD KeyType, REGSAM samDesired);
BOOL SetupDiBuildDriverInfoList(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData, DWORD DriverType);
BOOL SetupDiEnumDriverInfoW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData, DWORD DriverType,
                            DWORD MemberIndex, SP_DRVINFO_DATA_W* DriverInfoData);
BOOL SetupDiSetSelectedDevice(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData);
BOOL SetupDiSetSelectedDriverW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                               SP_DRVINFO_DATA_W* DriverInfoData);
// Windows takes the parameters through their header; the programs set those
// of a removal only.
BOOL SetupDiSetClassInstallParamsW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                   SP_REMOVEDEVICE_PARAMS* ClassInstallParams, DWORD ClassInstallParamsSize);
BOOL SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData);
BOOL SetupDiGetDeviceInstallParamsW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                    SP_DEVINSTALL_PARAMS_W* DeviceInstallParams);
int SetupPromptReboot(HSPFILEQ FileQueue, HWND Owner, BOOL ScanOnly);
// TRUE: from now on, the Setup API and class installers of this process fail
// where they would ask a user. Returns the previous setting.
BOOL SetupSetNonInteractiveMode(BOOL NonInteractiveFlag);

// newdev.dll's InstallSelectedDriver, which has no import library: it is
// looked up at run time. `bReboot` receives DI_NEEDREBOOT or DI_NEEDRESTART
// when the installation needs a restart to complete.
using InstallSelectedDriverFn = BOOL(TOV_WINAPI*)(HWND hwndParent, HDEVINFO DeviceInfoSet, LPCWSTR Reserved,
                                                  BOOL Backup, DWORD* bReboot);

// Configuration Manager.
using DEVINST = DWORD;
using DEVINSTID_W = WCHAR*;
CONFIGRET CM_Locate_DevNodeW(DEVINST* pdnDevInst, DEVINSTID_W pDeviceID, ULONG ulFlags);
CONFIGRET CM_Reenumerate_DevNode(DEVINST dnDevInst, ULONG ulFlags);

}  // namespace win
