// The simulated machine's store and their calls; see sim/machine.h and
// sim/store.h.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/wstr.h"
#include "sim/machine.h"

namespace sim {
namespace {

using Lock = std::unique_lock<std::recursive_mutex>;

// Looks `path` up in a map keyed by full paths, without regard to case.
template <class Map>
auto FindPath(Map& map, std::u16string_view path) {
  for (auto it = map.begin(); it != map.end(); ++it) {
    if (wstr::EqualsAsciiNoCase(it->first, path)) return it;
  }
  return map.end();
}

std::u16string PnfOf(std::u16string_view infPath) {
  std::u16string pnf(infPath);
  if (pnf.size() >= 3) pnf.replace(pnf.size() - 3, 3, u"PNF");
  return pnf;
}

// Sends `messages` to the registered log callback. The machine's lock is not
// held during the calls: the callback may call anything.
void SendLog(Lock& lock, const std::vector<DifxLogMessage>& messages) {
  Store& s = M().store;
  auto cdeclCallback = s.cdeclCallback;
  auto winapiCallback = s.winapiCallback;
  win::PVOID context = s.callbackContext;
  std::vector<DifxLogMessage> copy = messages;
  lock.unlock();
  for (const DifxLogMessage& m : copy) {
    auto event = static_cast<win::DIFXAPI_LOG>(m.event);
    if (cdeclCallback != nullptr) cdeclCallback(event, m.error, m.text.c_str(), context);
    if (winapiCallback != nullptr) winapiCallback(event, m.error, m.text.c_str(), context);
  }
  lock.lock();
}

// Adds the package of the INF file `full` to the store, under a folder of
// its own, and copies the INF into the INF directory as the first free
// oemN.inf with its PNF. A package that is there already keeps its OEM INF
// file.
void AddPackage(const std::u16string& full) {
  auto& m = M();
  std::u16string name = FileSystem::NameOf(full);
  std::u16string storePath =
      m.systemDirectory + u"\\DriverStore\\FileRepository\\" + wstr::AsciiLowered(name) + u"_amd64_sim\\" + name;
  for (const StorePackage& p : m.store.packages) {
    if (wstr::EqualsAsciiNoCase(p.storeInfPath, storePath)) return;
  }
  std::u16string oem;
  for (int n = 0;; ++n) {
    oem = InfDirectoryPath(u"oem" + wstr::Widen(std::to_string(n)) + u".inf");
    if (!m.fs.Exists(oem)) break;
  }
  m.fs.Put(oem, "[Version]\r\n");
  m.fs.Put(PnfOf(oem), "PNF");
  m.store.originalInfNames[oem] = name;
  m.store.packages.push_back(StorePackage{storePath, oem});
}

// Takes a package out of the store with its OEM INF file and that file's PNF.
void RemovePackage(std::vector<StorePackage>::iterator p) {
  auto& m = M();
  m.fs.Remove(p->oemInfPath);
  m.fs.Remove(PnfOf(p->oemInfPath));
  if (auto o = FindPath(m.store.originalInfNames, p->oemInfPath); o != m.store.originalInfNames.end()) {
    m.store.originalInfNames.erase(o);
  }
  m.store.packages.erase(p);
}

void Record(const char* name, win::LPCWSTR path, win::DWORD flags, const win::INSTALLERINFO_W* info,
            win::DWORD result) {
  Store& s = M().store;
  s.difxCalls.push_back(
      DifxCall{name, path != nullptr ? path : u"", flags, info != nullptr, s.CallbackRegistered(), result});
}

// --- The exports of the simulated difxapi.dll ---

win::DWORD TOV_WINAPI DriverPackageInstallW(win::LPCWSTR path, win::DWORD flags, const win::INSTALLERINFO_W* info,
                                            win::BOOL* needReboot) {
  if (auto e = Enter("DriverPackageInstallW")) return *e;
  auto& m = M();
  Lock lock(m.mutex);
  if (needReboot != nullptr) *needReboot = win::FALSE;
  if (path == nullptr) {
    Record("DriverPackageInstallW", path, flags, info, win::ERROR_INVALID_PARAMETER);
    return win::ERROR_INVALID_PARAMETER;
  }
  SendLog(lock, m.store.installMessages);
  win::DWORD result = win::ERROR_SUCCESS;
  std::u16string full = FileSystem::Resolve(path, m.currentDirectory);
  if (m.store.installResult) {
    result = *m.store.installResult;
  } else if (!m.fs.Exists(full)) {
    result = win::ERROR_FILE_NOT_FOUND;
  } else {
    AddPackage(full);
  }
  Record("DriverPackageInstallW", path, flags, info, result);
  return result;
}

win::DWORD TOV_WINAPI DriverPackageUninstallW(win::LPCWSTR path, win::DWORD flags, const win::INSTALLERINFO_W* info,
                                              win::BOOL* needReboot) {
  if (auto e = Enter("DriverPackageUninstallW")) return *e;
  auto& m = M();
  Lock lock(m.mutex);
  if (needReboot != nullptr) *needReboot = win::FALSE;
  if (path == nullptr) {
    Record("DriverPackageUninstallW", path, flags, info, win::ERROR_INVALID_PARAMETER);
    return win::ERROR_INVALID_PARAMETER;
  }
  SendLog(lock, m.store.uninstallMessages);
  win::DWORD result = win::ERROR_DRIVER_PACKAGE_NOT_IN_STORE;
  if (auto it = FindPath(m.store.uninstallResults, path); it != m.store.uninstallResults.end()) {
    result = it->second;
  } else {
    auto& packages = m.store.packages;
    for (auto p = packages.begin(); p != packages.end(); ++p) {
      if (!wstr::EqualsAsciiNoCase(p->storeInfPath, path)) continue;
      RemovePackage(p);
      result = win::ERROR_SUCCESS;
      break;
    }
  }
  Record("DriverPackageUninstallW", path, flags, info, result);
  return result;
}

win::DWORD TOV_WINAPI DriverPackageGetPathW(win::LPCWSTR path, win::LPWSTR dest, win::DWORD* chars) {
  if (auto e = Enter("DriverPackageGetPathW")) return *e;
  auto& m = M();
  Lock lock(m.mutex);
  if (path == nullptr || chars == nullptr) {
    Record("DriverPackageGetPathW", path, 0, nullptr, win::ERROR_INVALID_PARAMETER);
    return win::ERROR_INVALID_PARAMETER;
  }
  SendLog(lock, m.store.getPathMessages);
  win::DWORD result = win::ERROR_DRIVER_PACKAGE_NOT_IN_STORE;
  if (auto it = FindPath(m.store.getPathResults, path); it != m.store.getPathResults.end()) {
    result = it->second;
  } else {
    for (const StorePackage& p : m.store.packages) {
      if (!wstr::EqualsAsciiNoCase(p.oemInfPath, path)) continue;
      auto need = static_cast<win::DWORD>(p.storeInfPath.size() + 1);
      if (dest == nullptr || *chars < need) {
        result = win::ERROR_INSUFFICIENT_BUFFER;
      } else {
        wstr::CopyToBuffer(dest, *chars, p.storeInfPath);
        result = win::ERROR_SUCCESS;
      }
      *chars = need;
      break;
    }
  }
  Record("DriverPackageGetPathW", path, 0, nullptr, result);
  return result;
}

void TOV_WINAPI DIFXAPISetLogCallbackW(win::DIFXAPILOGCALLBACK_W callback, win::PVOID context) {
  Enter("DIFXAPISetLogCallbackW");
  auto& m = M();
  Lock lock(m.mutex);
  m.store.cdeclCallback = callback;
  m.store.winapiCallback = nullptr;
  m.store.callbackContext = context;
}

void TOV_WINAPI SetDifxLogCallbackW(win::DIFXLOGCALLBACK_W callback, win::PVOID context) {
  Enter("SetDifxLogCallbackW");
  auto& m = M();
  Lock lock(m.mutex);
  m.store.winapiCallback = callback;
  m.store.cdeclCallback = nullptr;
  m.store.callbackContext = context;
}

// An export as GetProcAddress hands it out.
template <class Function>
win::FARPROC AsExport(Function* f) {
  return reinterpret_cast<win::FARPROC>(reinterpret_cast<void (*)()>(f));
}

}  // namespace

void AddDifxApi(std::u16string directory, const std::vector<std::string>& omit) {
  auto& m = M();
  Lock lock(m.mutex);
  if (directory.empty()) directory = FileSystem::DirectoryOf(m.modulePath);
  const std::map<std::string, win::FARPROC> all = {
      {"DriverPackageInstallW", AsExport(&DriverPackageInstallW)},
      {"DriverPackageUninstallW", AsExport(&DriverPackageUninstallW)},
      {"DriverPackageGetPathW", AsExport(&DriverPackageGetPathW)},
      {"DIFXAPISetLogCallbackW", AsExport(&DIFXAPISetLogCallbackW)},
      {"SetDifxLogCallbackW", AsExport(&SetDifxLogCallbackW)},
  };
  std::map<std::string, win::FARPROC> exports;
  for (const auto& [name, proc] : all) {
    bool omitted = false;
    for (const auto& o : omit) omitted = omitted || o == name;
    if (!omitted) exports[name] = proc;
  }
  m.AddLibrary(directory + u"\\difxapi.dll", std::move(exports));
}

std::u16string InfDirectoryPath(std::u16string_view name) {
  std::u16string path = M().windowsDirectory + u"\\INF\\";
  path.append(name);
  return path;
}

std::u16string DriverFilePath() { return M().windowsDirectory + u"\\System32\\drivers\\tovfiltr.sys"; }

std::u16string PutOemInf(std::u16string_view name, std::u16string_view originalName, bool withPnf) {
  auto& m = M();
  Lock lock(m.mutex);
  std::u16string path = InfDirectoryPath(name);
  m.fs.Put(path, "[Version]\r\n");
  if (withPnf) m.fs.Put(PnfOf(path), "PNF");
  m.store.originalInfNames[path] = std::u16string(originalName);
  return path;
}

void AddStorePackage(std::u16string storeInfPath, std::u16string oemInfPath) {
  auto& m = M();
  Lock lock(m.mutex);
  m.store.packages.push_back(StorePackage{std::move(storeInfPath), std::move(oemInfPath)});
}

}  // namespace sim

