// The simulated machine's devices and their calls; see sim/machine.h.
#include "sim/devices.h"

#include <cstddef>
#include <cstring>

#include "common/wstr.h"
#include "sim/machine.h"

namespace sim {
namespace {

using Lock = std::unique_lock<std::recursive_mutex>;

// The backslash-separated components of an instance ID or enumerator.
std::vector<std::u16string_view> Components(std::u16string_view id) {
  std::vector<std::u16string_view> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = id.find(u'\\', start);
    parts.push_back(id.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start));
    if (end == std::u16string_view::npos) return parts;
    start = end + 1;
  }
}

// True when the first components of `instanceId` are those of `filter`.
bool UnderEnumerator(std::u16string_view instanceId, const std::vector<std::u16string_view>& filter) {
  auto parts = Components(instanceId);
  if (parts.size() < filter.size()) return false;
  for (std::size_t i = 0; i < filter.size(); ++i) {
    if (!wstr::EqualsAsciiNoCase(parts[i], filter[i])) return false;
  }
  return true;
}

// Copies `text` into a fixed buffer, cut to fit, always terminated.
void CopyCut(char16_t* buffer, std::size_t capacity, std::u16string_view text) {
  std::size_t n = text.size() < capacity ? text.size() : capacity - 1;
  text.copy(buffer, n);
  buffer[n] = 0;
}

// The bytes of a REG_MULTI_SZ value: each string with its terminator, then one more.
std::u16string MultiString(const std::vector<std::u16string>& list) {
  std::u16string out;
  for (const auto& s : list) {
    out += s;
    out.push_back(0);
  }
  out.push_back(0);
  return out;
}

}  // namespace

Device& Devices::Add(std::u16string instanceId, std::vector<std::u16string> hardwareIds, bool present) {
  Device d;
  d.instanceId = std::move(instanceId);
  d.hardwareIds = std::move(hardwareIds);
  d.present = present;
  devices.push_back(std::move(d));
  return devices.back();
}

Device* Devices::Find(std::u16string_view instanceId) {
  for (Device& d : devices) {
    if (wstr::EqualsAsciiNoCase(d.instanceId, instanceId)) return &d;
  }
  return nullptr;
}

Library& AddNewdev(std::u16string directory, bool withExport) {
  Machine& m = M();
  Lock lock(m.mutex);
  if (directory.empty()) directory = m.systemDirectory;
  std::map<std::string, win::FARPROC> exports;
  if (withExport)
    exports["InstallSelectedDriver"] =
        reinterpret_cast<win::FARPROC>(reinterpret_cast<void (*)()>(&sim::InstallSelectedDriver));
  return m.AddLibrary(FileSystem::Resolve(u"newdev.dll", directory), std::move(exports));
}

namespace {

// The element that `data` names in `set`, or null with the error Windows gives.
Devices::Element* FindElement(win::HDEVINFO set, const win::SP_DEVINFO_DATA* data, win::DWORD& error,
                              bool allowRemoved = false) {
  Devices& d = M().devices;
  auto it = d.sets.find(set);
  if (it == d.sets.end()) return error = win::ERROR_INVALID_HANDLE, nullptr;
  if (data == nullptr) return error = win::ERROR_INVALID_PARAMETER, nullptr;
  if (data->cbSize != sizeof(win::SP_DEVINFO_DATA)) return error = win::ERROR_INVALID_USER_BUFFER, nullptr;
  if (data->Reserved == 0 || data->Reserved > it->second.elements.size()) {
    return error = win::ERROR_INVALID_PARAMETER, nullptr;
  }
  Devices::Element& e = it->second.elements[data->Reserved - 1];
  if (!allowRemoved && d.devices[e.device].removed) return error = win::ERROR_NO_SUCH_DEVINST, nullptr;
  return &e;
}

}  // namespace

