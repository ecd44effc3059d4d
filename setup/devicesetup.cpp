#include "setup/devicesetup.h"

#include <string_view>

#include "common/wstr.h"
#include "setup/trace.h"
#include "setup/utilities.h"
#include "win/exports.h"
#include "win/handle.h"

namespace {

// The first string of a zero-terminated list in a zero-initialised buffer of
// `capacity` units; the buffer's last unit is never written by the read, so
// the string always ends inside it.
std::u16string_view FirstString(const char16_t* buffer, std::size_t capacity) {
  return std::u16string_view(buffer, wstr::BoundedLength(buffer, capacity));
}

}  // namespace

// --- TMSETSetupApiDeviceInfoSet ------------------------------------------------

TMSETSetupApiDeviceInfoSet::TMSETSetupApiDeviceInfoSet() : element_{} {}

TMSETSetupApiDeviceInfoSet::~TMSETSetupApiDeviceInfoSet() {
  if (!set_.Close()) {
    TracePrint(TRACE_ERROR,
               u"TMSETSetupApiDeviceInfoSet::~TMSETSetupApiDeviceInfoSet SetupDiDestroyDeviceInfoList failed! %d\n",
               win::GetLastError());
  }
}

bool TMSETSetupApiDeviceInfoSet::Enumerate(const std::u16string& enumerator, win::DWORD flags) {
  // A second opening replaces the first set.
  set_.Reset(win::SetupDiGetClassDevsW(nullptr, enumerator.c_str(), nullptr, flags));
  if (!set_) {
    TracePrint(TRACE_ERROR, u"TMSETSetupApiDeviceInfoSet::Enumerate SetupDiGetClassDevs failed! %d\n",
               win::GetLastError());
    return false;
  }
  return true;
}

bool TMSETSetupApiDeviceInfoSet::Enumerate(win::DWORD memberIndex, bool& noMoreItems) {
  noMoreItems = false;
  element_.cbSize = sizeof(win::SP_DEVINFO_DATA);
  if (win::SetupDiEnumDeviceInfo(set_.Get(), memberIndex, &element_)) return true;
  win::DWORD error = win::GetLastError();
  if (error == win::ERROR_NO_MORE_ITEMS) {
    noMoreItems = true;
    return true;
  }
  // "RVSSetupApiFilterDriverAttach": the log's name for this element step of Enumerate.
  TracePrint(TRACE_ERROR, u"RVSSetupApiFilterDriverAttach SetupDiEnumDeviceInfo failed! Error: %d\n", error);
  return false;
}

bool TMSETSetupApiDeviceInfoSet::HardwareIdCompare(const std::u16string& hardwareId, bool anyEntry) {
  constexpr win::DWORD kBytes = 2048;
  constexpr std::size_t kUnits = kBytes / sizeof(char16_t) + 1;
  char16_t list[kUnits] = {};
  if (!win::SetupDiGetDeviceRegistryPropertyW(set_.Get(), &element_, win::SPDRP_HARDWAREID, nullptr,
                                              reinterpret_cast<win::BYTE*>(list), kBytes, nullptr)) {
    TracePrint(TRACE_ERROR,
               u"TMSETSetupApiDeviceInfoSet::HardwareIdCompare SetupDiGetDeviceRegistryProperty failed! Error: %d\n",
               win::GetLastError());
    return false;
  }
  // The trace shows the device's first hardware ID, whichever entry matched.
  std::u16string_view shown = FirstString(list, kUnits);
  bool equal = wstr::StartsWithAsciiNoCase(shown, hardwareId);
  // The later entries of the list, up to the empty string that ends it.
  for (std::size_t at = shown.size() + 1; anyEntry && !equal && at < kUnits && list[at] != 0;) {
    std::u16string_view entry = FirstString(list + at, kUnits - at);
    equal = wstr::StartsWithAsciiNoCase(entry, hardwareId);
    at += entry.size() + 1;
  }
  if (equal) {
    TracePrint(TRACE_VERBOSE, u"comparing hardware IDs (%s == %s)? Equal!\n", shown, hardwareId);
    return true;
  }
  TracePrint(TRACE_VERBOSE, u"comparing hardware IDs (%s == %s)? Not equal!\n", shown, hardwareId);
  return false;
}

