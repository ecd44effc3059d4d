// The driver package store, through the Driver Install Frameworks API when
// difxapi.dll is at hand, else through the Setup API's own driver store calls.
#pragma once

#include <cstdint>
#include <string>

#include "win/handle.h"

// Deletes the old filter driver file and installs the package of `infPath`
// into the driver store: 0 on success, -1 when the package install failed.
std::int32_t TMSCAMainInternalDriverPackageInstall(const win::WCHAR* infPath);

// Removes the store packages of the INF file that `token` names ("tovfiltr"
// or "tovfiltr.inf", A-Z compared without case), then their OEM INF files.
// Always 0. A token that is no bare INF file name is refused: it could match
// other vendors' packages.
std::int32_t TMSCAMainInternalDriverPackageUninstall(std::u16string token);

namespace DifxApi {

// difxapi.dll with the five calls the setup tool makes. The library ships
// beside the tool, so it is searched for only in the tool's own directory and
// in the system directory, never in the current directory or the PATH. When
// it or one of its calls is missing, the object is not available and its
// construction traces that the Setup API's driver store calls stand in for
// it. The library is freed when the object goes.
class Framework {
 public:
  Framework();
  Framework(const Framework&) = delete;
  Framework& operator=(const Framework&) = delete;

  bool Available() const { return module_.Valid(); }

  win::PFN_DriverPackageInstallW DriverPackageInstallW = nullptr;
  win::PFN_DriverPackageUninstallW DriverPackageUninstallW = nullptr;
  win::PFN_DriverPackageGetPathW DriverPackageGetPathW = nullptr;
  win::PFN_DIFXAPISetLogCallbackW DIFXAPISetLogCallbackW = nullptr;
  win::PFN_SetDifxLogCallbackW SetDifxLogCallbackW = nullptr;

 private:
  void TraceStandIn() const;

  win::UniqueModule module_;
  win::DWORD loadError_ = 0;  // why it is not available: the failed load's or lookup's error
};

// Installs the package of `infPath` with the framework's log in the trace.
// 0 when the framework returned 0 or ERROR_NO_SUCH_DEVINST (no device to
// install on), else the framework's code.
std::uint32_t DriverPackageInstall(const Framework& difx, std::u16string infPath);

// Removes the package of the store INF path `infPath`. Always 0; a failure
// is traced.
std::uint32_t DriverPackageUninstall(const Framework& difx, std::u16string infPath);

// Removes every store package that an OEM INF file leads to and whose store
// INF file is named `infName` (A-Z compared without case).
void UninstallPackagesByOemInf(const Framework& difx, std::u16string infName);

// Copies one log message of the framework into the trace.
void TOV_CDECL LogCallback(win::DIFXAPI_LOG event, win::DWORD error, win::LPCWSTR description, win::PVOID context);

}  // namespace DifxApi
