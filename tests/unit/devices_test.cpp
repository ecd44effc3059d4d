// Driver update and device instance removal, run through the whole tool
// against simulated devices.
#include "sim/devices.h"

#include <string>
#include <vector>

#include "setup/devicesetup.h"
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
  ASSERT_EQ(sim::M().devices.installs.size(), 1u);
  const auto& install = sim::M().devices.installs[0];
  EXPECT_EQ(install.parent, win::GetDesktopWindow());
  EXPECT_TRUE(install.reservedNull);
  EXPECT_EQ(install.backup, win::FALSE);
  EXPECT_EQ(sim::M().libraryLoads, (std::vector<std::u16string>{u"C:\\Windows\\System32\\newdev.dll"}));
}

// Driver update over mice as arranged: the exit code, the mice given the
// driver (by number), the rights tests made, and lines the log holds or lacks.
TEST_F(Devices, UpdateGivesTheDriverWhereNeededAndStopsAtAFailure) {
  const struct {
    const char* name;
    void (*arrange)();
    int exitCode;
    std::vector<std::size_t> installed;
    unsigned rightsTests;
    Lines logged = {}, absent = {};
  } cases[] = {
      // The set holds the present devices only.
      {"a phantom", [] { AddMouse(u"1", u"0101", false); }, 0, {}, 0, {}, {"SetupApi::DriverUpdate for-loop i: 1"}},
      // The filter counts when it is the first, by its exact name.
      {"other revisions and mice done",
       [] {
         AddMouse(u"1", u"0102");
         AddMouse(u"2").upperFilters = {u"tovfiltr", u"other"};
         AddMouse(u"3").upperFilters = {u"TOVFILTR"};
         AddMouse(u"4").upperFilters = {u"other", u"tovfiltr"};
       },
       0,
       {2, 3},
       0,
       // The no-match line shows the device ID the run was given.
       {"SetupApi::DriverUpdate no match for hardware ID (HID\\VID_0430&PID_0005&MI_01)",
        "DriverUpdate DeviceInfoSet.RegistryPropertyCompare driver already installed"}},
      // The rights are tested at element 0 only, when it needs the driver.
      {"with rights", [] { AddMouse(u"1"), AddMouse(u"2"); }, 0, {0, 1}, 1},
      {"without rights, mice done",
       [] {
         sim::M().devices.administrator = false;
         AddMouse(u"1").upperFilters = {u"tovfiltr"};
         AddMouse(u"2").upperFilters = {u"tovfiltr"};
       },
       0,
       {},
       0},
      {"without rights",
       [] { sim::M().devices.administrator = false, AddMouse(u"1"), AddMouse(u"2"); },
       5,
       {},
       1,
       {"SetupApi::DriverUpdate not enough privileges (must be member of Admin group",
        "SetupApi::DriverUpdate ERROR_ACCESS_DENIED!"}},
      // Untested, the installation is denied: the run fails without the access-denied code.
      {"without rights, a later mouse",
       [] {
         sim::M().devices.administrator = false;
         AddMouse(u"1", u"0102");
         AddMouse(u"2").upperFilters = {u"tovfiltr"};
         AddMouse(u"3");
       },
       1,
       {},
       0,
       {"SetupApi::DriverUpdate DeviceInfoSet.SelectedDriverInstall failed! 2", "SetupApi::DriverUpdate failed!"},
       {"SetupApi::DriverUpdate not enough privileges (must be member of Admin group"}},
      // The manufacturer's name is compared with its case.
      {"a failed selection",
       [] {
         AddMouse(u"1");
         AddMouse(u"2").drivers[0].manufacturer = u"morvik ag";
         AddMouse(u"3");
       },
       1,
       {0},
       1,
       {"DriverInfoData.MfgName current: \"morvik ag\" desired: \"Morvik AG\"",
        "SetupDiEnumDriverInfo failed. GetLastError returned: 259",
        "SetupApi::DriverUpdate DeviceInfoSet.SelectedDriverSet failed! Index:1", "SetupApi::DriverUpdate failed!"}},
      // The first listed driver of the manufacturer: the second would fail.
      {"the first driver",
       [] {
         sim::Driver other;
         other.manufacturer = u"Other Corp";
         AddMouse(u"1").drivers = {other, Morvik(u"first"), Morvik(u"second")};
         Mouse(0).drivers[2].installError = win::ERROR_GEN_FAILURE;
       },
       0,
       {0},
       1,
       {"DriverInfoData.MfgName current: \"Other Corp\" desired: \"Morvik AG\""}},
      // Hardware IDs are prefixes, with only ASCII letters folded.
      {"hardware IDs",
       [] {
         AddMouse(u"1").hardwareIds[0] = u"hid\\VID_0430&pid_0005&REV_0101&MI_01&Col02";
         AddMouse(u"2").hardwareIds = {u"HID\\VID_0430&PID_0005&MI_01", u"HID\\VID_0430&PID_0005&REV_0101&MI_01"};
         AddMouse(u"3").hardwareIds[0] = u"\u0130D\\VID_0430&PID_0005&REV_0101&MI_01";  // capital I with dot
       },
       0,
       {0},
       1},
      // A newdev.dll beside the tool (planted where the installer runs it
      // from) is never loaded: without the system's, nothing is installed.
      {"newdev.dll beside the tool",
       [] {
         sim::M().libraries.clear();
         sim::AddNewdev(sim::FileSystem::DirectoryOf(sim::M().modulePath));
         AddMouse(u"1");
       },
       1,
       {},
       1,
       {"InstallSelectedDriver LoadLibrary failed.LastError returned 126"}},
      // An element that cannot be read ends the walk, which is no failure (the
      // fault sweep fails every other call).
      {"an unreadable element",
       [] { AddMouse(u"1"), sim::M().FailCall("SetupDiEnumDeviceInfo", 1, win::ERROR_GEN_FAILURE); },
       0,
       {},
       0,
       {"RVSSetupApiFilterDriverAttach SetupDiEnumDeviceInfo failed! Error: 31"}},
      // 2048 bytes of hardware IDs and 520 of upper filters still fit; beyond,
      // the IDs cannot be read and the filter counts as missing.
      {"long properties",
       [] {
         const std::u16string id = u"HID\\VID_0430&PID_0005&REV_0101&MI_01";
         AddMouse(u"1").hardwareIds = {id, std::u16string(985, u'X')};  // 37 + 986 + 1 units
         AddMouse(u"2").hardwareIds = {id, std::u16string(986, u'X')};
         AddMouse(u"3").upperFilters = {u"tovfiltr", std::u16string(249, u'f')};  // 9 + 250 + 1 units
         AddMouse(u"4").upperFilters = {u"tovfiltr", std::u16string(250, u'f')};
       },
       0,
       {0, 3},
       1,
       {"TMSETSetupApiDeviceInfoSet::HardwareIdCompare SetupDiGetDeviceRegistryProperty failed! Error: 122"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    c.arrange();
    EXPECT_EQ(Run(kUpdate), c.exitCode);
    std::vector<std::u16string> installed, expected;
    for (const auto& install : sim::M().devices.installs) installed.push_back(install.instanceId);
    for (std::size_t i : c.installed) expected.push_back(Mouse(i).instanceId);
    EXPECT_EQ(installed, expected);
    EXPECT_EQ(sim::M().callCounts["SetupDiOpenDevRegKey"], c.rightsTests);
    for (const auto& line : c.logged) EXPECT_GT(Logged(line), 0u) << line;
    for (const auto& line : c.absent) EXPECT_EQ(Logged(line), 0u) << line;
  }
}

TEST_F(Devices, EachNeededRestartIsPromptedAndAFailedPromptDoesNotStopTheWalk) {
  AddMouse(u"1").drivers = {Morvik(u"Tov Mouse", win::DI_NEEDREBOOT)};
  AddMouse(u"2").drivers = {Morvik(u"Tov Mouse", 0)};
  AddMouse(u"3").drivers = {Morvik(u"Tov Mouse", win::DI_NEEDRESTART)};
  AddMouse(u"4").drivers = {Morvik(u"Tov Mouse", 1)};
  AddMouse(u"5").drivers = {Morvik(u"Tov Mouse", 1)};
  sim::M().FailCall("SetupPromptReboot", 3, win::ERROR_ACCESS_DENIED);
  EXPECT_EQ(Run(kUpdate), 0);
  EXPECT_EQ(Logged("SetupApi::DriverUpdate SetupPromptReboot (2) failed! 5 "), 1u);
  const auto& prompts = sim::M().devices.rebootPrompts;
  ASSERT_EQ(prompts.size(), 3u);
  for (const auto& p : prompts) {
    EXPECT_EQ(p.queue, nullptr);
    EXPECT_EQ(p.owner, win::GetDesktopWindow());
    EXPECT_EQ(p.scanOnly, win::FALSE);
  }
  // Each follows the success line, which has no line end.
  EXPECT_EQ(
      Logged("SetupApi::DriverUpdate DeviceInfoSet.SelectedDriverInstall!SetupApi::DriverUpdate reboot required!"), 4u);
  EXPECT_EQ(sim::M().devices.installs.size(), 5u);
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
  EXPECT_EQ(Logged("SetupApi::DeviceInstancesUninstall DeviceInfoSet.DeviceRemove failed"), 2u);
  // A restart query that fails counts as no restart needed.
  EXPECT_EQ(log.at(log.size() - 2), "TMSETSetupApiDeviceInfoSet::DeviceRemove Reboot => NOT REQUIRED.");
  EXPECT_FALSE(Mouse(0).removed);
  EXPECT_FALSE(Mouse(1).removed);
  EXPECT_TRUE(Mouse(2).removed);
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
      {u"HID\\VID_0430&PID_0006&MI_01", 0, "SetupApi::DeviceInstancesUninstall for-loop i: 0"},
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
    EXPECT_EQ(Logged(c.line), 1u);
    EXPECT_EQ(sim::M().callCounts.count("SetupDiGetClassDevsW"), c.refused ? 0u : 1u);
  }
  sim::M().FailCall("SetupDiEnumDeviceInfo", 1, win::ERROR_GEN_FAILURE);
  EXPECT_EQ(Run(kUninstall), 0);
  EXPECT_EQ(Logged("SetupApi::DeviceInstancesUninstall DeviceInfoSet.Enumerate failed"), 1u);
  EXPECT_FALSE(Mouse(0).removed);
}

}  // namespace
