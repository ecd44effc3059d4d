// Devices: device information sets, driver installation and removal, and the
// Configuration Manager's device tree; see sim/devices.h.
#include "sim/devices.h"

#include <cstring>
#include <utility>

#include "sim/machine.h"

namespace sim {
namespace {

using Element = Devices::Internal::Element;

// The element that `data` names in `set`, or null with the error Windows gives.
Element* FindElement(win::HDEVINFO set, const win::SP_DEVINFO_DATA* data) {
  auto it = M().devices.internal.sets.find(set);
  if (it == M().devices.internal.sets.end()) return SetError(win::ERROR_INVALID_HANDLE), nullptr;
  if (data->cbSize != sizeof(win::SP_DEVINFO_DATA)) return SetError(win::ERROR_INVALID_USER_BUFFER), nullptr;
  return &it->second.elements.at(data->Reserved - 1);  // an element of another set: a fault of the caller
}

// The export of the simulated newdev.dll.
win::BOOL TOV_WINAPI InstallSelectedDriver(win::HWND hwndParent, win::HDEVINFO DeviceInfoSet, win::LPCWSTR Reserved,
                                           win::BOOL Backup, win::DWORD* bReboot) {
  SIM_CALL(0);
  Devices& d = M().devices;
  auto it = d.internal.sets.find(DeviceInfoSet);
  if (it == d.internal.sets.end()) return SetError(win::ERROR_INVALID_HANDLE), 0;
  if (!it->second.selectedElement) return SetError(win::ERROR_NO_DEVICE_SELECTED), 0;
  Element& element = it->second.elements[*it->second.selectedElement];
  Device& device = d.devices[element.device];
  if (!element.selectedDriver) return SetError(win::ERROR_NO_DRIVER_SELECTED), 0;
  if (!d.administrator) return SetError(win::ERROR_ACCESS_DENIED), 0;
  const Driver& driver = device.drivers[*element.selectedDriver];
  if (driver.installError != 0) return SetError(driver.installError), 0;
  device.upperFilters = driver.upperFilters;
  d.installs.push_back(DriverInstall{device.instanceId, hwndParent, Reserved == nullptr, Backup});
  if (bReboot != nullptr) *bReboot = driver.restart;
  return 1;
}

}  // namespace

Device& Devices::Add(std::u16string instanceId, std::vector<std::u16string> hardwareIds, bool present) {
  return devices.emplace_back(Device{.instanceId = instanceId, .present = present, .hardwareIds = hardwareIds});
}

void AddNewdev(std::u16string directory) {
  Lock lock(M().mutex);
  directory = directory.empty() ? M().systemDirectory : directory;
  M().libraries.push_back(
      Library{directory + u"\\newdev.dll", {{"InstallSelectedDriver", AsExport(&InstallSelectedDriver)}}});
}

}  // namespace sim

namespace win {

using sim::FindElement;
using sim::SetError;

// The enumerator: an enumerator ("HID"), or an enumerator and a device ID in
// the Configuration Manager filter's shape; the devices under it are those
// whose instance IDs go on from it with a backslash. One that names no device
// gives an empty set, as under Wine (Microsoft documents no error for it).
HDEVINFO SetupDiGetClassDevsW(const GUID* ClassGuid, LPCWSTR Enumerator, HWND, DWORD Flags) {
  SIM_CALL(INVALID_HANDLE_VALUE,
           ClassGuid == nullptr && Enumerator != nullptr && Enumerator[0] != 0 &&
               (Flags & ~DIGCF_PRESENT) == DIGCF_ALLCLASSES,
           "a set of one setup class, of interfaces, or without an enumerator");
  auto& d = m.devices;
  std::u16string_view e(Enumerator);
  sim::Devices::Internal::Set set;
  for (std::size_t i = 0; i < d.devices.size(); ++i) {
    const std::u16string& id = d.devices[i].instanceId;
    bool under = id.size() > e.size() && id[e.size()] == u'\\' && wstr::StartsWithAsciiNoCase(id, e);
    if (under && !d.devices[i].removed && ((Flags & DIGCF_PRESENT) == 0 || d.devices[i].present)) {
      set.elements.emplace_back().device = i;
    }
  }
  HDEVINFO h = m.handles.Open(sim::HandleKind::DeviceInfoSet);
  d.internal.sets[h] = std::move(set);
  return h;
}

// The element's class GUID is left as it was: nobody reads it.
BOOL SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex, SP_DEVINFO_DATA* DeviceInfoData) {
  SIM_CALL(FALSE);
  auto& sets = m.devices.internal.sets;
  auto it = sets.find(DeviceInfoSet);
  if (it == sets.end()) return SetError(ERROR_INVALID_HANDLE), FALSE;
  if (DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) return SetError(ERROR_INVALID_USER_BUFFER), FALSE;
  if (MemberIndex >= it->second.elements.size()) return SetError(ERROR_NO_MORE_ITEMS), FALSE;
  DeviceInfoData->DevInst = static_cast<DWORD>(it->second.elements[MemberIndex].device + 1);
  DeviceInfoData->Reserved = MemberIndex + 1;
  return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
  SIM_CALL(FALSE);
  if (m.devices.internal.sets.erase(DeviceInfoSet) == 0) return SetError(ERROR_INVALID_HANDLE), FALSE;
  return m.handles.Close(DeviceInfoSet, sim::HandleKind::DeviceInfoSet);
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData, DWORD Property,
                                       DWORD* PropertyRegDataType, BYTE* PropertyBuffer, DWORD PropertyBufferSize,
                                       DWORD* RequiredSize) {
  SIM_CALL(FALSE, Property == SPDRP_HARDWAREID || Property == SPDRP_UPPERFILTERS,
           "another property than the hardware IDs and the upper filters");
  auto* element = FindElement(DeviceInfoSet, DeviceInfoData);
  if (element == nullptr) return FALSE;
  const auto& device = m.devices.devices[element->device];
  const auto& list = Property == SPDRP_HARDWAREID ? device.hardwareIds : device.upperFilters;
  if (list.empty()) return SetError(ERROR_INVALID_DATA), FALSE;  // the device has no such property
  std::u16string value;  // REG_MULTI_SZ: each string with its terminator, then one more
  for (const auto& s : list) value.append(s).push_back(0);
  value.push_back(0);
  auto bytes = static_cast<DWORD>(value.size() * sizeof(char16_t));
  if (RequiredSize != nullptr) *RequiredSize = bytes;
  if (PropertyRegDataType != nullptr) *PropertyRegDataType = REG_MULTI_SZ;
  if (PropertyBufferSize < bytes) return SetError(ERROR_INSUFFICIENT_BUFFER), FALSE;
  std::memcpy(PropertyBuffer, value.data(), bytes);
  return TRUE;
}

