#include "setup/driverstore.h"

#include <vector>

#include "common/wstr.h"
#include "setup/oeminf.h"
#include "setup/trace.h"
#include "setup/utilities.h"
#include "win/exports.h"

namespace DifxApi {

namespace {

// Where nobody can answer, the framework fails rather than asks.
win::DWORD SilentFlag() { return Utilities::InteractiveRun ? 0 : win::DRIVER_PACKAGE_SILENT; }

// The bracketed error text of a warning or error line: empty for no error,
// else the code and the system's message, at most 1023 characters.
std::u16string ErrorText(win::DWORD error) {
  if (error == 0) return {};
  std::u16string text = ErrorCodeText(error);
  if (text.size() > 1023) text.resize(1023);
  return text;
}

}  // namespace

Framework::Framework() {
  win::UniqueModule module(win::LoadLibraryExW(
      u"difxapi.dll", nullptr, win::LOAD_LIBRARY_SEARCH_APPLICATION_DIR | win::LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (!module) {
    loadError_ = win::GetLastError();
    if (loadError_ == 0) loadError_ = win::ERROR_MOD_NOT_FOUND;
    // No library at all is the usual case since Windows no longer ships it,
    // and no error. One that is there but does not load (built for another
    // processor, unreadable) is a fault of the product's files.
    if (loadError_ != win::ERROR_MOD_NOT_FOUND) {
      TracePrint(TRACE_ERROR, u"DifxApi::Framework LoadLibraryEx difxapi.dll failed %d\n", loadError_);
    }
    TraceStandIn();
    return;
  }
  auto missing = [this](const char* name, win::DWORD error) {
    TracePrint(TRACE_ERROR, u"DifxApi::Framework GetProcAddress %S failed %d\n", name, error);
    if (loadError_ == 0) loadError_ = error != 0 ? error : win::DWORD{win::ERROR_PROC_NOT_FOUND};
  };
  if (!win::GetProcAddresses(module.Get(),
                             {{"DriverPackageInstallW", DriverPackageInstallW},
                              {"DriverPackageUninstallW", DriverPackageUninstallW},
                              {"DriverPackageGetPathW", DriverPackageGetPathW},
                              {"DIFXAPISetLogCallbackW", DIFXAPISetLogCallbackW},
                              {"SetDifxLogCallbackW", SetDifxLogCallbackW}},
                             missing)) {
    TraceStandIn();  // the library is freed with `module`
    return;
  }
  module_ = std::move(module);
}

void Framework::TraceStandIn() const {
  TracePrint(TRACE_DIFXAPI,
             u"DifxApi::Framework difxapi.dll not available (%d), driver store interface: SetupCopyOEMInfW and "
             u"SetupUninstallOEMInfW\n",
             loadError_);
}

void TOV_CDECL LogCallback(win::DIFXAPI_LOG event, win::DWORD error, win::LPCWSTR description, win::PVOID) {
  switch (static_cast<int>(event)) {
    case win::DIFXAPI_SUCCESS:
      TracePrint(TRACE_DIFXAPI, u"DIFXAPI_SUCCESS: %s.\n", description);
      break;
    case win::DIFXAPI_INFO:
      TracePrint(TRACE_DIFXAPI, u"DIFXAPI_INFO:    %s.\n", description);
      break;
    case win::DIFXAPI_WARNING:
      TracePrint(TRACE_DIFXAPI, u"DIFXAPI_WARNING: %s. Errorcode:  %d [%s]\n", description, error, ErrorText(error));
      break;
    case win::DIFXAPI_ERROR:
      TracePrint(TRACE_DIFXAPI, u"DIFXAPI_ERROR:   %s.  Errorcode: %d [%s]\n", description, error, ErrorText(error));
      break;
    default:
      TracePrint(TRACE_DIFXAPI, u"DIFXAPI unknown callback!\n");
      break;
  }
}

std::uint32_t DriverPackageInstall(const Framework& difx, std::u16string infPath) {
  TracePrint(TRACE_DIFXAPI | TRACE_FUNCTION, u"DifxApi::DriverPackageInstall InfFilePath: %s\n", infPath);
  // The framework's messages reach the trace during this one call only.
  difx.DIFXAPISetLogCallbackW(&LogCallback, nullptr);
  win::BOOL needReboot = win::FALSE;
  win::DWORD r = difx.DriverPackageInstallW(infPath.c_str(),
                                            win::DRIVER_PACKAGE_LEGACY_MODE | win::DRIVER_PACKAGE_FORCE | SilentFlag(),
                                            nullptr, &needReboot);
  std::uint32_t result = 0;
  // No device to install the driver on is no failure: the package is in the store.
  if (r != win::ERROR_SUCCESS && r != win::ERROR_NO_SUCH_DEVINST) {
    TracePrint(TRACE_DIFXAPI, u"DifxApi::DriverPackageInstall DriverPackageInstall returned 0x%x.\n", r);
    result = r;
  }
  difx.SetDifxLogCallbackW(nullptr, nullptr);
  return result;
}

std::uint32_t DriverPackageUninstall(const Framework& difx, std::u16string infPath) {
  TracePrint(TRACE_DIFXAPI | TRACE_FUNCTION, u"DifxApi::DriverPackageUninstall InfFilePath: %s\n", infPath);
  difx.DIFXAPISetLogCallbackW(&LogCallback, nullptr);
  win::BOOL needReboot = win::FALSE;
  win::DWORD r = difx.DriverPackageUninstallW(
      infPath.c_str(), win::DRIVER_PACKAGE_DELETE_FILES | win::DRIVER_PACKAGE_FORCE | SilentFlag(), nullptr,
      &needReboot);
  if (r != win::ERROR_SUCCESS) {
    TracePrint(TRACE_DIFXAPI, u"DifxApi::DriverPackageUninstall DriverPackageUninstall returned 0x%x.\n", r);
  }
  difx.SetDifxLogCallbackW(nullptr, nullptr);
  return 0;
}

void UninstallPackagesByOemInf(const Framework& difx, std::u16string infName) {
  TracePrint(TRACE_DIFXAPI | TRACE_FUNCTION, u"DifxApi::UninstallPackagesByOemInf\n");
  std::vector<std::u16string> list;
  Utilities::GetOemInfFilePathNamesList(list);  // its failures are traced there; the entries found count
  for (const std::u16string& entry : list) {
    // The path alone, with no line end: the outcome follows on the same line.
    TracePrint(TRACE_DIFXAPI, u"%s", entry);
    win::WCHAR storePath[win::MAX_PATH] = {};
    win::DWORD chars = win::MAX_PATH;
    win::DWORD r = difx.DriverPackageGetPathW(entry.c_str(), storePath, &chars);
    if (r != win::ERROR_SUCCESS) {
      TracePrint(TRACE_DIFXAPI, u"DriverPackageGetPath failed! %d\n", r);
      if (r == win::ERROR_DRIVER_PACKAGE_NOT_IN_STORE) {
        TracePrint(TRACE_DIFXAPI, u"ERROR_DRIVER_PACKAGE_NOT_IN_STORE\n");
      } else {
        TraceErrorName(TRACE_DIFXAPI, r);
      }
      continue;
    }
    std::u16string path(storePath, wstr::BoundedLength(storePath, win::MAX_PATH));
    TracePrint(TRACE_DIFXAPI, u"DifxApi::UninstallPackagesByOemInf enumerating %s \n", path);
    wstr::AsciiLowerInPlace(path);
    // The package's own INF file, named exactly: a part of a path ("inf",
    // "\\", "c:") would be found in every store path.
    if (Utilities::FileNameIs(path, infName)) {
      TracePrint(TRACE_DIFXAPI, u"DifxApi::UninstallPackagesByOemInf ---> uninstalling \n");
      DriverPackageUninstall(difx, path);
    }
  }
}

}  // namespace DifxApi

namespace {

// Deletes the filter's old driver file before a package install. Each step
// that fails is traced; the steps after it are skipped, since they would
// work on a path that does not name the driver file.
void DeleteOldDriverFile() {
  win::WCHAR path[win::MAX_PATH] = {};
  // "Utilities::UninstallPackagesByOemInf": the log's name for this step (DeleteOldDriverFile).
  if (!Utilities::WindowsPath(u"Utilities::UninstallPackagesByOemInf", {u"SYSTEM32", u"DRIVERS", u"tovfiltr.sys"},
                              path)) {
    return;
  }
  if (!win::DeleteFileW(path)) {
    TracePrint(TRACE_ERROR, u"Utilities::UninstallPackagesByOemInf remove failed %d\n", win::GetLastError());
  }
}

}  // namespace

std::int32_t TMSCAMainInternalDriverPackageInstall(const win::WCHAR* infPath) {
  TracePrint(TRACE_FUNCTION, u">>> TMSCAMainInternalDriverPackageInstall\n");
  const win::WCHAR* path = infPath != nullptr ? infPath : u"";
  DifxApi::Framework difx;
  DeleteOldDriverFile();
  if (difx.Available()) {
    std::uint32_t code = DifxApi::DriverPackageInstall(difx, path);
    if (code != 0) {
      TracePrint(TRACE_ERROR, u"TMSCAMainInternalDriverPackageInstall DifxApi::DriverPackageInstall - Failed %d\n",
                 code);
      return -1;
    }
  } else {
    // Without the framework the INF is copied into the INF directory, which
    // adds its package to the driver store; the devices get the driver from
    // -DriverUpdate and at their next arrival.
    if (!win::SetupCopyOEMInfW(path, nullptr, win::SPOST_PATH, 0, nullptr, 0, nullptr, nullptr)) {
      TracePrint(TRACE_ERROR, u"TMSCAMainInternalDriverPackageInstall SetupCopyOEMInfW failed %d\n",
                 win::GetLastError());
      return -1;
    }
  }
  TracePrint(TRACE_FUNCTION, u"<<< TMSCAMainInternalDriverPackageInstall\n");
  return 0;
}

std::int32_t TMSCAMainInternalDriverPackageUninstall(std::u16string token) {
  TracePrint(TRACE_FUNCTION, u">>> TMSCAMainInternalDriverPackageUninstall\n");
  // The token names one INF file. Anything else (empty, a path, a wildcard)
  // could match other vendors' packages and is refused.
  std::u16string infName;
  if (!Utilities::InfNameFromToken(token, infName)) {
    TracePrint(TRACE_ERROR,
               u"TMSCAMainInternalDriverPackageUninstall \"%s\" is not an INF file name, nothing removed\n", token);
    TracePrint(TRACE_FUNCTION, u"<<< TMSCAMainInternalDriverPackageUninstall\n");
    return 0;
  }
  {
    // Packages are found through the OEM INF files, so they go first; the
    // library is freed before the files are deleted.
    DifxApi::Framework difx;
    if (difx.Available()) {
      DifxApi::UninstallPackagesByOemInf(difx, infName);
    } else {
      SetupApi::OemInfPackagesUninstall(infName);
    }
  }
  SetupApi::OemInfFilesDelete(infName);
  TracePrint(TRACE_FUNCTION, u"<<< TMSCAMainInternalDriverPackageUninstall\n");
  return 0;
}
