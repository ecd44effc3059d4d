// Driver update and device instance removal, run through the whole tool
// against simulated devices.
#include "sim/devices.h"

#include <string>
#include <vector>

#include "setup/setupapi.h"
#include "sim_test.h"

namespace {

constexpr char16_t kDeviceId[] = u"HID\\VID_0430&PID_0005&MI_01";
constexpr char16_t kUpdate[] = u"-DriverUpdate,HID\\VID_0430&PID_0005&MI_01,NULL";
constexpr char16_t kUninstall[] = u"-DeviceInstancesUninstall,HID\\VID_0430&PID_0005&MI_01";

sim::Driver Morvik(std::u16string description = u"Tov Mouse", win::DWORD restart = 0) {
  sim::Driver d;
  d.description = std::move(description);
  d.manufacturer = u"Morvik AG";
  d.restart = restart;
  return d;
}

class Devices : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::AddNewdev();
  }

  // A mouse interface instance with the hardware IDs Windows gives it.
  static sim::Device& AddMouse(const std::u16string& instance, std::u16string revision = u"0101", bool present = true) {
    sim::Device& d = sim::M().devices.Add(std::u16string(kDeviceId) + u"\\" + instance,
                                          {u"HID\\VID_0430&PID_0005&REV_" + revision + u"&MI_01",
                                           u"HID\\VID_0430&PID_0005&MI_01", u"HID_DEVICE_SYSTEM_MOUSE"},
                                          present);
    d.drivers = {Morvik()};
    return d;
  }
  static sim::Device& Mouse(std::size_t i) { return sim::M().devices.devices.at(i); }

  // The operation's lines: the log after the banner and the parameter lines.
  static Lines OperationLog() {
    Lines lines = LogAfterBanner();
    while (!lines.empty() && lines.front().rfind("Parameter[", 0) == 0) lines.erase(lines.begin());
    return lines;
  }
  static bool Logged(const std::string& line) {
    Lines lines = LogLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  static bool NothingOpen() { return sim::M().handles.CountAll() == 0; }
};

// --- Driver update ---------------------------------------------------------

TEST_F(Devices, UpdateInstallsTheDriverOnAMatchingDevice) {
  AddMouse(u"7&1&0&0000");
  EXPECT_EQ(Run(kUpdate), 0);
  EXPECT_EQ(OperationLog(),
            (Lines{">>> SetupApi::DriverUpdate", "SetupApi::DriverUpdate for-loop i: 0",
                   "comparing hardware IDs (HID\\VID_0430&PID_0005&REV_0101&MI_01 == "
                   "hid\\vid_0430&pid_0005&rev_0101&mi_01)? Equal!",
                   "DriverInfoData.MfgName current: \"Morvik AG\" desired: \"Morvik AG\"",
                   "SetupApi::DriverUpdate DeviceInfoSet.SelectedDriverInstall Entry!",
                   // The success line has no line end of its own.
                   "SetupApi::DriverUpdate DeviceInfoSet.SelectedDriverInstall!SetupApi::DriverUpdate for-loop i: 1"}));
  EXPECT_EQ(Mouse(0).upperFilters, (std::vector<std::u16string>{u"tovfiltr"}));
  ASSERT_EQ(sim::M().devices.installs.size(), 1u);
  const auto& install = sim::M().devices.installs[0];
  EXPECT_EQ(install.parent, win::GetDesktopWindow());
  EXPECT_TRUE(install.reservedNull);
  EXPECT_EQ(install.backup, win::FALSE);
  EXPECT_EQ(sim::M().libraryLoads, (std::vector<std::u16string>{u"C:\\Windows\\System32\\newdev.dll"}));
  EXPECT_TRUE(sim::M().devices.rebootPrompts.empty());
  EXPECT_TRUE(NothingOpen());

  // The next run finds the filter in place and changes nothing.
  EXPECT_EQ(Run(kUpdate), 0);
  EXPECT_TRUE(Logged("DriverUpdate DeviceInfoSet.RegistryPropertyCompare driver already installed"));
  EXPECT_EQ(sim::M().devices.installs.size(), 1u);
}