// --- Setup API: INF information --------------------------------------------------

namespace win {

using sim::Enter;
using sim::M;
using sim::SetError;
using Lock = std::unique_lock<std::recursive_mutex>;

namespace {

// What the simulated SP_INF_INFORMATION holds after its header: the INF's
// full path, zero-terminated (the data is opaque to callers).
constexpr std::size_t kVersionDataOffset = offsetof(SP_INF_INFORMATION, VersionData);

}  // namespace

BOOL SetupGetInfInformationW(LPCVOID InfSpec, DWORD SearchControl, SP_INF_INFORMATION* ReturnBuffer,
                             DWORD ReturnBufferSize, DWORD* RequiredSize) {
  if (auto e = Enter("SetupGetInfInformationW")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  if (InfSpec == nullptr) return SetError(ERROR_INVALID_PARAMETER), FALSE;
  // Only a full path is modelled; INF handles and searches are not used.
  if (SearchControl != INFINFO_INF_NAME_IS_ABSOLUTE) return SetError(ERROR_INVALID_PARAMETER), FALSE;
  std::u16string path(static_cast<LPCWSTR>(InfSpec));
  sim::File* file = m.fs.Find(path);
  if (file == nullptr) return SetError(ERROR_FILE_NOT_FOUND), FALSE;
  auto& errors = m.store.infOpenErrors;
  for (const auto& [p, error] : errors) {
    if (wstr::EqualsAsciiNoCase(p, path)) return SetError(error), FALSE;
  }
  auto need = static_cast<DWORD>(kVersionDataOffset + (file->path.size() + 1) * sizeof(char16_t));
  if (RequiredSize != nullptr) *RequiredSize = need;
  if (ReturnBuffer == nullptr) {
    if (ReturnBufferSize != 0) return SetError(ERROR_INVALID_PARAMETER), FALSE;
    return TRUE;
  }
  if (ReturnBufferSize < need) return SetError(ERROR_INSUFFICIENT_BUFFER), FALSE;
  ReturnBuffer->InfStyle = INF_STYLE_WIN4;
  ReturnBuffer->InfCount = 1;
  auto* data = reinterpret_cast<BYTE*>(ReturnBuffer) + kVersionDataOffset;
  std::memcpy(data, file->path.c_str(), (file->path.size() + 1) * sizeof(char16_t));
  return TRUE;
}

BOOL SetupQueryInfOriginalFileInformationW(SP_INF_INFORMATION* InfInformation, UINT InfIndex, SP_ALTPLATFORM_INFO*,
                                           SP_ORIGINAL_FILE_INFO_W* OriginalFileInfo) {
  if (auto e = Enter("SetupQueryInfOriginalFileInformationW")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  if (InfInformation == nullptr || OriginalFileInfo == nullptr) return SetError(ERROR_INVALID_PARAMETER), FALSE;
  if (OriginalFileInfo->cbSize != sizeof(SP_ORIGINAL_FILE_INFO_W)) return SetError(ERROR_INVALID_USER_BUFFER), FALSE;
  if (InfIndex >= InfInformation->InfCount) return SetError(ERROR_INVALID_PARAMETER), FALSE;
  // The path that SetupGetInfInformationW put after the header.
  const auto* data = reinterpret_cast<const BYTE*>(InfInformation) + kVersionDataOffset;
  std::u16string path;
  for (;; data += sizeof(char16_t)) {
    char16_t c;
    std::memcpy(&c, data, sizeof c);
    if (c == 0) break;
    path.push_back(c);
  }
  std::u16string original = sim::FileSystem::NameOf(path);
  for (const auto& [p, name] : m.store.originalInfNames) {
    if (wstr::EqualsAsciiNoCase(p, path)) original = name;
  }
  if (!wstr::CopyToBuffer(OriginalFileInfo->OriginalInfName, MAX_PATH, original)) {
    return SetError(ERROR_INSUFFICIENT_BUFFER), FALSE;
  }
  OriginalFileInfo->OriginalCatalogName[0] = 0;
  return TRUE;
}

// --- Setup API: the driver store ---------------------------------------------------
//
// Wine 8 differs: its SetupCopyOEMInfW gives the first copy the INF's own
// name when that is free (tovfiltr.inf) and only later ones oem<N>.inf, and
// keeps no store; its SetupUninstallOEMInfW deletes the named file alone
// (the PNF stays), checks neither that it is an OEM INF nor for devices, and
// without SUOI_FORCEDELETE deletes nothing and returns TRUE.

BOOL SetupCopyOEMInfW(LPCWSTR SourceInfFileName, LPCWSTR, DWORD, DWORD, LPWSTR, DWORD, DWORD*, LPWSTR*) {
  if (auto e = Enter("SetupCopyOEMInfW")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  if (SourceInfFileName == nullptr) return SetError(ERROR_INVALID_PARAMETER), FALSE;
  std::u16string full = sim::FileSystem::Resolve(SourceInfFileName, m.currentDirectory);
  if (!m.fs.Exists(full)) return SetError(ERROR_FILE_NOT_FOUND), FALSE;
  // A package that is in the store already keeps its OEM INF file, which
  // Windows then names as the destination. The copy styles and the
  // destination outputs are not modelled.
  sim::AddPackage(full);
  return TRUE;
}

BOOL SetupUninstallOEMInfW(LPCWSTR InfFileName, DWORD Flags, PVOID) {
  if (auto e = Enter("SetupUninstallOEMInfW")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  if (InfFileName == nullptr) return SetError(ERROR_INVALID_PARAMETER), FALSE;
  // Only an OEM INF file of the INF directory, named without a directory.
  std::u16string name = wstr::AsciiLowered(InfFileName);
  std::u16string path = sim::InfDirectoryPath(name);
  if (!name.starts_with(u"oem") || !name.ends_with(u".inf") || !m.fs.Exists(path)) {
    return SetError(ERROR_NOT_AN_INSTALLED_OEM_INF), FALSE;
  }
  auto& packages = m.store.packages;
  auto p = std::find_if(packages.begin(), packages.end(),
                        [&](const sim::StorePackage& q) { return wstr::EqualsAsciiNoCase(q.oemInfPath, path); });
  if (p == packages.end()) {
    // An OEM INF file that leads to no package: the files alone.
    m.fs.Remove(path);
    m.fs.Remove(sim::PnfOf(path));
    return TRUE;
  }
  if (p->deviceInstalled && (Flags & SUOI_FORCEDELETE) == 0) return SetError(ERROR_INF_IN_USE_BY_DEVICES), FALSE;
  sim::RemovePackage(p);
  return TRUE;
}

}  // namespace win