bool TMSETSetupApiDeviceInfoSet::RegistryPropertyCompare(win::DWORD property, const std::u16string& value) {
  constexpr win::DWORD kBytes = 520;
  char16_t buffer[kBytes / sizeof(char16_t) + 1] = {};
  if (!win::SetupDiGetDeviceRegistryPropertyW(set_.Get(), &element_, property, nullptr,
                                              reinterpret_cast<win::BYTE*>(buffer), kBytes, nullptr)) {
    return false;
  }
  return FirstString(buffer, sizeof buffer / sizeof buffer[0]) == value;
}

bool TMSETSetupApiDeviceInfoSet::DeviceKeyAccessCheck() {
  // Opened to see whether it opens; closed at once.
  win::UniqueKey key(
      win::SetupDiOpenDevRegKey(set_.Get(), &element_, win::DICS_FLAG_GLOBAL, 0, win::DIREG_DEV, win::KEY_ALL_ACCESS));
  return key.Valid();
}

bool TMSETSetupApiDeviceInfoSet::SelectedDriverSet(win::DWORD driverType, const std::u16string& manufacturer) {
  // The list built is always the compatible-driver list; `driverType` is the
  // list that is then walked.
  if (!win::SetupDiBuildDriverInfoList(set_.Get(), &element_, win::SPDIT_COMPATDRIVER)) {
    TracePrint(TRACE_ERROR, u"SetupDiBuildDriverInfoList failed. GetLastError returned: %d\n", win::GetLastError());
    return false;
  }
  win::SP_DRVINFO_DATA_V2_W driver;
  for (win::DWORD index = 0;; ++index) {
    driver.cbSize = sizeof driver;
    if (!win::SetupDiEnumDriverInfoW(set_.Get(), &element_, driverType, index, &driver)) {
      TracePrint(TRACE_ERROR, u"SetupDiEnumDriverInfo failed. GetLastError returned: %d\n", win::GetLastError());
      return false;
    }
    std::u16string_view name = FirstString(driver.MfgName, win::LINE_LEN);
    TracePrint(TRACE_SETUPAPI, u"DriverInfoData.MfgName current: \"%s\" desired: \"%s\"\n", name, manufacturer);
    if (name == manufacturer) break;
  }
  if (!win::SetupDiSetSelectedDevice(set_.Get(), &element_)) {
    TracePrint(TRACE_ERROR, u"SetupDiSetSelectedDevice failed. GetLastError returned: %d\n", win::GetLastError());
    return false;
  }
  if (!win::SetupDiSetSelectedDriverW(set_.Get(), &element_, &driver)) {
    TracePrint(TRACE_ERROR, u"SetupDiSetSelectedDriver failed. GetLastError returned: %d\n", win::GetLastError());
    return false;
  }
  return true;
}

bool TMSETSetupApiDeviceInfoSet::SelectedDriverInstall(win::LPCWSTR reserved, win::BOOL backup, win::DWORD* reboot) {
  TracePrint(TRACE_ERROR, u"SetupApi::DriverUpdate DeviceInfoSet.SelectedDriverInstall Entry!\n");
  // newdev.dll is a system DLL: only the system directory is searched, never
  // the directory the tool was started from, where anyone who could write
  // there could have put a DLL of that name.
  win::UniqueModule library(win::LoadLibraryExW(u"newdev.dll", nullptr, win::LOAD_LIBRARY_SEARCH_SYSTEM32));
  if (!library) {
    TracePrint(TRACE_ERROR, u"InstallSelectedDriver LoadLibrary failed.LastError returned %d\n", win::GetLastError());
    return false;
  }
  win::InstallSelectedDriverFn install = nullptr;
  if (!win::GetProcAddresses(library.Get(), {{"InstallSelectedDriver", install}}, [](const char*, win::DWORD error) {
        TracePrint(TRACE_ERROR, u"InstallSelectedDriver GetProcAddress failed.LastError returned %d\n", error);
      })) {
    return false;
  }
  bool result = install(win::GetDesktopWindow(), set_.Get(), reserved, backup, reboot) != 0;
  if (!result) {
    // "UpdateFn": the log's name for the InstallSelectedDriver call.
    TracePrint(TRACE_ERROR, u"InstallSelectedDriver UpdateFn failed. LastError returned %d\n", win::GetLastError());
  }
  return result;
}