TEST_F(Devices, UpdateOverNothingSucceeds) {
  // The device ID has never been seen: the set cannot be opened.
  EXPECT_EQ(Run(kUpdate), 0);
  EXPECT_EQ(OperationLog(), (Lines{">>> SetupApi::DriverUpdate",
                                   "TMSETSetupApiDeviceInfoSet::Enumerate SetupDiGetClassDevs failed! 13"}));
  // Only a phantom: the set of present devices is empty.
  sim::Reset();
  AddMouse(u"7&1&0&0000", u"0101", false);
  EXPECT_EQ(Run(kUpdate), 0);
  EXPECT_EQ(OperationLog(), (Lines{">>> SetupApi::DriverUpdate", "SetupApi::DriverUpdate for-loop i: 0"}));
  EXPECT_TRUE(NothingOpen());
}

TEST_F(Devices, UpdateSkipsOtherRevisionsAndDevicesAlreadyDone) {
  AddMouse(u"1", u"0102");
  AddMouse(u"2").upperFilters = {u"tovfiltr", u"other"};
  AddMouse(u"3").upperFilters = {u"TOVFILTR"};            // not the same name
  AddMouse(u"4").upperFilters = {u"other", u"tovfiltr"};  // not first
  EXPECT_EQ(Run(kUpdate), 0);
  // The no-match line shows the device ID the run was given.
  EXPECT_TRUE(Logged("SetupApi::DriverUpdate no match for hardware ID (HID\\VID_0430&PID_0005&MI_01)"));
  EXPECT_TRUE(Logged("DriverUpdate DeviceInfoSet.RegistryPropertyCompare driver already installed"));
  ASSERT_EQ(sim::M().devices.installs.size(), 2u);
  EXPECT_EQ(sim::M().devices.installs[0].instanceId, Mouse(2).instanceId);
  EXPECT_EQ(sim::M().devices.installs[1].instanceId, Mouse(3).instanceId);
  EXPECT_TRUE(Mouse(0).upperFilters.empty());
}

TEST_F(Devices, UpdateWithoutRightsOverDevicesAlreadyDoneSucceeds) {
  sim::M().devices.administrator = false;
  AddMouse(u"1").upperFilters = {u"tovfiltr"};
  AddMouse(u"2").upperFilters = {u"tovfiltr"};
  EXPECT_EQ(Run(kUpdate), 0);
  EXPECT_TRUE(NothingOpen());
}

TEST_F(Devices, UpdateWithoutRightsExitsWithAccessDenied) {
  sim::M().devices.administrator = false;
  AddMouse(u"1");
  AddMouse(u"2");
  EXPECT_EQ(Run(kUpdate), 5);
  Lines log = OperationLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "SetupApi::DriverUpdate not enough privileges (must be member of Admin group");
  EXPECT_EQ(log.back(), "SetupApi::DriverUpdate ERROR_ACCESS_DENIED!");
  EXPECT_TRUE(sim::M().devices.installs.empty());
  EXPECT_TRUE(NothingOpen());
}

TEST_F(Devices, RightsAreTestedOnTheFirstElementOnly) {
  auto keyOpens = [] {
    const auto& calls = sim::M().calls;
    return std::count(calls.begin(), calls.end(), "SetupDiOpenDevRegKey");
  };
  // With rights, two devices to update: one test, at element 0.
  AddMouse(u"1");
  AddMouse(u"2");
  EXPECT_EQ(Run(kUpdate), 0);
  EXPECT_EQ(keyOpens(), 1);
  EXPECT_EQ(sim::M().devices.installs.size(), 2u);

  // Without rights, when only a later element needs the update: no test; the
  // installation is denied and the run fails without the access-denied code.
  sim::Reset();
  sim::AddNewdev();
  sim::M().devices.administrator = false;
  AddMouse(u"1", u"0102");
  AddMouse(u"2").upperFilters = {u"tovfiltr"};
  AddMouse(u"3");
  EXPECT_EQ(Run(kUpdate), 1);
  EXPECT_EQ(keyOpens(), 0);
  EXPECT_FALSE(Logged("SetupApi::DriverUpdate not enough privileges (must be member of Admin group"));
  EXPECT_TRUE(Logged("SetupApi::DriverUpdate DeviceInfoSet.SelectedDriverInstall failed! 2"));
  EXPECT_EQ(OperationLog().back(), "SetupApi::DriverUpdate failed!");
  EXPECT_TRUE(sim::M().devices.installs.empty());
}

