// The driver store: INF information, the Setup API's store calls and the
// simulated difxapi.dll; see sim/store.h.
#include "sim/store.h"

#include <cstring>

#include "common/wstr.h"
#include "sim/machine.h"

namespace sim {
namespace {

// Looks `path` up in a map keyed by full paths, without regard to case.
template <class Map>
auto FindPath(Map& map, std::u16string_view path) {
  return std::find_if(map.begin(), map.end(), [&](const auto& e) { return wstr::EqualsAsciiNoCase(e.first, path); });
}

std::u16string PnfOf(std::u16string_view infPath) {
  std::u16string pnf(infPath);
  if (pnf.size() >= 3) pnf.replace(pnf.size() - 3, 3, u"PNF");
  return pnf;
}

// Sends `messages` to the registered log callback, without the machine's
// lock: the callback may call anything.
void SendLog(std::unique_lock<std::recursive_mutex>& lock, std::vector<DifxLogMessage> messages) {
  Store::Internal callback = M().store.internal;
  lock.unlock();
  for (const DifxLogMessage& m : messages) {
    auto event = static_cast<win::DIFXAPI_LOG>(m.event);
    if (callback.cdeclCallback) callback.cdeclCallback(event, m.error, m.text.c_str(), callback.callbackContext);
    if (callback.winapiCallback) callback.winapiCallback(event, m.error, m.text.c_str(), callback.callbackContext);
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
  for (int n = 0; oem.empty() || m.fs.Exists(oem); ++n)
    oem = InfDirectoryPath(u"oem" + wstr::Widen(std::to_string(n)) + u".inf");
  PutOemInf(FileSystem::NameOf(oem), name);
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

// Records a call of the framework; returns its result.
win::DWORD Record(const char* name, win::LPCWSTR path, win::DWORD flags, const win::INSTALLERINFO_W* info,
                  win::DWORD result) {
  Store& s = M().store;
  s.difxCalls.push_back(DifxCall{name, path, flags, info != nullptr, s.CallbackRegistered(), result});
  return result;
}

// --- The exports of the simulated difxapi.dll ---

win::DWORD TOV_WINAPI DriverPackageInstallW(win::LPCWSTR path, win::DWORD flags, const win::INSTALLERINFO_W* info,
                                            win::BOOL* needReboot) {
  SIM_CALL(*call.fault);
  auto& m = M();
  if (needReboot != nullptr) *needReboot = win::FALSE;
  SendLog(call.lock, m.store.installMessages);
  std::u16string full = FileSystem::Resolve(path, m.currentDirectory);
  win::DWORD result = win::ERROR_FILE_NOT_FOUND;
  if (m.store.installResult) {
    result = *m.store.installResult;
  } else if (m.fs.Exists(full)) {
    AddPackage(full);
    result = win::ERROR_SUCCESS;
  }
  return Record(__func__, path, flags, info, result);
}

win::DWORD TOV_WINAPI DriverPackageUninstallW(win::LPCWSTR path, win::DWORD flags, const win::INSTALLERINFO_W* info,
                                              win::BOOL* needReboot) {
  SIM_CALL(*call.fault);
  auto& m = M();
  if (needReboot != nullptr) *needReboot = win::FALSE;
  SendLog(call.lock, m.store.uninstallMessages);
  win::DWORD result = win::ERROR_DRIVER_PACKAGE_NOT_IN_STORE;
  auto& packages = m.store.packages;
  auto p = std::find_if(packages.begin(), packages.end(),
                        [&](const StorePackage& q) { return wstr::EqualsAsciiNoCase(q.storeInfPath, path); });
  if (auto it = FindPath(m.store.uninstallResults, path); it != m.store.uninstallResults.end()) {
    result = it->second;
  } else if (p != packages.end()) {
    RemovePackage(p);
    result = win::ERROR_SUCCESS;
  }
  return Record(__func__, path, flags, info, result);
}

win::DWORD TOV_WINAPI DriverPackageGetPathW(win::LPCWSTR path, win::LPWSTR dest, win::DWORD* chars) {
  SIM_CALL(*call.fault);
  auto& m = M();
  SendLog(call.lock, m.store.getPathMessages);
  win::DWORD result = win::ERROR_DRIVER_PACKAGE_NOT_IN_STORE;
  auto p = std::find_if(m.store.packages.begin(), m.store.packages.end(),
                        [&](const StorePackage& q) { return wstr::EqualsAsciiNoCase(q.oemInfPath, path); });
  if (auto it = FindPath(m.store.getPathResults, path); it != m.store.getPathResults.end()) {
    result = it->second;
  } else if (p != m.store.packages.end()) {
    auto need = static_cast<win::DWORD>(p->storeInfPath.size() + 1);
    result = *chars < need ? win::ERROR_INSUFFICIENT_BUFFER : win::ERROR_SUCCESS;
    if (result == win::ERROR_SUCCESS) wstr::CopyToBuffer(dest, *chars, p->storeInfPath);
    *chars = need;
  }
  return Record(__func__, path, 0, nullptr, result);
}

// Recorded; neither setter has a way to fail.
void TOV_WINAPI DIFXAPISetLogCallbackW(win::DIFXAPILOGCALLBACK_W callback, win::PVOID context) {
  sim::Call call(__func__);
  M().store.internal = {callback, nullptr, context};
}

void TOV_WINAPI SetDifxLogCallbackW(win::DIFXLOGCALLBACK_W callback, win::PVOID context) {
  sim::Call call(__func__);
  M().store.internal = {nullptr, callback, context};
}

}  // namespace

void AddDifxApi(std::u16string directory, const std::vector<std::string>& omit) {
  std::lock_guard<std::recursive_mutex> lock(M().mutex);
  std::map<std::string, win::FARPROC> exports = {
      {"DriverPackageInstallW", AsExport(&DriverPackageInstallW)},
      {"DriverPackageUninstallW", AsExport(&DriverPackageUninstallW)},
      {"DriverPackageGetPathW", AsExport(&DriverPackageGetPathW)},
      {"DIFXAPISetLogCallbackW", AsExport(&DIFXAPISetLogCallbackW)},
      {"SetDifxLogCallbackW", AsExport(&SetDifxLogCallbackW)},
  };
  for (const auto& name : omit) exports.erase(name);
  if (directory.empty()) directory = FileSystem::DirectoryOf(M().modulePath);
  M().AddLibrary(directory + u"\\difxapi.dll", std::move(exports));
}

std::u16string InfDirectoryPath(std::u16string_view name) {
  return M().windowsDirectory + u"\\INF\\" + std::u16string(name);
}

std::u16string DriverFilePath() { return M().windowsDirectory + u"\\System32\\drivers\\tovfiltr.sys"; }

std::u16string PutOemInf(std::u16string_view name, std::u16string_view originalName, bool withPnf) {
  std::lock_guard<std::recursive_mutex> lock(M().mutex);
  std::u16string path = InfDirectoryPath(name);
  M().fs.Put(path, "[Version]\r\n");
  if (withPnf) M().fs.Put(PnfOf(path), "PNF");
  M().store.originalInfNames[path] = std::u16string(originalName);
  return path;
}

void AddStorePackage(std::u16string storeInfPath, std::u16string oemInfPath) {
  std::lock_guard<std::recursive_mutex> lock(M().mutex);
  M().store.packages.push_back(StorePackage{std::move(storeInfPath), std::move(oemInfPath)});
}

}  // namespace sim

namespace win {
namespace {

using sim::M;
using sim::SetError;

// What the simulated SP_INF_INFORMATION holds after its header: the INF's
// full path, zero-terminated (the data is opaque to callers).
constexpr std::size_t kVersionDataOffset = offsetof(SP_INF_INFORMATION, VersionData);

}  // namespace

BOOL SetupGetInfInformationW(LPCVOID InfSpec, DWORD SearchControl, SP_INF_INFORMATION* ReturnBuffer,
                             DWORD ReturnBufferSize, DWORD* RequiredSize) {
  SIM_CALL(FALSE);
  if (SearchControl != INFINFO_INF_NAME_IS_ABSOLUTE || ReturnBuffer == nullptr) {
    sim::Unmodelled(__func__, "an INF handle, a search or a size query");
  }
  std::u16string path(static_cast<LPCWSTR>(InfSpec));
  sim::File* file = M().fs.Find(path);
  if (file == nullptr) return SetError(ERROR_FILE_NOT_FOUND), FALSE;
  auto& errors = M().store.infOpenErrors;
  if (auto e = sim::FindPath(errors, path); e != errors.end()) return SetError(e->second), FALSE;
  std::size_t bytes = (file->path.size() + 1) * sizeof(char16_t);
  if (RequiredSize != nullptr) *RequiredSize = static_cast<DWORD>(kVersionDataOffset + bytes);
  if (ReturnBufferSize < kVersionDataOffset + bytes) return SetError(ERROR_INSUFFICIENT_BUFFER), FALSE;
  ReturnBuffer->InfStyle = INF_STYLE_WIN4;
  ReturnBuffer->InfCount = 1;
  std::memcpy(reinterpret_cast<BYTE*>(ReturnBuffer) + kVersionDataOffset, file->path.c_str(), bytes);
  return TRUE;
}

BOOL SetupQueryInfOriginalFileInformationW(SP_INF_INFORMATION* InfInformation, UINT InfIndex,
                                           SP_ALTPLATFORM_INFO* AlternatePlatformInfo,
                                           SP_ORIGINAL_FILE_INFO_W* OriginalFileInfo) {
  SIM_CALL(FALSE);
  if (InfIndex != 0 || AlternatePlatformInfo != nullptr) sim::Unmodelled(__func__, "another INF or platform");
  if (OriginalFileInfo->cbSize != sizeof(SP_ORIGINAL_FILE_INFO_W)) return SetError(ERROR_INVALID_USER_BUFFER), FALSE;
  // The path that SetupGetInfInformationW put after the header.
  std::u16string path;
  const BYTE* data = reinterpret_cast<const BYTE*>(InfInformation) + kVersionDataOffset;
  for (char16_t c = 0; std::memcpy(&c, data, sizeof c), c != 0; data += sizeof c) path.push_back(c);
  auto& names = M().store.originalInfNames;
  auto found = sim::FindPath(names, path);
  std::u16string original = found != names.end() ? found->second : sim::FileSystem::NameOf(path);
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

// A package that is in the store already keeps its OEM INF file, which
// Windows then names as the destination.
BOOL SetupCopyOEMInfW(LPCWSTR SourceInfFileName, LPCWSTR OEMSourceMediaLocation, DWORD OEMSourceMediaType,
                      DWORD CopyStyle, LPWSTR DestinationInfFileName, DWORD, DWORD* RequiredSize,
                      LPWSTR* DestinationInfFileNameComponent) {
  SIM_CALL(FALSE);
  if (OEMSourceMediaLocation != nullptr || OEMSourceMediaType != SPOST_PATH || CopyStyle != 0 ||
      DestinationInfFileName != nullptr || RequiredSize != nullptr || DestinationInfFileNameComponent != nullptr) {
    sim::Unmodelled(__func__, "a source location, a copy style or the destination's name");
  }
  std::u16string full = sim::FileSystem::Resolve(SourceInfFileName, M().currentDirectory);
  if (!M().fs.Exists(full)) return SetError(ERROR_FILE_NOT_FOUND), FALSE;
  sim::AddPackage(full);
  return TRUE;
}

BOOL SetupUninstallOEMInfW(LPCWSTR InfFileName, DWORD Flags, PVOID) {
  SIM_CALL(FALSE);
  auto& m = M();
  // Only an OEM INF file of the INF directory, named without a directory.
  std::u16string name = wstr::AsciiLowered(InfFileName);
  std::u16string path = sim::InfDirectoryPath(name);
  if (!name.starts_with(u"oem") || !name.ends_with(u".inf") || !m.fs.Exists(path)) {
    return SetError(ERROR_NOT_AN_INSTALLED_OEM_INF), FALSE;
  }
  auto& packages = m.store.packages;
  auto p = std::find_if(packages.begin(), packages.end(),
                        [&](const sim::StorePackage& q) { return wstr::EqualsAsciiNoCase(q.oemInfPath, path); });
  if (p == packages.end()) {  // an OEM INF file that leads to no package: the files alone
    m.fs.Remove(path);
    m.fs.Remove(sim::PnfOf(path));
    return TRUE;
  }
  if (p->deviceInstalled && (Flags & SUOI_FORCEDELETE) == 0) return SetError(ERROR_INF_IN_USE_BY_DEVICES), FALSE;
  sim::RemovePackage(p);
  return TRUE;
}

}  // namespace win
