// The simulated machine's driver store; see sim/machine.h.
//
// Two parts of Windows that deal with driver packages:
// - the Setup API's view of INF files: SetupGetInfInformationW and
//   SetupQueryInfOriginalFileInformationW over the files of the file system,
//   with the original INF name Windows recorded for each OEM INF file; and
//   its driver store calls SetupCopyOEMInfW and SetupUninstallOEMInfW;
// - the Driver Install Frameworks API of difxapi.dll, which is no part of
//   Windows: it answers only once a test has put the library beside the
//   program (AddDifxApi). Its calls are exported functions of that library,
//   resolved with GetProcAddress like the real ones.
#pragma once

#include <map>
#include <optional>
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
  std::u16string path;
  win::DWORD flags = 0;
  bool installerInfo = false;  // a non-null INSTALLERINFO_W was passed
  bool callbackRegistered = false;
  win::DWORD result = 0;
};

struct Store {
  // --- Arranged by tests -----------------------------------------------------
  // Original INF names of OEM INF files, by full path (compared without case).
  // An INF without an entry reports its own file name, as Windows does for
  // INF files that were not copied in as OEM INF files.
  std::map<std::u16string, std::u16string> originalInfNames;
  // INF files that SetupGetInfInformationW cannot open, by full path, with
  // the error it reports (a syntax error, for instance).
  std::map<std::u16string, win::DWORD> infOpenErrors;
  std::vector<StorePackage> packages;  // what the store holds
  // Results that override the modelled ones: of DriverPackageInstallW (any
  // path), of DriverPackageGetPathW by OEM INF path and of
  // DriverPackageUninstallW by store INF path.
  std::optional<win::DWORD> installResult;
  std::map<std::u16string, win::DWORD> getPathResults, uninstallResults;
  // Messages sent to the log callback during each install, uninstall and
  // path query (each list is sent at every call of its kind).
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

// A package in the store under `storeInfPath`, led to by the OEM INF file
// `oemInfPath` (a full path).
void AddStorePackage(std::u16string storeInfPath, std::u16string oemInfPath);

// The full path of a file of the Windows INF directory / of the driver file.
std::u16string InfDirectoryPath(std::u16string_view name);
std::u16string DriverFilePath();

}  // namespace sim