HKEY SetupDiOpenDevRegKey(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData, DWORD Scope, DWORD, DWORD KeyType,
                          REGSAM samDesired) {
  HKEY const failed = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
  SIM_CALL(failed, Scope == DICS_FLAG_GLOBAL && KeyType == DIREG_DEV, "another key than the hardware key");
  if (FindElement(DeviceInfoSet, DeviceInfoData) == nullptr) return failed;
  if (!m.devices.administrator && (samDesired & ~KEY_READ) != 0) return SetError(ERROR_ACCESS_DENIED), failed;
  return static_cast<HKEY>(m.handles.Open(sim::HandleKind::RegistryKey));
}

LSTATUS RegCloseKey(HKEY hKey) {
  SIM_CALL(static_cast<LSTATUS>(*call.fault));
  return static_cast<LSTATUS>(m.handles.Close(hKey, sim::HandleKind::RegistryKey) ? ERROR_SUCCESS
                                                                                  : ERROR_INVALID_HANDLE);
}

BOOL SetupDiBuildDriverInfoList(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData, DWORD DriverType) {
  SIM_CALL(FALSE, DriverType == SPDIT_COMPATDRIVER, "a class-driver list");
  auto* element = FindElement(DeviceInfoSet, DeviceInfoData);
  if (element == nullptr) return FALSE;
  element->driversBuilt = true;
  return TRUE;
}

BOOL SetupDiEnumDriverInfoW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData, DWORD DriverType,
                            DWORD MemberIndex, SP_DRVINFO_DATA_W* DriverInfoData) {
  SIM_CALL(FALSE, DriverType == SPDIT_COMPATDRIVER && DriverInfoData->cbSize == sizeof(SP_DRVINFO_DATA_V2_W),
           "a class-driver list, or the first version of the driver record");
  auto* element = FindElement(DeviceInfoSet, DeviceInfoData);
  if (element == nullptr) return FALSE;
  // A list that was not built has no entries.
  const auto& drivers = m.devices.devices[element->device].drivers;
  if (!element->driversBuilt || MemberIndex >= drivers.size()) return SetError(ERROR_NO_MORE_ITEMS), FALSE;
  *DriverInfoData = SP_DRVINFO_DATA_V2_W{};
  DriverInfoData->cbSize = sizeof(SP_DRVINFO_DATA_V2_W);
  DriverInfoData->DriverType = DriverType;
  DriverInfoData->Reserved = MemberIndex + 1;
  wstr::CopyToBuffer(DriverInfoData->Description, LINE_LEN, drivers[MemberIndex].description);
  wstr::CopyToBuffer(DriverInfoData->MfgName, LINE_LEN, drivers[MemberIndex].manufacturer);
  return TRUE;
}

BOOL SetupDiSetSelectedDevice(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData) {
  SIM_CALL(FALSE);
  if (FindElement(DeviceInfoSet, DeviceInfoData) == nullptr) return FALSE;
  m.devices.internal.sets[DeviceInfoSet].selectedElement = DeviceInfoData->Reserved - 1;
  return TRUE;
}

