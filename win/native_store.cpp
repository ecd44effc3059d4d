// Forwarding of the store calls to Windows; see win/native.cpp for the rules.
// The DIFxAPI calls are resolved at run time and need no forwarding here;
// mingw-w64 has no difxapi.h, so their layouts are checked against the
// published definitions by hand.
#include "win/api.h"

// clang-format off
#include <windows.h>
// clang-format on
#include <setupapi.h>

#include "win/native.h"

TOV_SAME_STRUCT(SP_INF_INFORMATION, SP_INF_INFORMATION, InfStyle, InfCount, VersionData);
TOV_SAME_STRUCT(SP_ALTPLATFORM_INFO, SP_ALTPLATFORM_INFO_V2, cbSize, Platform, MajorVersion, MinorVersion,
                ProcessorArchitecture, Flags, FirstValidatedMajorVersion, FirstValidatedMinorVersion);
TOV_SAME_STRUCT(SP_ORIGINAL_FILE_INFO_W, SP_ORIGINAL_FILE_INFO_W, cbSize, OriginalInfName, OriginalCatalogName);

// difxapi.h: an int-sized enum, a structure of four string pointers.
static_assert(sizeof(win::DIFXAPI_LOG) == sizeof(int));
static_assert(sizeof(win::INSTALLERINFO_W) == 4 * sizeof(PWSTR));
static_assert(alignof(win::INSTALLERINFO_W) == alignof(PWSTR));
static_assert(offsetof(win::INSTALLERINFO_W, pApplicationId) == 0 &&
              offsetof(win::INSTALLERINFO_W, pDisplayName) == sizeof(PWSTR) &&
              offsetof(win::INSTALLERINFO_W, pProductName) == 2 * sizeof(PWSTR) &&
              offsetof(win::INSTALLERINFO_W, pMfgName) == 3 * sizeof(PWSTR));

using native::Seam;
using native::Win;

namespace win {

BOOL SetupGetInfInformationW(LPCVOID infSpec, DWORD search, SP_INF_INFORMATION* buffer, DWORD size, DWORD* required) {
  return ::SetupGetInfInformationW(infSpec, search, Win(buffer), size, Win(required));
}

BOOL SetupQueryInfOriginalFileInformationW(SP_INF_INFORMATION* info, UINT index, SP_ALTPLATFORM_INFO* platform,
                                           SP_ORIGINAL_FILE_INFO_W* original) {
  return ::SetupQueryInfOriginalFileInformationW(Win(info), index, Win(platform), Win(original));
}

BOOL SetupCopyOEMInfW(LPCWSTR source, LPCWSTR location, DWORD mediaType, DWORD copyStyle, LPWSTR destination,
                      DWORD destinationSize, DWORD* required, LPWSTR* component) {
  return ::SetupCopyOEMInfW(Win(source), Win(location), mediaType, copyStyle, Win(destination), destinationSize,
                            Win(required), Win(component));
}

BOOL SetupUninstallOEMInfW(LPCWSTR name, DWORD flags, PVOID reserved) {
  return ::SetupUninstallOEMInfW(Win(name), flags, reserved);
}

}  // namespace win
