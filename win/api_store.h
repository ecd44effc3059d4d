// Windows calls of the store area: INF information and the driver store of
// the Setup API, and the Driver Install Frameworks API (difxapi.dll); see
// win/api.h.
//
// difxapi.dll is no part of Windows: it ships beside the setup tool and its
// calls are resolved at run time (LoadLibraryExW, GetProcAddress), so only
// their types are declared here.
#pragma once

// The C calling convention, which DIFXAPILOGCALLBACK_W uses on 32-bit Windows.
#if defined(_WIN32) && !defined(_WIN64)
#define TOV_CDECL __cdecl
#else
#define TOV_CDECL
#endif

namespace win {

constexpr DWORD ERROR_INVALID_USER_BUFFER = 1784;

// --- Setup API: INF information ---------------------------------------------

// setupapi.h packs its structures to 8 bytes on 64-bit and to 1 byte on 32-bit.
#if defined(_WIN32) && !defined(_WIN64)
#pragma pack(push, 1)
#else
#pragma pack(push, 8)
#endif

struct SP_INF_INFORMATION {
  DWORD InfStyle;
  DWORD InfCount;
  BYTE VersionData[1];  // opaque data of variable length
};

struct SP_ALTPLATFORM_INFO {  // SP_ALTPLATFORM_INFO_V2
  DWORD cbSize;
  DWORD Platform;
  DWORD MajorVersion;
  DWORD MinorVersion;
  WORD ProcessorArchitecture;
  WORD Flags;  // "Reserved" in the V1 layout
  DWORD FirstValidatedMajorVersion;
  DWORD FirstValidatedMinorVersion;
};

struct SP_ORIGINAL_FILE_INFO_W {
  DWORD cbSize;
  WCHAR OriginalInfName[MAX_PATH];
  WCHAR OriginalCatalogName[MAX_PATH];
};

#pragma pack(pop)

constexpr DWORD INFINFO_INF_NAME_IS_ABSOLUTE = 2;
constexpr DWORD INF_STYLE_WIN4 = 0x2;

BOOL SetupGetInfInformationW(LPCVOID InfSpec, DWORD SearchControl, SP_INF_INFORMATION* ReturnBuffer,
                             DWORD ReturnBufferSize, DWORD* RequiredSize);
BOOL SetupQueryInfOriginalFileInformationW(SP_INF_INFORMATION* InfInformation, UINT InfIndex,
                                           SP_ALTPLATFORM_INFO* AlternatePlatformInfo,
                                           SP_ORIGINAL_FILE_INFO_W* OriginalFileInfo);

// --- Setup API: the driver store -----------------------------------------------

// OEMSourceMediaType of SetupCopyOEMInfW: the source is a path (null: the
// INF file's own directory).
constexpr DWORD SPOST_PATH = 1;
// SetupUninstallOEMInfW removes the INF even when devices were installed from it.
constexpr DWORD SUOI_FORCEDELETE = 0x00000001;

constexpr DWORD ERROR_NOT_AN_INSTALLED_OEM_INF = 0xE000023C;
constexpr DWORD ERROR_INF_IN_USE_BY_DEVICES = 0xE000023D;

// Copies an INF file into the Windows INF directory as an OEM INF file; on
// Windows Vista and later this also adds its package to the driver store.
BOOL SetupCopyOEMInfW(LPCWSTR SourceInfFileName, LPCWSTR OEMSourceMediaLocation, DWORD OEMSourceMediaType,
                      DWORD CopyStyle, LPWSTR DestinationInfFileName, DWORD DestinationInfFileNameSize,
                      DWORD* RequiredSize, LPWSTR* DestinationInfFileNameComponent);
// Removes an OEM INF file (a name without a path), its PNF and catalog, and
// its package from the driver store.
BOOL SetupUninstallOEMInfW(LPCWSTR InfFileName, DWORD Flags, PVOID Reserved);

// --- Driver Install Frameworks API (difxapi.h) --------------------------------

// Result codes of the framework beside the Win32 ones.
constexpr DWORD ERROR_NO_SUCH_DEVINST = 0xE000020B;
constexpr DWORD ERROR_DRIVER_PACKAGE_NOT_IN_STORE = 0xE0000302;
constexpr DWORD CRYPT_E_FILE_ERROR = 0x80092003;
constexpr DWORD ERROR_IN_WOW64 = 0xE0000235;

// Flags of DriverPackageInstallW and DriverPackageUninstallW.
constexpr DWORD DRIVER_PACKAGE_SILENT = 0x00000002;
constexpr DWORD DRIVER_PACKAGE_FORCE = 0x00000004;
constexpr DWORD DRIVER_PACKAGE_LEGACY_MODE = 0x00000010;
constexpr DWORD DRIVER_PACKAGE_DELETE_FILES = 0x00000020;

// The event type of a log message. An int-sized C enum; a framework may pass
// values outside the four named ones.
enum DIFXAPI_LOG : int {
  DIFXAPI_SUCCESS = 0,
  DIFXAPI_INFO = 1,
  DIFXAPI_WARNING = 2,
  DIFXAPI_ERROR = 3,
};

struct INSTALLERINFO_W {
  LPWSTR pApplicationId;
  LPWSTR pDisplayName;
  LPWSTR pProductName;
  LPWSTR pMfgName;
};

// Log callbacks: DIFXAPISetLogCallbackW takes a C-convention one,
// SetDifxLogCallbackW a WINAPI one. Both set the framework's one callback;
// a null callback unregisters it.
using DIFXAPILOGCALLBACK_W = void(TOV_CDECL*)(DIFXAPI_LOG Event, DWORD Error, LPCWSTR EventDescription,
                                              PVOID CallbackContext);
using DIFXLOGCALLBACK_W = void(TOV_WINAPI*)(DIFXAPI_LOG Event, DWORD Error, LPCWSTR EventDescription,
                                            PVOID CallbackContext);

// The exports of difxapi.dll that the setup tool resolves, by published name.
using PFN_DriverPackageInstallW = DWORD(TOV_WINAPI*)(LPCWSTR DriverPackageInfPath, DWORD Flags,
                                                     const INSTALLERINFO_W* pInstallerInfo, BOOL* pNeedReboot);
using PFN_DriverPackageUninstallW = DWORD(TOV_WINAPI*)(LPCWSTR DriverPackageInfPath, DWORD Flags,
                                                       const INSTALLERINFO_W* pInstallerInfo, BOOL* pNeedReboot);
using PFN_DriverPackageGetPathW = DWORD(TOV_WINAPI*)(LPCWSTR DriverPackageInfPath, LPWSTR pDestInfPath,
                                                     DWORD* pNumOfChars);
using PFN_DIFXAPISetLogCallbackW = void(TOV_WINAPI*)(DIFXAPILOGCALLBACK_W LogCallback, PVOID CallbackContext);
using PFN_SetDifxLogCallbackW = void(TOV_WINAPI*)(DIFXLOGCALLBACK_W LogCallback, PVOID CallbackContext);

}  // namespace win