BOOL SetupDiSetSelectedDriverW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                               SP_DRVINFO_DATA_W* DriverInfoData) {
  SIM_CALL(FALSE);
  auto* element = FindElement(DeviceInfoSet, DeviceInfoData);
  if (element == nullptr) return FALSE;
  // The entry must come from this element's compatible-driver list.
  ULONG_PTR entry = DriverInfoData->Reserved;
  if (DriverInfoData->cbSize != sizeof(SP_DRVINFO_DATA_V2_W) || DriverInfoData->DriverType != SPDIT_COMPATDRIVER ||
      !element->driversBuilt || entry == 0 || entry > m.devices.devices[element->device].drivers.size()) {
    return SetError(ERROR_INVALID_PARAMETER), FALSE;
  }
  element->selectedDriver = entry - 1;
  return TRUE;
}

// The only parameters are those of a global removal, which is also what a
// removal without parameters does: nothing needs keeping.
BOOL SetupDiSetClassInstallParamsW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                   SP_REMOVEDEVICE_PARAMS* ClassInstallParams, DWORD ClassInstallParamsSize) {
  SIM_CALL(FALSE);
  const SP_REMOVEDEVICE_PARAMS p = ClassInstallParamsSize == sizeof p ? *ClassInstallParams : SP_REMOVEDEVICE_PARAMS{};
  SIM_ONLY(p.ClassInstallHeader.InstallFunction == DIF_REMOVE && p.Scope == DI_REMOVEDEVICE_GLOBAL,
           "other parameters than those of a global removal");
  if (FindElement(DeviceInfoSet, DeviceInfoData) == nullptr) return FALSE;
  if (p.ClassInstallHeader.cbSize != sizeof(SP_CLASSINSTALL_HEADER)) return SetError(ERROR_INVALID_USER_BUFFER), FALSE;
  return TRUE;
}

BOOL SetupDiCallClassInstaller(DI_FUNCTION InstallFunction, HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData) {
  SIM_CALL(FALSE, InstallFunction == DIF_REMOVE, "another function than the removal");
  auto* element = FindElement(DeviceInfoSet, DeviceInfoData);
  if (element == nullptr) return FALSE;
  if (!m.devices.administrator) return SetError(ERROR_ACCESS_DENIED), FALSE;
  auto& device = m.devices.devices[element->device];
  if (device.removeError != 0) return SetError(device.removeError), FALSE;
  device.removed = true;
  element->installFlags |= device.removeFlags;
  return TRUE;
}

BOOL SetupDiGetDeviceInstallParamsW(HDEVINFO DeviceInfoSet, SP_DEVINFO_DATA* DeviceInfoData,
                                    SP_DEVINSTALL_PARAMS_W* DeviceInstallParams) {
  SIM_CALL(FALSE);
  auto* element = FindElement(DeviceInfoSet, DeviceInfoData);
  if (element == nullptr) return FALSE;
  if (DeviceInstallParams->cbSize != sizeof(SP_DEVINSTALL_PARAMS_W)) return SetError(ERROR_INVALID_USER_BUFFER), FALSE;
  *DeviceInstallParams = SP_DEVINSTALL_PARAMS_W{};
  DeviceInstallParams->cbSize = sizeof(SP_DEVINSTALL_PARAMS_W);
  DeviceInstallParams->Flags = element->installFlags;
  return TRUE;
}

int SetupPromptReboot(HSPFILEQ FileQueue, HWND Owner, BOOL ScanOnly) {
  SIM_CALL(-1);
  m.devices.rebootPrompts.push_back(sim::RebootPrompt{FileQueue, Owner, ScanOnly});
  return SPFILEQ_REBOOT_RECOMMENDED;
}

// Recorded; the call has no way to fail. (Wine 8 accepts it and changes nothing.)
BOOL SetupSetNonInteractiveMode(BOOL NonInteractiveFlag) {
  sim::Call call(__func__);
  return std::exchange(sim::M().devices.nonInteractive, NonInteractiveFlag != FALSE) ? TRUE : FALSE;
}

// The device tree: only its root is modelled.
CONFIGRET CM_Locate_DevNodeW(DEVINST* pdnDevInst, DEVINSTID_W pDeviceID, ULONG) {
  SIM_CALL(*call.fault, pDeviceID == nullptr, "another device node than the root");
  *pdnDevInst = 1;
  return CR_SUCCESS;
}

CONFIGRET CM_Reenumerate_DevNode(DEVINST dnDevInst, ULONG ulFlags) {
  SIM_CALL(*call.fault);
  if (dnDevInst != 1) return 0x5;  // CR_INVALID_DEVNODE
  m.reenumerations.emplace_back(dnDevInst, ulFlags);
  return CR_SUCCESS;
}

}  // namespace win
