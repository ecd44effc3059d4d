// The driver store: INF information, the Setup API's store calls and the
// simulated difxapi.dll; see sim/store.h.
#include "sim/store.h"

#include "sim/machine.h"

namespace sim {
namespace {

// The value of `map`, keyed by full paths, for `path` compared without case; null if none.
template <class Map>
auto* ValueAt(Map& map, std::u16string_view path) {
  auto* entry = FindNamed(map, path, &Map::value_type::first);
  return entry != nullptr ? &entry->second : nullptr;
}

// The package whose `field` is `path`, compared without case.
StorePackage* PackageBy(std::u16string StorePackage::*field, std::u16string_view path) {
  return FindNamed(M().store.packages, path, field);
}

std::u16string PnfOf(std::u16string_view infPath) {
  return std::u16string(infPath.substr(0, infPath.size() - 3)) + u"PNF";
}

// Sends `messages` to the registered log callback, without the machine's
// lock: the callback may call anything.
void SendLog(Lock& lock, std::vector<DifxLogMessage> messages) {
  auto callback = M().store.internal.callback;
  lock.unlock();
  for (const DifxLogMessage& m : messages) {
    auto event = static_cast<win::DIFXAPI_LOG>(m.event);
    if (callback.cdeclLog) callback.cdeclLog(event, m.error, m.text.c_str(), callback.context);
    if (callback.winapiLog) callback.winapiLog(event, m.error, m.text.c_str(), callback.context);
  }
  lock.lock();
}

// Adds the package of the INF file `full` to the store and copies the INF in
// as the first free oemN.inf with its PNF; a package there already keeps its.
void AddPackage(const std::u16string& full) {
  auto& m = M();
  std::u16string name = FileSystem::NameOf(full);
  std::u16string storePath =
      m.systemDirectory + u"\\DriverStore\\FileRepository\\" + wstr::AsciiLowered(name) + u"_amd64_sim\\" + name;
  if (PackageBy(&StorePackage::storeInfPath, storePath) != nullptr) return;
  auto oem = [](int n) { return u"oem" + wstr::Widen(std::to_string(n)) + u".inf"; };
  int n = 0;
  while (m.fs.Exists(InfDirectoryPath(oem(n)))) ++n;
  m.store.packages.push_back(StorePackage{storePath, PutOemInf(oem(n), name)});
}

// Takes the OEM INF file `oemInf` and its PNF out of the INF directory, and
// the package it leads to, if any, out of the store.
void RemoveOemInf(std::u16string oemInf) {
  auto& m = M();
  m.fs.Remove(oemInf);
  m.fs.Remove(PnfOf(oemInf));
  std::erase_if(m.store.originalInfNames, [&](const auto& e) { return wstr::EqualsAsciiNoCase(e.first, oemInf); });
  std::erase_if(m.store.packages, [&](const auto& p) { return wstr::EqualsAsciiNoCase(p.oemInfPath, oemInf); });
}

// Records a call of the framework; returns its result, or the one arranged by path.
win::DWORD Record(const char* name, win::LPCWSTR path, win::DWORD flags, const win::INSTALLERINFO_W* info,
                  win::DWORD result, const std::map<std::u16string, win::DWORD>& arranged = {}) {
  Store& s = M().store;
  if (const win::DWORD* r = ValueAt(arranged, path)) result = *r;
  s.difxCalls.push_back(DifxCall{name, flags, info != nullptr, s.CallbackRegistered()});
  return result;
}

// --- The exports of the simulated difxapi.dll ---

win::DWORD TOV_WINAPI DriverPackageInstallW(win::LPCWSTR path, win::DWORD flags, const win::INSTALLERINFO_W* info,
                                            win::BOOL* needReboot) {
  SIM_CALL(*call.fault);
  *needReboot = win::FALSE;
  SendLog(call.lock, m.store.installMessages);
  std::u16string full = FileSystem::Resolve(path, m.currentDirectory);
  win::DWORD result = m.fs.Exists(full) ? win::ERROR_SUCCESS : win::ERROR_FILE_NOT_FOUND;
  if (result == win::ERROR_SUCCESS) AddPackage(full);
  return Record(__func__, path, flags, info, result);
}

win::DWORD TOV_WINAPI DriverPackageUninstallW(win::LPCWSTR path, win::DWORD flags, const win::INSTALLERINFO_W* info,
                                              win::BOOL* needReboot) {
  SIM_CALL(*call.fault);
  *needReboot = win::FALSE;
  SendLog(call.lock, m.store.uninstallMessages);
  StorePackage* p = PackageBy(&StorePackage::storeInfPath, path);
  win::DWORD result = p != nullptr ? win::ERROR_SUCCESS : win::ERROR_DRIVER_PACKAGE_NOT_IN_STORE;
  if (p != nullptr && ValueAt(m.store.uninstallResults, path) == nullptr) RemoveOemInf(p->oemInfPath);
  return Record(__func__, path, flags, info, result, m.store.uninstallResults);
}

win::DWORD TOV_WINAPI DriverPackageGetPathW(win::LPCWSTR path, win::LPWSTR dest, win::DWORD* chars) {
  SIM_CALL(*call.fault);
  SendLog(call.lock, m.store.getPathMessages);
  StorePackage* p = PackageBy(&StorePackage::oemInfPath, path);
  win::DWORD result = p == nullptr                      ? win::ERROR_DRIVER_PACKAGE_NOT_IN_STORE
                      : *chars > p->storeInfPath.size() ? win::ERROR_SUCCESS
                                                        : win::ERROR_INSUFFICIENT_BUFFER;
  bool arranged = ValueAt(m.store.getPathResults, path) != nullptr;  // then nothing is copied
  if (result == win::ERROR_SUCCESS && !arranged) wstr::CopyToBuffer(dest, *chars, p->storeInfPath);
  if (p != nullptr) *chars = static_cast<win::DWORD>(p->storeInfPath.size() + 1);
  return Record(__func__, path, 0, nullptr, result, m.store.getPathResults);
}

// Recorded; neither setter has a way to fail.
void TOV_WINAPI DIFXAPISetLogCallbackW(win::DIFXAPILOGCALLBACK_W callback, win::PVOID context) {
  Call call(__func__);
  M().store.internal.callback = {callback, nullptr, context};
}

void TOV_WINAPI SetDifxLogCallbackW(win::DIFXLOGCALLBACK_W callback, win::PVOID context) {
  Call call(__func__);
  M().store.internal.callback = {nullptr, callback, context};
}

}  // namespace

void AddDifxApi(std::u16string directory, const std::vector<std::string>& omit) {
  Lock lock(M().mutex);
  std::map<std::string, win::FARPROC> exports = {{"DriverPackageInstallW", AsExport(&DriverPackageInstallW)},
                                                 {"DriverPackageUninstallW", AsExport(&DriverPackageUninstallW)},
                                                 {"DriverPackageGetPathW", AsExport(&DriverPackageGetPathW)},
                                                 {"DIFXAPISetLogCallbackW", AsExport(&DIFXAPISetLogCallbackW)},
                                                 {"SetDifxLogCallbackW", AsExport(&SetDifxLogCallbackW)}};
  for (const auto& name : omit) exports.erase(name);
  if (directory.empty()) directory = FileSystem::DirectoryOf(M().modulePath);
  M().libraries.push_back(Library{directory + u"\\difxapi.dll", exports});
}

std::u16string InfDirectoryPath(std::u16string_view name) {
  return M().windowsDirectory + u"\\INF\\" + std::u16string(name);
}

std::u16string DriverFilePath() { return M().windowsDirectory + u"\\System32\\drivers\\tovfiltr.sys"; }

std::u16string PutOemInf(std::u16string_view name, std::u16string_view originalName, bool withPnf) {
  Lock lock(M().mutex);
  std::u16string path = InfDirectoryPath(name);
  M().fs.Put(path, "[Version]\r\n");
  if (withPnf) M().fs.Put(PnfOf(path), "PNF");
  M().store.originalInfNames[path] = std::u16string(originalName);
  return path;
}

void AddStorePackage(std::u16string storeInfPath, std::u16string oemInfPath) {
  Lock lock(M().mutex);
  M().store.packages.push_back(StorePackage{std::move(storeInfPath), std::move(oemInfPath)});
}

}  // namespace sim