bool TMSETSetupApiDeviceInfoSet::DeviceRemove(win::DWORD* reboot) {
  win::SP_REMOVEDEVICE_PARAMS params{};
  params.ClassInstallHeader.cbSize = sizeof(win::SP_CLASSINSTALL_HEADER);
  params.ClassInstallHeader.InstallFunction = win::DIF_REMOVE;
  params.Scope = win::DI_REMOVEDEVICE_GLOBAL;
  params.HwProfile = 0;
  if (!win::SetupDiSetClassInstallParamsW(set_.Get(), &element_, &params, sizeof params)) {
    // "KRCCSetupApiInternalRemoveInstance": the log's name for DeviceRemove.
    TracePrint(TRACE_ERROR, u"KRCCSetupApiInternalRemoveInstance SetupDiSetClassInstallParams failed! Error: %d\n",
               win::GetLastError());
    return false;
  }
  if (!win::SetupDiCallClassInstaller(win::DIF_REMOVE, set_.Get(), &element_)) {
    TracePrint(TRACE_ERROR, u"KRCCSetupApiInternalRemoveInstance SetupDiCallClassInstaller failed! Error: %d\n",
               win::GetLastError());
    return false;
  }
  win::SP_DEVINSTALL_PARAMS_W installParams{};
  installParams.cbSize = sizeof installParams;
  bool restart = win::SetupDiGetDeviceInstallParamsW(set_.Get(), &element_, &installParams) &&
                 (installParams.Flags & (win::DI_NEEDRESTART | win::DI_NEEDREBOOT)) != 0;
  if (restart) {
    TracePrint(TRACE_VERBOSE, u"TMSETSetupApiDeviceInfoSet::DeviceRemove Reboot => REQUIRED.\n");
  } else {
    TracePrint(TRACE_VERBOSE, u"TMSETSetupApiDeviceInfoSet::DeviceRemove Reboot => NOT REQUIRED.\n");
  }
  if (reboot != nullptr) *reboot = restart ? 1 : 0;
  return true;
}

// --- Operations ------------------------------------------------------------------