TEST_F(Devices, EachNeededRestartIsPromptedAndAFailedPromptDoesNotStopTheWalk) {
  AddMouse(u"1").drivers = {Morvik(u"Tov Mouse", win::DI_NEEDREBOOT)};
  AddMouse(u"2").drivers = {Morvik(u"Tov Mouse", 0)};
  AddMouse(u"3").drivers = {Morvik(u"Tov Mouse", win::DI_NEEDRESTART)};
  AddMouse(u"4").drivers = {Morvik(u"Tov Mouse", 1)};
  AddMouse(u"5").drivers = {Morvik(u"Tov Mouse", 1)};
  sim::M().FailCall("SetupPromptReboot", 3, win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(kUpdate), 0);
  EXPECT_TRUE(Logged("SetupApi::DriverUpdate SetupPromptReboot (2) failed! 5 "));
  const auto& prompts = sim::M().devices.rebootPrompts;
  ASSERT_EQ(prompts.size(), 3u);
  for (const auto& p : prompts) {
    EXPECT_EQ(p.queue, nullptr);
    EXPECT_EQ(p.owner, win::GetDesktopWindow());
    EXPECT_EQ(p.scanOnly, win::FALSE);
  }
  int required = 0;
  // Each follows the success line, which has no line end.
  for (const auto& line : LogLines()) {
    required += line ==
                "SetupApi::DriverUpdate DeviceInfoSet.SelectedDriverInstall!SetupApi::DriverUpdate reboot "
                "required!";
  }
  EXPECT_EQ(required, 4);
  EXPECT_EQ(sim::M().devices.installs.size(), 5u);
}

TEST_F(Devices, AFailedSelectionStopsTheWalk) {
  AddMouse(u"1");
  sim::Driver other;
  other.manufacturer = u"morvik ag";  // the name is compared with its case
  AddMouse(u"2").drivers = {other};
  AddMouse(u"3");
  EXPECT_EQ(Run(kUpdate), 1);
  Lines log = OperationLog();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[log.size() - 4], "DriverInfoData.MfgName current: \"morvik ag\" desired: \"Morvik AG\"");
  EXPECT_EQ(log[log.size() - 3], "SetupDiEnumDriverInfo failed. GetLastError returned: 259");
  EXPECT_EQ(log[log.size() - 2], "SetupApi::DriverUpdate DeviceInfoSet.SelectedDriverSet failed! Index:1");
  EXPECT_EQ(log.back(), "SetupApi::DriverUpdate failed!");
  ASSERT_EQ(sim::M().devices.installs.size(), 1u);
  EXPECT_TRUE(Mouse(2).upperFilters.empty());
  EXPECT_TRUE(NothingOpen());
}

TEST_F(Devices, TheFirstListedDriverOfTheManufacturerIsInstalled) {
  sim::Driver other;
  other.manufacturer = u"Other Corp";
  AddMouse(u"1").drivers = {other, Morvik(u"first"), Morvik(u"second")};
  EXPECT_EQ(Run(kUpdate), 0);
  EXPECT_EQ(Mouse(0).installedDriver, u"first");
  EXPECT_TRUE(Logged("DriverInfoData.MfgName current: \"Other Corp\" desired: \"Morvik AG\""));
}

TEST_F(Devices, AFailedInstallationStopsTheWalk) {
  AddMouse(u"1").drivers[0].installError = win::ERROR_GEN_FAILURE;
  AddMouse(u"2");
  EXPECT_EQ(Run(kUpdate), 1);
  Lines log = OperationLog();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "InstallSelectedDriver UpdateFn failed. LastError returned 31");
  EXPECT_EQ(log[log.size() - 2], "SetupApi::DriverUpdate DeviceInfoSet.SelectedDriverInstall failed! 0");
  EXPECT_TRUE(sim::M().devices.installs.empty());
  EXPECT_TRUE(NothingOpen());
}

TEST_F(Devices, HardwareIdsArePrefixesWithOnlyAsciiFolded) {
  AddMouse(u"1").hardwareIds[0] = u"hid\\VID_0430&pid_0005&REV_0101&MI_01&Col02";  // a prefix, any ASCII case
  AddMouse(u"2").hardwareIds = {u"HID\\VID_0430&PID_0005&MI_01", u"HID\\VID_0430&PID_0005&REV_0101&MI_01"};
  AddMouse(u"3").hardwareIds[0] = u"\u0130D\\VID_0430&PID_0005&REV_0101&MI_01";  // capital I with dot is no "i"
  EXPECT_EQ(Run(kUpdate), 0);
  ASSERT_EQ(sim::M().devices.installs.size(), 1u);
  EXPECT_EQ(sim::M().devices.installs[0].instanceId, Mouse(0).instanceId);
}

