// Forwarding of the store calls to Windows; see win/native.cpp for the rules.
// The DIFxAPI calls are resolved at run time and need no forwarding here;
// mingw-w64 has no difxapi.h, so their layouts are checked against the
// published definitions by hand.
#include "win/api.h"

// The seam's constants, taken before <windows.h> turns their names into macros.
namespace seam {
constexpr win::DWORD kInfNameIsAbsolute = win::INFINFO_INF_NAME_IS_ABSOLUTE;
constexpr win::DWORD kInfStyleWin4 = win::INF_STYLE_WIN4;
constexpr win::DWORD kNoSuchDevinst = win::ERROR_NO_SUCH_DEVINST;
constexpr win::DWORD kInvalidUserBuffer = win::ERROR_INVALID_USER_BUFFER;
constexpr win::DWORD kPostPath = win::SPOST_PATH;
constexpr win::DWORD kForceDelete = win::SUOI_FORCEDELETE;
constexpr win::DWORD kNotAnInstalledOemInf = win::ERROR_NOT_AN_INSTALLED_OEM_INF;
constexpr win::DWORD kInfInUseByDevices = win::ERROR_INF_IN_USE_BY_DEVICES;
}  // namespace seam

// clang-format off
#include <windows.h>
// clang-format on
#include <setupapi.h>

#include "win/native.h"

TOV_SAME_LAYOUT(SP_INF_INFORMATION, SP_INF_INFORMATION);
TOV_SAME_OFFSET(SP_INF_INFORMATION, SP_INF_INFORMATION, InfCount);
TOV_SAME_OFFSET(SP_INF_INFORMATION, SP_INF_INFORMATION, VersionData);
TOV_SAME_LAYOUT(SP_ALTPLATFORM_INFO, SP_ALTPLATFORM_INFO_V2);
TOV_SAME_OFFSET(SP_ALTPLATFORM_INFO, SP_ALTPLATFORM_INFO_V2, ProcessorArchitecture);
TOV_SAME_OFFSET(SP_ALTPLATFORM_INFO, SP_ALTPLATFORM_INFO_V2, Flags);
TOV_SAME_OFFSET(SP_ALTPLATFORM_INFO, SP_ALTPLATFORM_INFO_V2, FirstValidatedMajorVersion);
TOV_SAME_OFFSET(SP_ALTPLATFORM_INFO, SP_ALTPLATFORM_INFO_V2, FirstValidatedMinorVersion);
TOV_SAME_LAYOUT(SP_ORIGINAL_FILE_INFO_W, SP_ORIGINAL_FILE_INFO_W);
TOV_SAME_OFFSET(SP_ORIGINAL_FILE_INFO_W, SP_ORIGINAL_FILE_INFO_W, OriginalInfName);
TOV_SAME_OFFSET(SP_ORIGINAL_FILE_INFO_W, SP_ORIGINAL_FILE_INFO_W, OriginalCatalogName);
static_assert(seam::kInfNameIsAbsolute == INFINFO_INF_NAME_IS_ABSOLUTE);
static_assert(seam::kInfStyleWin4 == INF_STYLE_WIN4);
static_assert(seam::kNoSuchDevinst == ERROR_NO_SUCH_DEVINST);
static_assert(seam::kInvalidUserBuffer == ERROR_INVALID_USER_BUFFER);
static_assert(seam::kPostPath == SPOST_PATH);
static_assert(seam::kForceDelete == SUOI_FORCEDELETE);
static_assert(seam::kNotAnInstalledOemInf == ERROR_NOT_AN_INSTALLED_OEM_INF);
static_assert(seam::kInfInUseByDevices == ERROR_INF_IN_USE_BY_DEVICES);

// difxapi.h: an int-sized enum, a structure of four string pointers.
static_assert(sizeof(win::DIFXAPI_LOG) == sizeof(int));
static_assert(sizeof(win::INSTALLERINFO_W) == 4 * sizeof(PWSTR));
static_assert(alignof(win::INSTALLERINFO_W) == alignof(PWSTR));
static_assert(offsetof(win::INSTALLERINFO_W, pMfgName) == 3 * sizeof(PWSTR));

using native::As;
using native::W;

namespace win {

BOOL SetupGetInfInformationW(LPCVOID infSpec, DWORD search, SP_INF_INFORMATION* buffer, DWORD size, DWORD* required) {
  return ::SetupGetInfInformationW(infSpec, search, reinterpret_cast<::PSP_INF_INFORMATION>(buffer), size,
                                   reinterpret_cast<::PDWORD>(required));
}

BOOL SetupQueryInfOriginalFileInformationW(SP_INF_INFORMATION* info, UINT index, SP_ALTPLATFORM_INFO* platform,
                                           SP_ORIGINAL_FILE_INFO_W* original) {
  return ::SetupQueryInfOriginalFileInformationW(reinterpret_cast<::PSP_INF_INFORMATION>(info), index,
                                                 reinterpret_cast<::PSP_ALTPLATFORM_INFO>(platform),
                                                 reinterpret_cast<::PSP_ORIGINAL_FILE_INFO_W>(original));
}

BOOL SetupCopyOEMInfW(LPCWSTR source, LPCWSTR location, DWORD mediaType, DWORD copyStyle, LPWSTR destination,
                      DWORD destinationSize, DWORD* required, LPWSTR* component) {
  return ::SetupCopyOEMInfW(W(source), W(location), mediaType, copyStyle, W(destination), destinationSize,
                            As<::PDWORD>(required), As<::PWSTR*>(component));
}

BOOL SetupUninstallOEMInfW(LPCWSTR name, DWORD flags, PVOID reserved) {
  return ::SetupUninstallOEMInfW(W(name), flags, reserved);
}

}  // namespace win