win::BOOL TOV_WINAPI InstallSelectedDriver(win::HWND hwndParent, win::HDEVINFO DeviceInfoSet, win::LPCWSTR Reserved,
                                           win::BOOL Backup, win::DWORD* bReboot) {
  if (auto e = Enter("InstallSelectedDriver")) return SetError(*e), 0;
  Machine& m = M();
  Lock lock(m.mutex);
  Devices& d = m.devices;
  auto it = d.sets.find(DeviceInfoSet);
  if (it == d.sets.end()) return SetError(win::ERROR_INVALID_HANDLE), 0;
  if (!it->second.selectedElement) return SetError(win::ERROR_NO_DEVICE_SELECTED), 0;
  Devices::Element& element = it->second.elements[*it->second.selectedElement];
  Device& device = d.devices[element.device];
  if (device.removed) return SetError(win::ERROR_NO_SUCH_DEVINST), 0;
  if (!element.selectedDriver) return SetError(win::ERROR_NO_DRIVER_SELECTED), 0;
  if (!d.administrator) return SetError(win::ERROR_ACCESS_DENIED), 0;
  const Driver& driver = (*element.compatibleDrivers)[*element.selectedDriver];
  if (driver.installError != 0) return SetError(driver.installError), 0;
  device.upperFilters = driver.upperFilters;
  device.installedDriver = driver.description;
  d.installs.push_back(DriverInstall{device.instanceId, driver.manufacturer, hwndParent, Reserved == nullptr, Backup});
  if (bReboot != nullptr) *bReboot = driver.restart;
  return 1;
}

}  // namespace sim

// --- The calls ---------------------------------------------------------------

