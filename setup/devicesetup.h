// Device setup through the Windows Setup API.
#pragma once

#include <string>

#include "win/handle.h"

// One Setup API device information set and one current element of it, with
// the operations on that element. The set is opened once with the first
// Enumerate overload, its elements are made current one by one with the
// second, and the other methods act on the current element. Every method
// traces its own failures and returns false for them.
//
// The object owns the set: destroying the object destroys the set, and with
// it the driver lists built on its elements.
class TMSETSetupApiDeviceInfoSet {
 public:
  TMSETSetupApiDeviceInfoSet();
  ~TMSETSetupApiDeviceInfoSet();
  TMSETSetupApiDeviceInfoSet(const TMSETSetupApiDeviceInfoSet&) = delete;
  TMSETSetupApiDeviceInfoSet& operator=(const TMSETSetupApiDeviceInfoSet&) = delete;

  // Opens the set of the devices under `enumerator` (an enumerator, or an
  // enumerator and a device ID), selected by SetupDiGetClassDevsW `flags`.
  bool Enumerate(const std::u16string& enumerator, win::DWORD flags);
  // Makes element `memberIndex` current; past the last element it sets
  // `noMoreItems` and still returns true.
  bool Enumerate(win::DWORD memberIndex, bool& noMoreItems);

  // True when `hardwareId` begins the element's first hardware ID (or, with
  // `anyEntry`, any entry of its hardware ID list), with only the ASCII
  // letters folded.
  bool HardwareIdCompare(const std::u16string& hardwareId, bool anyEntry = false);
  // True when the first string of the element's `property` is `value`
  // exactly. A property that cannot be read gives false, without a trace.
  bool RegistryPropertyCompare(win::DWORD property, const std::u16string& value);
  // True when the element's hardware key opens with full access (the caller
  // has administrative rights). No trace.
  bool DeviceKeyAccessCheck();
  // Makes the element the set's selected device and the first driver of its
  // `driverType` list from `manufacturer` (whole name, case-sensitive) its
  // selected driver.
  bool SelectedDriverSet(win::DWORD driverType, const std::u16string& manufacturer);
  // Installs the selected driver on the selected device with newdev.dll's
  // InstallSelectedDriver; `reboot` receives its restart indication.
  bool SelectedDriverInstall(win::LPCWSTR reserved, win::BOOL backup, win::DWORD* reboot);
  // Removes the element's device globally. `reboot`, when not null, receives
  // 1 when the removal needs a restart and 0 otherwise.
  bool DeviceRemove(win::DWORD* reboot);

 private:
  win::UniqueDevInfo set_;
  win::SP_DEVINFO_DATA element_;
};

namespace SetupApi {

// Installs the filter's driver on every present matching device under
// `deviceId` that lacks it. False when the walk stopped on a failure;
// `accessDenied` is set when that failure was a lack of rights.
bool DriverUpdate(std::u16string deviceId, std::u16string unused, bool* accessDenied);

// Removes every device instance, present or not, under `deviceId` one of
// whose hardware IDs begins with it. A token that is no device ID (a bare
// enumerator) is refused. Always true; failures are traced.
bool DeviceInstancesUninstall(std::u16string deviceId);

// Asks Plug and Play to re-enumerate the whole device tree. Failures are
// traced.
void ReEnumerate();

}  // namespace SetupApi
