#include "setup/difxapi.h"

#include <vector>

#include "common/wstr.h"
#include "setup/setupapi.h"
#include "setup/trace.h"
#include "setup/utilities.h"

namespace DifxApi {

namespace {

// A resolved export as the function type it has.
template <class Function>
Function As(win::FARPROC proc) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

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
  win::HMODULE module = win::LoadLibraryExW(
      u"difxapi.dll", nullptr, win::LOAD_LIBRARY_SEARCH_APPLICATION_DIR | win::LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr) {
    loadError_ = win::GetLastError();
    if (loadError_ == 0) loadError_ = win::ERROR_MOD_NOT_FOUND;
    TracePrint(TRACE_ERROR, u"DifxApi::Framework LoadLibraryEx difxapi.dll failed %d\n", loadError_);
    return;
  }
  struct Export {
    const char* name;
    win::FARPROC proc;
  };
  Export exports[] = {{"DriverPackageInstallW", nullptr},
                      {"DriverPackageUninstallW", nullptr},
                      {"DriverPackageGetPathW", nullptr},
                      {"DIFXAPISetLogCallbackW", nullptr},
                      {"SetDifxLogCallbackW", nullptr}};
  bool missing = false;
  for (Export& e : exports) {
    e.proc = win::GetProcAddress(module, e.name);
    if (e.proc == nullptr) {
      win::DWORD error = win::GetLastError();
      TracePrint(TRACE_ERROR, u"DifxApi::Framework GetProcAddress %S failed %d\n", e.name, error);
      if (!missing) loadError_ = error != 0 ? error : win::DWORD{win::ERROR_PROC_NOT_FOUND};
      missing = true;
    }
  }
  if (missing) {
    win::FreeLibrary(module);
    return;
  }
  module_ = module;
  DriverPackageInstallW = As<win::PFN_DriverPackageInstallW>(exports[0].proc);
  DriverPackageUninstallW = As<win::PFN_DriverPackageUninstallW>(exports[1].proc);
  DriverPackageGetPathW = As<win::PFN_DriverPackageGetPathW>(exports[2].proc);
  DIFXAPISetLogCallbackW = As<win::PFN_DIFXAPISetLogCallbackW>(exports[3].proc);
  SetDifxLogCallbackW = As<win::PFN_SetDifxLogCallbackW>(exports[4].proc);
}

Framework::~Framework() {
  if (module_ != nullptr) win::FreeLibrary(module_);
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
  // Where nobody can answer, the framework fails rather than asks.
  win::DWORD silent = Utilities::InteractiveRun ? 0 : win::DRIVER_PACKAGE_SILENT;
  win::DWORD r = difx.DriverPackageInstallW(
      infPath.c_str(), win::DRIVER_PACKAGE_LEGACY_MODE | win::DRIVER_PACKAGE_FORCE | silent, nullptr, &needReboot);
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
      infPath.c_str(), win::DRIVER_PACKAGE_DELETE_FILES | win::DRIVER_PACKAGE_FORCE, nullptr, &needReboot);
  if (r != win::ERROR_SUCCESS) {
    TracePrint(TRACE_DIFXAPI, u"DifxApi::DriverPackageUninstall DriverPackageUninstall returned 0x%x.\n", r);
  }
  difx.SetDifxLogCallbackW(nullptr, nullptr);
  return 0;
}

void UninstallPackagesByOemInf(const Framework& difx, std::u16string token) {
  TracePrint(TRACE_DIFXAPI | TRACE_FUNCTION, u"DifxApi::UninstallPackagesByOemInf\n");
  std::vector<std::u16string> list;
  Utilities::GetOemInfFilePathNamesList(list);  // its failures are traced there; the entries found count
  wstr::AsciiLowerInPlace(token);
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
    if (path.find(token) != std::u16string::npos) {
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
  win::UINT length = win::GetWindowsDirectoryW(path, win::MAX_PATH);
  if (length == 0 || length >= win::MAX_PATH) {
    win::DWORD error = length == 0 ? win::GetLastError() : win::DWORD{win::ERROR_INSUFFICIENT_BUFFER};
    TracePrint(TRACE_ERROR, u"Utilities::UninstallPackagesByOemInf GetWindowsDirectory failed %d\n", error);
    return;
  }
  if (!win::PathAppendW(path, u"SYSTEM32")) {
    TracePrint(TRACE_ERROR, u"Utilities::UninstallPackagesByOemInf PathAppend I failed %d\n", win::GetLastError());
    return;
  }
  if (!win::PathAppendW(path, u"DRIVERS")) {
    TracePrint(TRACE_ERROR, u"Utilities::UninstallPackagesByOemInf PathAppend II failed %d\n", win::GetLastError());
    return;
  }
  if (!win::PathAppendW(path, u"tovfiltr.sys")) {
    TracePrint(TRACE_ERROR, u"Utilities::UninstallPackagesByOemInf PathAppend III failed %d\n", win::GetLastError());
    return;
  }
  if (!win::DeleteFileW(path)) {
    TracePrint(TRACE_ERROR, u"Utilities::UninstallPackagesByOemInf remove failed %d\n", win::GetLastError());
  }
}

}  // namespace

std::int32_t TMSCAMainInternalDriverPackageInstall(const win::WCHAR* infPath) {
  TracePrint(TRACE_FUNCTION, u">>> TMSCAMainInternalDriverPackageInstall\n");
  // Without the framework nothing can be installed: the old driver file then
  // stays where it is.
  DifxApi::Framework difx;
  std::uint32_t code = difx.LoadError();
  if (difx.Available()) {
    DeleteOldDriverFile();
    code = DifxApi::DriverPackageInstall(difx, infPath != nullptr ? infPath : u"");
  }
  if (code != 0) {
    TracePrint(TRACE_ERROR, u"TMSCAMainInternalDriverPackageInstall DifxApi::DriverPackageInstall - Failed %d\n", code);
    return -1;
  }
  TracePrint(TRACE_FUNCTION, u"<<< TMSCAMainInternalDriverPackageInstall\n");
  return 0;
}

std::int32_t TMSCAMainInternalDriverPackageUninstall(std::u16string token) {
  TracePrint(TRACE_FUNCTION, u">>> TMSCAMainInternalDriverPackageUninstall\n");
  // An empty token is contained in every store path and begins every INF
  // name: it would remove every package and every OEM INF file.
  if (token.empty()) {
    TracePrint(TRACE_ERROR, u"TMSCAMainInternalDriverPackageUninstall no package name, nothing removed\n");
    TracePrint(TRACE_FUNCTION, u"<<< TMSCAMainInternalDriverPackageUninstall\n");
    return 0;
  }
  {
    // Packages are found through the OEM INF files, so they go first; the
    // library is freed before the files are deleted.
    DifxApi::Framework difx;
    if (difx.Available()) {
      DifxApi::UninstallPackagesByOemInf(difx, token);
    } else {
      TracePrint(TRACE_ERROR, u"TMSCAMainInternalDriverPackageUninstall no store package removed\n");
    }
  }
  SetupApi::OemInfFilesDelete(token);
  TracePrint(TRACE_FUNCTION, u"<<< TMSCAMainInternalDriverPackageUninstall\n");
  return 0;
}