namespace win {

using sim::Enter;
using sim::M;
using sim::SetError;
using Lock = std::unique_lock<std::recursive_mutex>;

LSTATUS RegCloseKey(HKEY hKey) {
  if (auto e = Enter("RegCloseKey")) return static_cast<LSTATUS>(*e);
  Lock lock(M().mutex);
  if (!M().handles.Close(hKey, sim::HandleKind::RegistryKey)) return ERROR_INVALID_HANDLE;
  return ERROR_SUCCESS;
}

HDEVINFO SetupDiGetClassDevsW(const GUID* ClassGuid, LPCWSTR Enumerator, HWND, DWORD Flags) {
  if (auto e = Enter("SetupDiGetClassDevsW")) return SetError(*e), INVALID_HANDLE_VALUE;
  auto& m = M();
  Lock lock(m.mutex);
  auto& d = m.devices;
  // Device interface sets are not modelled.
  if (Flags & DIGCF_DEVICEINTERFACE) return SetError(ERROR_INVALID_FLAGS), INVALID_HANDLE_VALUE;
  if (ClassGuid == nullptr && !(Flags & DIGCF_ALLCLASSES))
    return SetError(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;

  // The enumerator filter: an enumerator, or an enumerator and a device ID.
  // Anything else (a full instance ID, empty parts) names no enumerator, and
  // neither does a name the machine has never seen.
  std::vector<std::u16string_view> filter;
  if (Enumerator != nullptr && Enumerator[0] != 0) {
    filter = sim::Components(Enumerator);
    bool wellFormed = filter.size() <= 2;
    for (auto part : filter) wellFormed = wellFormed && !part.empty();
    bool known = false;
    if (wellFormed && filter.size() == 1) {
      for (const auto& name : d.enumerators) known = known || wstr::EqualsAsciiNoCase(name, filter[0]);
    }
    for (const auto& device : d.devices) {
      known = known || (wellFormed && !device.removed && sim::UnderEnumerator(device.instanceId, filter));
    }
    if (!known) return SetError(ERROR_INVALID_DATA), INVALID_HANDLE_VALUE;
  }

  sim::Devices::Set set;
  for (std::size_t i = 0; i < d.devices.size(); ++i) {
    const auto& device = d.devices[i];
    if (device.removed) continue;
    if ((Flags & DIGCF_PRESENT) && !device.present) continue;
    if (!(Flags & DIGCF_ALLCLASSES) && !sim::SameGuid(device.setupClass, *ClassGuid)) continue;
    if (!filter.empty() && !sim::UnderEnumerator(device.instanceId, filter)) continue;
    sim::Devices::Element element;
    element.device = i;
    set.elements.push_back(std::move(element));
  }
  HDEVINFO h = m.handles.Open(sim::HandleKind::DeviceInfoSet);
  d.sets[h] = std::move(set);
  return h;
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex, SP_DEVINFO_DATA* DeviceInfoData) {
  if (auto e = Enter("SetupDiEnumDeviceInfo")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  auto it = m.devices.sets.find(DeviceInfoSet);
  if (it == m.devices.sets.end()) return SetError(ERROR_INVALID_HANDLE), FALSE;
  if (DeviceInfoData == nullptr) return SetError(ERROR_INVALID_PARAMETER), FALSE;
  if (DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) return SetError(ERROR_INVALID_USER_BUFFER), FALSE;
  if (MemberIndex >= it->second.elements.size()) return SetError(ERROR_NO_MORE_ITEMS), FALSE;
  const auto& element = it->second.elements[MemberIndex];
  DeviceInfoData->ClassGuid = m.devices.devices[element.device].setupClass;
  DeviceInfoData->DevInst = static_cast<DWORD>(element.device + 1);
  DeviceInfoData->Reserved = MemberIndex + 1;
  return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
  if (auto e = Enter("SetupDiDestroyDeviceInfoList")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  if (m.devices.sets.erase(DeviceInfoSet) == 0) return SetError(ERROR_INVALID_HANDLE), FALSE;
  m.handles.Close(DeviceInfoSet, sim::HandleKind::DeviceInfoSet);
  return TRUE;
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData, DWORD Property,
                                       DWORD* PropertyRegDataType, BYTE* PropertyBuffer, DWORD PropertyBufferSize,
                                       DWORD* RequiredSize) {
  if (auto e = Enter("SetupDiGetDeviceRegistryPropertyW")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  DWORD error = 0;
  auto* element = sim::FindElement(DeviceInfoSet, DeviceInfoData, error);
  if (element == nullptr) return SetError(error), FALSE;
  const auto& device = m.devices.devices[element->device];
  constexpr DWORD kLastProperty = 0x25;  // SPDRP_MAXIMUM_PROPERTY
  if (Property >= kLastProperty) return SetError(ERROR_INVALID_REG_PROPERTY), FALSE;
  const std::vector<std::u16string>* list = nullptr;
  if (Property == SPDRP_HARDWAREID) list = &device.hardwareIds;
  if (Property == SPDRP_UPPERFILTERS) list = &device.upperFilters;
  // A property the device does not have (every other one is not modelled).
  if (list == nullptr || list->empty()) return SetError(ERROR_INVALID_DATA), FALSE;
  std::u16string value = sim::MultiString(*list);
  auto bytes = static_cast<DWORD>(value.size() * sizeof(char16_t));
  if (RequiredSize != nullptr) *RequiredSize = bytes;
  if (PropertyRegDataType != nullptr) *PropertyRegDataType = REG_MULTI_SZ;
  if (PropertyBuffer == nullptr && PropertyBufferSize != 0) return SetError(ERROR_INVALID_USER_BUFFER), FALSE;
  if (PropertyBufferSize < bytes) return SetError(ERROR_INSUFFICIENT_BUFFER), FALSE;
  std::memcpy(PropertyBuffer, value.data(), bytes);
  return TRUE;
}

HKEY SetupDiOpenDevRegKey(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData, DWORD Scope, DWORD, DWORD KeyType,
                          REGSAM samDesired) {
  HKEY const failed = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
  if (auto e = Enter("SetupDiOpenDevRegKey")) return SetError(*e), failed;
  auto& m = M();
  Lock lock(m.mutex);
  DWORD error = 0;
  auto* element = sim::FindElement(DeviceInfoSet, DeviceInfoData, error);
  if (element == nullptr) return SetError(error), failed;
  if (Scope != DICS_FLAG_GLOBAL && Scope != DICS_FLAG_CONFIGSPECIFIC) return SetError(ERROR_INVALID_FLAGS), failed;
  if (KeyType != DIREG_DEV && KeyType != DIREG_DRV) return SetError(ERROR_INVALID_FLAGS), failed;
  const auto& device = m.devices.devices[element->device];
  // The software key exists once a driver has been installed.
  if (KeyType == DIREG_DRV && device.installedDriver.empty()) return SetError(ERROR_KEY_DOES_NOT_EXIST), failed;
  if (KeyType == DIREG_DEV && device.hardwareKeyError != 0) return SetError(device.hardwareKeyError), failed;
  if (!m.devices.administrator && (samDesired & ~KEY_READ) != 0) return SetError(ERROR_ACCESS_DENIED), failed;
  return static_cast<HKEY>(m.handles.Open(sim::HandleKind::RegistryKey));
}

BOOL SetupDiBuildDriverInfoList(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData, DWORD DriverType) {
  if (auto e = Enter("SetupDiBuildDriverInfoList")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  // Class-driver lists (of the set or of an element) are not modelled.
  if (DriverType != SPDIT_COMPATDRIVER) return SetError(ERROR_INVALID_PARAMETER), FALSE;
  DWORD error = 0;
  auto* element = sim::FindElement(DeviceInfoSet, DeviceInfoData, error);
  if (element == nullptr) return SetError(error), FALSE;
  if (!element->compatibleDrivers) element->compatibleDrivers = m.devices.devices[element->device].drivers;
  return TRUE;
}

BOOL SetupDiEnumDriverInfoW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData, DWORD DriverType,
                            DWORD MemberIndex, SP_DRVINFO_DATA_W* DriverInfoData) {
  if (auto e = Enter("SetupDiEnumDriverInfoW")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  DWORD error = 0;
  auto* element = sim::FindElement(DeviceInfoSet, DeviceInfoData, error);
  if (element == nullptr) return SetError(error), FALSE;
  if (DriverInfoData == nullptr) return SetError(ERROR_INVALID_PARAMETER), FALSE;
  constexpr DWORD kV1Size = offsetof(SP_DRVINFO_DATA_V2_W, DriverDate);
  DWORD size = DriverInfoData->cbSize;
  if (size != sizeof(SP_DRVINFO_DATA_V2_W) && size != kV1Size) return SetError(ERROR_INVALID_USER_BUFFER), FALSE;
  if (DriverType != SPDIT_COMPATDRIVER && DriverType != SPDIT_CLASSDRIVER) {
    return SetError(ERROR_INVALID_PARAMETER), FALSE;
  }
  // A list that was not built has no entries.
  const auto* list =
      DriverType == SPDIT_COMPATDRIVER && element->compatibleDrivers ? &*element->compatibleDrivers : nullptr;
  if (list == nullptr || MemberIndex >= list->size()) return SetError(ERROR_NO_MORE_ITEMS), FALSE;
  const sim::Driver& driver = (*list)[MemberIndex];
  std::memset(reinterpret_cast<BYTE*>(DriverInfoData) + sizeof(DWORD), 0, size - sizeof(DWORD));
  DriverInfoData->DriverType = DriverType;
  DriverInfoData->Reserved = MemberIndex + 1;
  sim::CopyCut(DriverInfoData->Description, LINE_LEN, driver.description);
  sim::CopyCut(DriverInfoData->MfgName, LINE_LEN, driver.manufacturer);
  sim::CopyCut(DriverInfoData->ProviderName, LINE_LEN, driver.provider);
  return TRUE;
}

BOOL SetupDiSetSelectedDevice(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData) {
  if (auto e = Enter("SetupDiSetSelectedDevice")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  DWORD error = 0;
  auto* element = sim::FindElement(DeviceInfoSet, DeviceInfoData, error);
  if (element == nullptr) return SetError(error), FALSE;
  m.devices.sets[DeviceInfoSet].selectedElement = DeviceInfoData->Reserved - 1;
  return TRUE;
}

BOOL SetupDiSetSelectedDriverW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                               SP_DRVINFO_DATA_W* DriverInfoData) {
  if (auto e = Enter("SetupDiSetSelectedDriverW")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  DWORD error = 0;
  auto* element = sim::FindElement(DeviceInfoSet, DeviceInfoData, error);
  if (element == nullptr) return SetError(error), FALSE;
  if (DriverInfoData == nullptr) {  // clears the selection
    element->selectedDriver.reset();
    return TRUE;
  }
  constexpr DWORD kV1Size = offsetof(SP_DRVINFO_DATA_V2_W, DriverDate);
  if (DriverInfoData->cbSize != sizeof(SP_DRVINFO_DATA_V2_W) && DriverInfoData->cbSize != kV1Size) {
    return SetError(ERROR_INVALID_USER_BUFFER), FALSE;
  }
  // The entry must come from this element's compatible-driver list.
  ULONG_PTR node = DriverInfoData->Reserved;
  if (DriverInfoData->DriverType != SPDIT_COMPATDRIVER || !element->compatibleDrivers || node == 0 ||
      node > element->compatibleDrivers->size()) {
    return SetError(ERROR_INVALID_PARAMETER), FALSE;
  }
  element->selectedDriver = node - 1;
  return TRUE;
}

BOOL SetupDiSetClassInstallParamsW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                   SP_CLASSINSTALL_HEADER* ClassInstallParams, DWORD ClassInstallParamsSize) {
  if (auto e = Enter("SetupDiSetClassInstallParamsW")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  DWORD error = 0;
  auto* element = sim::FindElement(DeviceInfoSet, DeviceInfoData, error);
  if (element == nullptr) return SetError(error), FALSE;
  if (ClassInstallParams == nullptr) {  // clears the parameters
    if (ClassInstallParamsSize != 0) return SetError(ERROR_INVALID_PARAMETER), FALSE;
    element->removeParams.reset();
    element->installFlags &= ~DI_CLASSINSTALLPARAMS;
    return TRUE;
  }
  if (ClassInstallParams->cbSize != sizeof(SP_CLASSINSTALL_HEADER)) return SetError(ERROR_INVALID_USER_BUFFER), FALSE;
  if (ClassInstallParams->InstallFunction == DIF_REMOVE) {
    if (ClassInstallParamsSize != sizeof(SP_REMOVEDEVICE_PARAMS)) return SetError(ERROR_INVALID_PARAMETER), FALSE;
    SP_REMOVEDEVICE_PARAMS params;
    std::memcpy(&params, ClassInstallParams, sizeof params);
    if (params.Scope != DI_REMOVEDEVICE_GLOBAL && params.Scope != DI_REMOVEDEVICE_CONFIGSPECIFIC) {
      return SetError(ERROR_INVALID_FLAGS), FALSE;
    }
    element->removeParams = params;
  }
  element->installFlags |= DI_CLASSINSTALLPARAMS;
  return TRUE;
}

BOOL SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData) {
  if (auto e = Enter("SetupDiCallClassInstaller")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  // Only the removal is modelled.
  if (InstallFunction != DIF_REMOVE) return SetError(ERROR_INVALID_PARAMETER), FALSE;
  DWORD error = 0;
  auto* element = sim::FindElement(DeviceInfoSet, DeviceInfoData, error);
  if (element == nullptr) return SetError(error), FALSE;
  if (!m.devices.administrator) return SetError(ERROR_ACCESS_DENIED), FALSE;
  auto& device = m.devices.devices[element->device];
  if (device.removeError != 0) return SetError(device.removeError), FALSE;
  // Without parameters the removal is global; a configuration-specific one
  // leaves the device in the other hardware profiles.
  bool global = !element->removeParams || element->removeParams->Scope == DI_REMOVEDEVICE_GLOBAL;
  if (global) device.removed = true;
  element->installFlags |= device.removeFlags;
  return TRUE;
}

BOOL SetupDiGetDeviceInstallParamsW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                    SP_DEVINSTALL_PARAMS_W* DeviceInstallParams) {
  if (auto e = Enter("SetupDiGetDeviceInstallParamsW")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  DWORD error = 0;
  // The parameters stay readable after the element's device was removed.
  auto* element = sim::FindElement(DeviceInfoSet, DeviceInfoData, error, true);
  if (element == nullptr) return SetError(error), FALSE;
  if (DeviceInstallParams == nullptr) return SetError(ERROR_INVALID_PARAMETER), FALSE;
  if (DeviceInstallParams->cbSize != sizeof(SP_DEVINSTALL_PARAMS_W)) return SetError(ERROR_INVALID_USER_BUFFER), FALSE;
  *DeviceInstallParams = SP_DEVINSTALL_PARAMS_W{};
  DeviceInstallParams->cbSize = sizeof(SP_DEVINSTALL_PARAMS_W);
  DeviceInstallParams->Flags = element->installFlags;
  return TRUE;
}

int SetupPromptReboot(HSPFILEQ FileQueue, HWND Owner, BOOL ScanOnly) {
  if (auto e = Enter("SetupPromptReboot")) return SetError(*e), -1;
  auto& m = M();
  Lock lock(m.mutex);
  m.devices.rebootPrompts.push_back(sim::RebootPrompt{FileQueue, Owner, ScanOnly});
  return m.devices.rebootPromptResult;
}

BOOL SetupSetNonInteractiveMode(BOOL NonInteractiveFlag) {
  // Recorded; the call has no way to fail. (Wine 8 accepts it and changes nothing.)
  Enter("SetupSetNonInteractiveMode");
  auto& m = M();
  Lock lock(m.mutex);
  BOOL previous = m.devices.nonInteractive ? TRUE : FALSE;
  m.devices.nonInteractive = NonInteractiveFlag != FALSE;
  return previous;
}

}  // namespace win