namespace win {

using sim::SetError;

// The information is opaque to callers: the machine keeps which INF it is
// about on the side, by the buffer it was given in.
BOOL SetupGetInfInformationW(LPCVOID InfSpec, DWORD SearchControl, SP_INF_INFORMATION* ReturnBuffer,
                             DWORD ReturnBufferSize, DWORD* RequiredSize) {
  SIM_CALL(FALSE, SearchControl == INFINFO_INF_NAME_IS_ABSOLUTE && ReturnBuffer != nullptr,
           "an INF handle, a search or a size query");
  sim::File* file = m.fs.Find(static_cast<LPCWSTR>(InfSpec));
  if (file == nullptr) return SetError(ERROR_FILE_NOT_FOUND), FALSE;
  if (DWORD* e = sim::ValueAt(m.store.infOpenErrors, file->path)) return SetError(*e), FALSE;
  auto need = static_cast<DWORD>(offsetof(SP_INF_INFORMATION, VersionData) + (file->path.size() + 1) * 2);
  if (RequiredSize != nullptr) *RequiredSize = need;
  if (ReturnBufferSize < need) return SetError(ERROR_INSUFFICIENT_BUFFER), FALSE;
  *ReturnBuffer = SP_INF_INFORMATION{INF_STYLE_WIN4, 1, {}};
  m.store.internal.infInformation[ReturnBuffer] = file->path;
  return TRUE;
}

BOOL SetupQueryInfOriginalFileInformationW(SP_INF_INFORMATION* InfInformation, UINT InfIndex,
                                           SP_ALTPLATFORM_INFO* AlternatePlatformInfo,
                                           SP_ORIGINAL_FILE_INFO_W* OriginalFileInfo) {
  SIM_CALL(FALSE);
  auto info = m.store.internal.infInformation.find(InfInformation);
  SIM_ONLY(InfIndex == 0 && AlternatePlatformInfo == nullptr && info != m.store.internal.infInformation.end(),
           "another INF or platform, or information from elsewhere");
  if (OriginalFileInfo->cbSize != sizeof(SP_ORIGINAL_FILE_INFO_W)) return SetError(ERROR_INVALID_USER_BUFFER), FALSE;
  std::u16string* found = sim::ValueAt(m.store.originalInfNames, info->second);
  std::u16string original = found != nullptr ? *found : sim::FileSystem::NameOf(info->second);
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
  SIM_CALL(FALSE,
           OEMSourceMediaLocation == nullptr && OEMSourceMediaType == SPOST_PATH && CopyStyle == 0 &&
               DestinationInfFileName == nullptr && RequiredSize == nullptr &&
               DestinationInfFileNameComponent == nullptr,
           "a source location, a copy style or the destination's name");
  std::u16string full = sim::FileSystem::Resolve(SourceInfFileName, m.currentDirectory);
  if (!m.fs.Exists(full)) return SetError(ERROR_FILE_NOT_FOUND), FALSE;
  sim::AddPackage(full);
  return TRUE;
}

// Only an OEM INF file of the INF directory, named without a directory.
BOOL SetupUninstallOEMInfW(LPCWSTR InfFileName, DWORD Flags, PVOID) {
  SIM_CALL(FALSE);
  std::u16string name = wstr::AsciiLowered(InfFileName);
  std::u16string path = sim::InfDirectoryPath(name);
  if (!m.fs.Exists(path)) return SetError(ERROR_FILE_NOT_FOUND), FALSE;
  if (!name.starts_with(u"oem") || !name.ends_with(u".inf")) return SetError(ERROR_NOT_AN_INSTALLED_OEM_INF), FALSE;
  auto p = sim::PackageBy(&sim::StorePackage::oemInfPath, path);
  if (p != nullptr && p->deviceInstalled && (Flags & SUOI_FORCEDELETE) == 0) {
    return SetError(ERROR_INF_IN_USE_BY_DEVICES), FALSE;
  }
  sim::RemoveOemInf(path);
  return TRUE;
}

}  // namespace win
