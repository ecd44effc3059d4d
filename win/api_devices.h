// Windows calls of the devices area; see win/api.h.
#pragma once

namespace win {

// A globally unique identifier (device setup classes, device interfaces).
struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};

// Registry keys, as the Setup API hands them out.
struct HKEY__;
using HKEY = HKEY__*;
using REGSAM = DWORD;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;
LSTATUS RegCloseKey(HKEY hKey);

// Errors of the Setup API and of the device calls (ERROR_INVALID_USER_BUFFER
// and ERROR_NO_SUCH_DEVINST are in win/api_store.h).
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_INVALID_FLAGS = 1004;
constexpr DWORD ERROR_NO_DRIVER_SELECTED = 0xE0000203;
constexpr DWORD ERROR_KEY_DOES_NOT_EXIST = 0xE0000204;
constexpr DWORD ERROR_INVALID_REG_PROPERTY = 0xE0000209;
constexpr DWORD ERROR_NO_DEVICE_SELECTED = 0xE0000211;

// Device information sets.
using HDEVINFO = PVOID;
using HSPFILEQ = PVOID;
using DI_FUNCTION = UINT;

constexpr DWORD DIGCF_PRESENT = 0x2;
constexpr DWORD DIGCF_ALLCLASSES = 0x4;
constexpr DWORD DIGCF_DEVICEINTERFACE = 0x10;

constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD SPDRP_HARDWAREID = 0x1;
constexpr DWORD SPDRP_UPPERFILTERS = 0x11;

constexpr DWORD DICS_FLAG_GLOBAL = 0x1;
constexpr DWORD DICS_FLAG_CONFIGSPECIFIC = 0x2;
constexpr DWORD DIREG_DEV = 0x1;
constexpr DWORD DIREG_DRV = 0x2;

constexpr DWORD SPDIT_CLASSDRIVER = 1;
constexpr DWORD SPDIT_COMPATDRIVER = 2;
constexpr DWORD LINE_LEN = 256;

constexpr DI_FUNCTION DIF_REMOVE = 0x5;
constexpr DWORD DI_REMOVEDEVICE_GLOBAL = 0x1;
constexpr DWORD DI_REMOVEDEVICE_CONFIGSPECIFIC = 0x2;
constexpr DWORD DI_NEEDRESTART = 0x80;
constexpr DWORD DI_NEEDREBOOT = 0x100;
constexpr DWORD DI_CLASSINSTALLPARAMS = 0x100000;

// SetupPromptReboot's results besides -1 (failure).
constexpr int SPFILEQ_REBOOT_RECOMMENDED = 0x2;

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
BOOL SetupDiSetClassInstallParamsW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                   SP_CLASSINSTALL_HEADER* ClassInstallParams, DWORD ClassInstallParamsSize);
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
using CONFIGRET = DWORD;
using DEVINST = DWORD;
using DEVINSTID_W = WCHAR*;
constexpr CONFIGRET CR_SUCCESS = 0;
constexpr CONFIGRET CR_FAILURE = 0x13;
constexpr ULONG CM_LOCATE_DEVNODE_NORMAL = 0;
constexpr ULONG CM_REENUMERATE_NORMAL = 0;
CONFIGRET CM_Locate_DevNodeW(DEVINST* pdnDevInst, DEVINSTID_W pDeviceID, ULONG ulFlags);
CONFIGRET CM_Reenumerate_DevNode(DEVINST dnDevInst, ULONG ulFlags);

}  // namespace win
