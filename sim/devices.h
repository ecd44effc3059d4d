// The simulated machine's devices; see sim/machine.h.
//
// A device has an instance ID ("HID\VID_0430&PID_0005&MI_01\7&1&0&0000":
// enumerator, device ID, instance) and is present or not (a phantom). Device
// sets hold every setup class, selected by enumerator as the Configuration
// Manager's filter does (see SetupDiGetClassDevsW).
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "win/api.h"

namespace sim {

struct Library;

// A driver of a device's compatible-driver list, and what installing it does.
struct Driver {
  std::u16string description = u"Tov Mouse";
  std::u16string manufacturer;
  win::DWORD installError = 0;                               // InstallSelectedDriver fails with it when not 0
  std::vector<std::u16string> upperFilters = {u"tovfiltr"};  // the device's upper filters once installed
  win::DWORD restart = 0;                                    // InstallSelectedDriver's restart indication
};

struct Device {
  std::u16string instanceId;
  bool present = true;
  // SPDRP_HARDWAREID and SPDRP_UPPERFILTERS; an empty list: the device has no
  // such property.
  std::vector<std::u16string> hardwareIds, upperFilters{};
  std::vector<Driver> drivers{};  // compatible drivers, in the order SetupDiEnumDriverInfoW lists them
  // DIF_REMOVE fails with `removeError` when it is not 0; otherwise it
  // removes the device and leaves `removeFlags` (DI_NEEDRESTART,
  // DI_NEEDREBOOT) in the element's install parameters.
  win::DWORD removeError = 0, removeFlags = 0;

  bool removed = false;  // what happened to it
};

// One InstallSelectedDriver call that installed a driver.
struct DriverInstall {
  std::u16string instanceId;
  win::HWND parent = nullptr;
  bool reservedNull = true;
  win::BOOL backup = 0;
};

struct RebootPrompt {
  win::HSPFILEQ queue = nullptr;
  win::HWND owner = nullptr;
  win::BOOL scanOnly = 0;
};

struct Devices {
  // --- Arranged by tests -----------------------------------------------------
  std::vector<Device> devices;
  // Adds a device; returns it for further arrangement (valid until the next Add).
  Device& Add(std::u16string instanceId, std::vector<std::u16string> hardwareIds, bool present = true);
  // False: hardware keys open for reading only; no driver install, no removal.
  bool administrator = true;

  // --- Seen by tests ---------------------------------------------------------
  std::vector<DriverInstall> installs;
  std::vector<RebootPrompt> rebootPrompts;  // each answered "the user chose not to restart now"
  bool nonInteractive = false;              // SetupSetNonInteractiveMode's setting

  // --- The calls' bookkeeping -------------------------------------------------
  struct Internal {
    struct Element {
      std::size_t device = 0;                     // index in `devices`
      bool driversBuilt = false;                  // by SetupDiBuildDriverInfoList
      std::optional<std::size_t> selectedDriver;  // index in the device's drivers
      win::DWORD installFlags = 0;                // SP_DEVINSTALL_PARAMS_W.Flags
    };
    struct Set {
      std::vector<Element> elements;
      std::optional<std::size_t> selectedElement;
    };
    std::map<win::HDEVINFO, Set> sets;
  };
  Internal internal;
};

// Puts a newdev.dll with its InstallSelectedDriver export into `directory`
// (the system directory when empty).
void AddNewdev(std::u16string directory = {});

}  // namespace sim