namespace SetupApi {

namespace {

// The one supported hardware revision of the mouse interface.
constexpr char16_t kWantedHardwareId[] = u"hid\\vid_0430&pid_0005&rev_0101&mi_01";
constexpr char16_t kFilterName[] = u"tovfiltr";
constexpr char16_t kManufacturer[] = u"Morvik AG";

// InstallSelectedDriver reports a needed restart as DI_NEEDREBOOT or
// DI_NEEDRESTART; a plain 1 (TRUE) is taken as a needed restart too.
bool RestartNeeded(win::DWORD indication) {
  return indication == 1 || (indication & (win::DI_NEEDRESTART | win::DI_NEEDREBOOT)) != 0;
}

// Asks the user to restart, where a user can answer.
void PromptRestart() {
  TracePrint(TRACE_VERBOSE | TRACE_SETUPAPI, u"SetupApi::DriverUpdate reboot required!\n");
  if (!Utilities::InteractiveRun) {
    // A prompt nobody can answer would never return.
    TracePrint(TRACE_VERBOSE | TRACE_SETUPAPI,
               u"SetupApi::DriverUpdate no restart prompt: the restart is left to the installer or the user\n");
  } else if (win::SetupPromptReboot(nullptr, win::GetDesktopWindow(), win::FALSE) == -1) {
    TracePrint(TRACE_ERROR, u"SetupApi::DriverUpdate SetupPromptReboot (2) failed! %d \n", win::GetLastError());
  }
}

// The walk of both device operations: opens the set of the devices under
// `deviceId` that `flags` selects, makes each element current in turn and
// hands it to `visit`. It ends after the last element, at an element that
// cannot be read, or when `visit` returns false. The traces name `operation`.
template <class Visit>
void WalkDevices(const char16_t* operation, const std::u16string& deviceId, win::DWORD flags, Visit visit) {
  TMSETSetupApiDeviceInfoSet set;
  if (!set.Enumerate(deviceId, flags)) return;  // traced there
  for (win::DWORD i = 0;; ++i) {
    TracePrint(TRACE_VERBOSE, u"%s for-loop i: %d\n", operation, i);
    bool noMoreItems = false;
    if (!set.Enumerate(i, noMoreItems)) {
      TracePrint(TRACE_VERBOSE, u"%s DeviceInfoSet.Enumerate failed\n", operation);
      return;
    }
    if (noMoreItems || !visit(set, i)) return;
  }
}

}  // namespace

bool DriverUpdate(std::u16string deviceId, std::u16string, bool* accessDenied) {
  TracePrint(TRACE_FUNCTION, u">>> SetupApi::DriverUpdate\n");
  bool result = true;
  WalkDevices(
      u"SetupApi::DriverUpdate", deviceId, win::DIGCF_PRESENT | win::DIGCF_ALLCLASSES,
      [&](TMSETSetupApiDeviceInfoSet& set, win::DWORD i) {
        if (!set.HardwareIdCompare(kWantedHardwareId)) {
          TracePrint(TRACE_VERBOSE, u"SetupApi::DriverUpdate no match for hardware ID (%s)\n", deviceId);
          return true;
        }
        if (set.RegistryPropertyCompare(win::SPDRP_UPPERFILTERS, kFilterName)) {
          // The log's text for this step, as it has always been.
          TracePrint(TRACE_VERBOSE, u"DriverUpdate DeviceInfoSet.RegistryPropertyCompare driver already installed\n");
          return true;
        }
        // The rights are tested on the first element only. Without
        // them a later element fails in the driver selection or
        // installation, which ends the run with exit code 1, not 5.
        if (i == 0 && !set.DeviceKeyAccessCheck()) {
          TracePrint(TRACE_VERBOSE, u"SetupApi::DriverUpdate not enough privileges (must be member of Admin group\n");
          if (accessDenied != nullptr) *accessDenied = true;
          return result = false;
        }
        if (!set.SelectedDriverSet(win::SPDIT_COMPATDRIVER, kManufacturer)) {
          TracePrint(TRACE_ERROR, u"SetupApi::DriverUpdate DeviceInfoSet.SelectedDriverSet failed! Index:%d\n", i);
          return result = false;
        }
        win::DWORD reboot = 0;
        if (!set.SelectedDriverInstall(nullptr, win::FALSE, &reboot)) {
          TracePrint(TRACE_ERROR, u"SetupApi::DriverUpdate DeviceInfoSet.SelectedDriverInstall failed! %d\n", i);
          return result = false;
        }
        // No line end, kept on purpose: the next message continues this line, as the log has always read.
        TracePrint(TRACE_ERROR, u"SetupApi::DriverUpdate DeviceInfoSet.SelectedDriverInstall!");
        if (RestartNeeded(reboot)) PromptRestart();
        return true;
      });
  return result;
}

bool DeviceInstancesUninstall(std::u16string deviceId) {
  TracePrint(TRACE_FUNCTION, u">>> SetupApi::DeviceInstancesUninstall\n");
  // A bare enumerator would select, and remove, every device under it.
  if (!Utilities::IsDeviceIdToken(deviceId)) {
    TracePrint(TRACE_ERROR, u"SetupApi::DeviceInstancesUninstall \"%s\" is not a device ID, nothing removed\n",
               deviceId);
    return true;
  }
  WalkDevices(u"SetupApi::DeviceInstancesUninstall", deviceId, win::DIGCF_ALLCLASSES,
              [&](TMSETSetupApiDeviceInfoSet& set, win::DWORD) {
                // The device ID of an interface like the mouse's is not where
                // its first hardware ID begins ("HID\VID_0430&PID_0005&REV_0101&MI_01"
                // comes before "HID\VID_0430&PID_0005&MI_01"), so every entry of
                // the list is looked at.
                if (!set.HardwareIdCompare(deviceId, true)) {
                  TracePrint(TRACE_VERBOSE, u"SetupApi::DeviceInstancesUninstall no match for hardware ID (%s)\n",
                             deviceId);
                } else if (win::DWORD reboot = 0; !set.DeviceRemove(&reboot)) {
                  TracePrint(TRACE_VERBOSE, u"SetupApi::DeviceInstancesUninstall DeviceInfoSet.DeviceRemove failed\n");
                }
                return true;
              });
  return true;
}

// "_tWinMain ...": the log's name for this step, which the program entry once
// did itself.
void ReEnumerate() {
  win::DEVINST root = 0;
  win::CONFIGRET cr = win::CM_Locate_DevNodeW(&root, nullptr, win::CM_LOCATE_DEVNODE_NORMAL);
  if (cr == win::CR_SUCCESS) {
    cr = win::CM_Reenumerate_DevNode(root, win::CM_REENUMERATE_NORMAL);
    if (cr != win::CR_SUCCESS) TracePrint(TRACE_ERROR, u"_tWinMain CM_Reenumerate_DevNode failed! 0x%x\n", cr);
  } else {
    TracePrint(TRACE_ERROR, u"_tWinMain CM_Locate_DevNode failed! 0x%x\n", cr);
  }
}

}  // namespace SetupApi
