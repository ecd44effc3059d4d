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

BOOL SetupGetInfInformationW(LPCVOID InfSpec, DWORD SearchControl, SP_INF_INFORMATION* ReturnBuffer,
                             DWORD ReturnBufferSize, DWORD* RequiredSize);
BOOL SetupQueryInfOriginalFileInformationW(SP_INF_INFORMATION* InfInformation, UINT InfIndex,
                                           SP_ALTPLATFORM_INFO* AlternatePlatformInfo,
                                           SP_ORIGINAL_FILE_INFO_W* OriginalFileInfo);

// --- Setup API: the driver store -----------------------------------------------

// Copies an INF file into the Windows INF directory as an OEM INF file; on
// Windows Vista and later this also adds its package to the driver store.
BOOL SetupCopyOEMInfW(LPCWSTR SourceInfFileName, LPCWSTR OEMSourceMediaLocation, DWORD OEMSourceMediaType,
                      DWORD CopyStyle, LPWSTR DestinationInfFileName, DWORD DestinationInfFileNameSize,
                      DWORD* RequiredSize, LPWSTR* DestinationInfFileNameComponent);
// Removes an OEM INF file (a name without a path), its PNF and catalog, and
// its package from the driver store.
BOOL SetupUninstallOEMInfW(LPCWSTR InfFileName, DWORD Flags, PVOID Reserved);

// --- Driver Install Frameworks API (difxapi.h) --------------------------------

// The event type of a log message, DIFXAPI_LOG (win/api.h), is an int-sized C
// enum; a framework may pass values outside the four named ones.

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