TEST_F(Devices, PropertiesLongerThanTheirBuffersCannotBeRead) {
  // 2048 bytes of hardware IDs still fit; 2050 do not.
  auto ids = [](std::size_t padding) {
    return std::vector<std::u16string>{u"HID\\VID_0430&PID_0005&REV_0101&MI_01", std::u16string(padding, u'X')};
  };
  AddMouse(u"1").hardwareIds = ids(985);  // 37 + 986 + 1 units
  AddMouse(u"2").hardwareIds = ids(986);
  // 520 bytes of upper filters still fit; beyond, the filter counts as missing.
  AddMouse(u"3").upperFilters = {u"tovfiltr", std::u16string(249, u'f')};  // 9 + 250 + 1 units
  AddMouse(u"4").upperFilters = {u"tovfiltr", std::u16string(250, u'f')};
  EXPECT_EQ(Run(kUpdate), 0);
  EXPECT_TRUE(
      Logged("TMSETSetupApiDeviceInfoSet::HardwareIdCompare SetupDiGetDeviceRegistryProperty failed! Error: 122"));
  ASSERT_EQ(sim::M().devices.installs.size(), 2u);
  EXPECT_EQ(sim::M().devices.installs[0].instanceId, Mouse(0).instanceId);
  EXPECT_EQ(sim::M().devices.installs[1].instanceId, Mouse(3).instanceId);
}

TEST_F(Devices, NewdevIsLoadedFromTheSystemDirectoryOnly) {
  // A newdev.dll beside the tool (planted where the installer runs it from)
  // is never loaded, with or without the system's own.
  std::u16string toolDir = sim::FileSystem::DirectoryOf(sim::M().modulePath);
  sim::Reset();
  sim::AddNewdev(toolDir);
  AddMouse(u"1");
  EXPECT_EQ(Run(kUpdate), 1);
  EXPECT_TRUE(Logged("InstallSelectedDriver LoadLibrary failed.LastError returned 126"));
  EXPECT_TRUE(sim::M().libraryLoads.empty());
  EXPECT_TRUE(sim::M().devices.installs.empty());

  sim::AddNewdev();
  EXPECT_EQ(Run(kUpdate), 0);
  EXPECT_EQ(sim::M().libraryLoads, (std::vector<std::u16string>{u"C:\\Windows\\System32\\newdev.dll"}));
}

TEST_F(Devices, NewdevWithoutItsExportIsFreedAgain) {
  sim::Reset();
  sim::AddNewdev({}, false);
  AddMouse(u"1");
  EXPECT_EQ(Run(kUpdate), 1);
  Lines log = OperationLog();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[log.size() - 3], "InstallSelectedDriver GetProcAddress failed.LastError returned 127");
  EXPECT_EQ(log[log.size() - 2], "SetupApi::DriverUpdate DeviceInfoSet.SelectedDriverInstall failed! 0");
  EXPECT_EQ(sim::M().handles.Count(sim::HandleKind::Module), 0u);
  EXPECT_TRUE(NothingOpen());
}

