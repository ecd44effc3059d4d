// The simulated machine's driver store; see sim/machine.h.
//
// The Setup API's INF information (with the original INF name Windows
// recorded for each OEM INF file) and driver store calls; and the Driver
// Install Frameworks API of difxapi.dll, no part of Windows, which a test puts
// beside the program (AddDifxApi): its calls are the library's exports.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "win/api.h"

namespace sim {

// One message that the framework passes to the registered log callback.
struct DifxLogMessage {
  int event = win::DIFXAPI_INFO;  // any value: a framework may send an unknown type
  win::DWORD error = 0;
  std::u16string text;
};

// A driver package in the driver store.
struct StorePackage {
  std::u16string storeInfPath;   // the INF path in the store, as DriverPackageGetPathW gives it
  std::u16string oemInfPath;     // the OEM INF file in the Windows INF directory that leads to it
  bool deviceInstalled = false;  // a device was installed from it: only a forced removal takes it
};

// One call of the framework, as the framework saw it.
struct DifxCall {
  std::string name;  // published name
  win::DWORD flags = 0;
  bool installerInfo = false;  // a non-null INSTALLERINFO_W was passed
  bool callbackRegistered = false;
};

struct Store {
  // --- Arranged by tests -----------------------------------------------------
  // Original INF names of OEM INF files, by full path (compared without case);
  // an INF without one reports its own name, as for an INF never copied in.
  std::map<std::u16string, std::u16string> originalInfNames;
  // INF files that SetupGetInfInformationW cannot open, by full path, with
  // the error it reports (a syntax error, for instance).
  std::map<std::u16string, win::DWORD> infOpenErrors;
  std::vector<StorePackage> packages;  // what the store holds
  // Results instead of the modelled ones: of DriverPackageGetPathW by OEM INF
  // path, of DriverPackageUninstallW by store path.
  std::map<std::u16string, win::DWORD> getPathResults, uninstallResults;
  // Messages to the log callback during every install, uninstall and path query.
  std::vector<DifxLogMessage> installMessages, uninstallMessages, getPathMessages;

  // --- Seen by tests ---------------------------------------------------------
  std::vector<DifxCall> difxCalls;  // every call of the framework, in order
  bool CallbackRegistered() const { return internal.callback.cdeclLog || internal.callback.winapiLog; }

  // --- The calls' bookkeeping -------------------------------------------------
  struct Internal {
    // The registered log callback (only one of the two kinds at a time).
    struct {
      win::DIFXAPILOGCALLBACK_W cdeclLog = nullptr;
      win::DIFXLOGCALLBACK_W winapiLog = nullptr;
      win::PVOID context = nullptr;
    } callback;
    // The INF whose information SetupGetInfInformationW gave in each buffer.
    std::map<const void*, std::u16string> infInformation;
  };
  Internal internal;
};

// Puts difxapi.dll into `directory` (default: the program's own directory),
// exporting every call except those named in `omit`.
void AddDifxApi(std::u16string directory = {}, const std::vector<std::string>& omit = {});

// Creates `name` (e.g. u"oem3.inf") in the Windows INF directory, recording
// `originalName` as the INF name it had before Windows copied it there, and
// its PNF twin when `withPnf`. Returns the OEM INF's full path.
std::u16string PutOemInf(std::u16string_view name, std::u16string_view originalName, bool withPnf = true);

// A package in the store under `storeInfPath`, led to by the OEM INF file `oemInfPath`.
void AddStorePackage(std::u16string storeInfPath, std::u16string oemInfPath);

// The full path of a file of the Windows INF directory / of the driver file.
std::u16string InfDirectoryPath(std::u16string_view name);
std::u16string DriverFilePath();

}  // namespace sim