// Each failing call on the way, with the line it leaves and the exit code.
TEST_F(Devices, EachSetupApiFailureIsTracedWithItsError) {
  struct Case {
    const char* call;
    std::string line;
    int exitCode;
  };
  const Case cases[] = {
      {"SetupDiGetClassDevsW", "TMSETSetupApiDeviceInfoSet::Enumerate SetupDiGetClassDevs failed! 31", 0},
      {"SetupDiEnumDeviceInfo", "RVSSetupApiFilterDriverAttach SetupDiEnumDeviceInfo failed! Error: 31", 0},
      {"SetupDiGetDeviceRegistryPropertyW",
       "TMSETSetupApiDeviceInfoSet::HardwareIdCompare SetupDiGetDeviceRegistryProperty failed! Error: 31", 0},
      {"SetupDiOpenDevRegKey", "SetupApi::DriverUpdate not enough privileges (must be member of Admin group", 5},
      {"SetupDiBuildDriverInfoList", "SetupDiBuildDriverInfoList failed. GetLastError returned: 31", 1},
      {"SetupDiEnumDriverInfoW", "SetupDiEnumDriverInfo failed. GetLastError returned: 31", 1},
      {"SetupDiSetSelectedDevice", "SetupDiSetSelectedDevice failed. GetLastError returned: 31", 1},
      {"SetupDiSetSelectedDriverW", "SetupDiSetSelectedDriver failed. GetLastError returned: 31", 1},
      {"LoadLibraryExW", "InstallSelectedDriver LoadLibrary failed.LastError returned 31", 1},
      {"GetProcAddress", "InstallSelectedDriver GetProcAddress failed.LastError returned 31", 1},
      {"InstallSelectedDriver", "InstallSelectedDriver UpdateFn failed. LastError returned 31", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    sim::Reset();
    sim::AddNewdev();
    AddMouse(u"1");
    sim::M().FailCall(c.call, 1, win::ERROR_GEN_FAILURE);
    EXPECT_EQ(Run(kUpdate), c.exitCode);
    EXPECT_TRUE(Logged(c.line));
    EXPECT_TRUE(sim::M().devices.installs.empty());
    EXPECT_TRUE(NothingOpen());
  }
}

// --- The enumerator ----------------------------------------------------------

TEST_F(Devices, TheSetHoldsTheDevicesUnderTheEnumerator) {
  AddMouse(u"1");
  AddMouse(u"2", u"0101", false);
  sim::M().devices.Add(u"HID\\VID_0430&PID_0005&MI_00\\1", {u"HID\\VID_0430&PID_0005&REV_0101&MI_00"});
  sim::M().devices.Add(u"USB\\VID_0430&PID_0005\\1", {u"USB\\VID_0430&PID_0005&REV_0101"});
  auto count = [](const std::u16string& enumerator, win::DWORD flags) {
    TMSETSetupApiDeviceInfoSet set;
    if (!set.Enumerate(enumerator, flags)) return -1;
    for (win::DWORD i = 0;; ++i) {
      bool end = false;
      if (!set.Enumerate(i, end)) return -2;
      if (end) return static_cast<int>(i);
    }
  };
  constexpr win::DWORD kPresent = win::DIGCF_PRESENT | win::DIGCF_ALLCLASSES;
  EXPECT_EQ(count(kDeviceId, kPresent), 1);
  EXPECT_EQ(count(kDeviceId, win::DIGCF_ALLCLASSES), 2);
  EXPECT_EQ(count(u"hid\\vid_0430&pid_0005&mi_01", kPresent), 1);
  EXPECT_EQ(count(u"HID", win::DIGCF_ALLCLASSES), 3);
  EXPECT_EQ(count(u"PCI", win::DIGCF_ALLCLASSES), 0);
  // Neither an enumerator nor a device ID: a part of one, or a whole instance ID.
  EXPECT_EQ(count(u"HID\\VID_0430&PID_0005", kPresent), -1);
  EXPECT_EQ(count(std::u16string(kDeviceId) + u"\\1", kPresent), -1);
  EXPECT_TRUE(NothingOpen());
}

// --- Device instance removal ---------------------------------------------------

TEST_F(Devices, UninstallRemovesPresentAndPhantomInstances) {
  AddMouse(u"1").removeFlags = win::DI_NEEDREBOOT;
  AddMouse(u"2", u"0100", false);
  sim::M().devices.Add(std::u16string(kDeviceId) + u"\\3", {u"HID_DEVICE_SYSTEM_MOUSE"});
  EXPECT_EQ(Run(kUninstall), 0);
  EXPECT_TRUE(Mouse(0).removed);
  EXPECT_TRUE(Mouse(1).removed);
  EXPECT_FALSE(sim::M().devices.devices[2].removed);
  EXPECT_EQ(OperationLog(),
            (Lines{">>> SetupApi::DeviceInstancesUninstall", "SetupApi::DeviceInstancesUninstall for-loop i: 0",
                   // The first hardware ID is shown, whichever entry matched.
                   "comparing hardware IDs (HID\\VID_0430&PID_0005&REV_0101&MI_01 == HID\\VID_0430&PID_0005&MI_01)? "
                   "Equal!",
                   "TMSETSetupApiDeviceInfoSet::DeviceRemove Reboot => REQUIRED.",
                   "SetupApi::DeviceInstancesUninstall for-loop i: 1",
                   "comparing hardware IDs (HID\\VID_0430&PID_0005&REV_0100&MI_01 == HID\\VID_0430&PID_0005&MI_01)? "
                   "Equal!",
                   "TMSETSetupApiDeviceInfoSet::DeviceRemove Reboot => NOT REQUIRED.",
                   "SetupApi::DeviceInstancesUninstall for-loop i: 2",
                   "comparing hardware IDs (HID_DEVICE_SYSTEM_MOUSE == HID\\VID_0430&PID_0005&MI_01)? Not equal!",
                   "SetupApi::DeviceInstancesUninstall no match for hardware ID (HID\\VID_0430&PID_0005&MI_01)",
                   "SetupApi::DeviceInstancesUninstall for-loop i: 3"}));
  EXPECT_TRUE(NothingOpen());

  // Nothing is left to find.
  EXPECT_EQ(Run(kUninstall), 0);
  EXPECT_EQ(std::count_if(sim::M().devices.devices.begin(), sim::M().devices.devices.end(),
                          [](const sim::Device& d) { return d.removed; }),
            2);
}

TEST_F(Devices, AFailedRemovalDoesNotStopTheWalk) {
  AddMouse(u"1").removeError = win::ERROR_ACCESS_DENIED;
  AddMouse(u"2");
  AddMouse(u"3").removeFlags = win::DI_NEEDREBOOT;
  sim::M().FailCall("SetupDiSetClassInstallParamsW", 2, 0);  // as Wine does: FALSE with error 0
  sim::M().FailCall("SetupDiGetDeviceInstallParamsW", 1, win::ERROR_GEN_FAILURE);
  EXPECT_EQ(Run(kUninstall), 0);
  Lines log = OperationLog();
  auto at = [&log](const std::string& line) { return std::find(log.begin(), log.end(), line) - log.begin(); };
  EXPECT_LT(at("KRCCSetupApiInternalRemoveInstance SetupDiCallClassInstaller failed! Error: 5"),
            at("SetupApi::DeviceInstancesUninstall for-loop i: 1"));
  EXPECT_LT(at("KRCCSetupApiInternalRemoveInstance SetupDiSetClassInstallParams failed! Error: 0"),
            at("SetupApi::DeviceInstancesUninstall for-loop i: 2"));
  EXPECT_EQ(std::count(log.begin(), log.end(), "SetupApi::DeviceInstancesUninstall DeviceInfoSet.DeviceRemove failed"),
            2);
  // A restart query that fails counts as no restart needed.
  EXPECT_EQ(log.at(log.size() - 2), "TMSETSetupApiDeviceInfoSet::DeviceRemove Reboot => NOT REQUIRED.");
  EXPECT_FALSE(Mouse(0).removed);
  EXPECT_FALSE(Mouse(1).removed);
  EXPECT_TRUE(Mouse(2).removed);
  EXPECT_TRUE(NothingOpen());
}

TEST_F(Devices, UninstallRemovesOnlyTheDevicesOfTheDeviceIdItIsGiven) {
  const struct {
    std::u16string token;
    int removed;
    const char* line;  // a line of the run's log
    bool refused = false;
  } cases[] = {
      {kDeviceId, 2, "SetupApi::DeviceInstancesUninstall for-loop i: 2"},
      {u"hid\\vid_0430&pid_0005&mi_01", 2, "SetupApi::DeviceInstancesUninstall for-loop i: 2"},
      {u"HID\\VID_0430&PID_0006&MI_01", 0, "TMSETSetupApiDeviceInfoSet::Enumerate SetupDiGetClassDevs failed! 13"},
      // A bare enumerator would take every HID device, keyboards included.
      {u"HID", 0, "SetupApi::DeviceInstancesUninstall \"HID\" is not a device ID, nothing removed", true},
      {u"HID\\", 0, "SetupApi::DeviceInstancesUninstall \"HID\\\" is not a device ID, nothing removed", true},
      {u"\\VID_0430&PID_0005&MI_01", 0,
       "SetupApi::DeviceInstancesUninstall \"\\VID_0430&PID_0005&MI_01\" is not a device ID, nothing removed", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(wstr::ToUtf8(c.token));
    sim::Reset();
    AddMouse(u"1");
    AddMouse(u"2", u"0101", false);
    sim::M().devices.Add(u"HID\\VID_045E&PID_00DB&MI_00\\1", {u"HID\\VID_045E&PID_00DB&REV_0100&MI_00"});
    EXPECT_EQ(Run(u"-DeviceInstancesUninstall," + c.token), 0);
    EXPECT_EQ(std::count_if(sim::M().devices.devices.begin(), sim::M().devices.devices.end(),
                            [](const sim::Device& d) { return d.removed; }),
              c.removed);
    EXPECT_TRUE(Logged(c.line));
    EXPECT_EQ(sim::M().callCounts.count("SetupDiGetClassDevsW"), c.refused ? 0u : 1u);
  }
  sim::M().FailCall("SetupDiEnumDeviceInfo", 1, win::ERROR_GEN_FAILURE);
  EXPECT_EQ(Run(kUninstall), 0);
  EXPECT_TRUE(Logged("SetupApi::DeviceInstancesUninstall DeviceInfoSet.Enumerate failed"));
  EXPECT_FALSE(Mouse(0).removed);
}

}  // namespace
