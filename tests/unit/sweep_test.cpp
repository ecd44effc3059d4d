// Fault injection over whole runs: each scenario runs once to learn which
// platform calls it makes, then again failing each of those calls in turn,
// with each error the code tells apart and with one it does not. Every
// faulted run must end with an allowed exit code, leave no handle open and
// trace the failing call's error (unless the call is one whose failure is
// silent by design). A platform call added to the code is swept without
// anyone listing it: the simulator records every call.
#include <cstdlib>
#include <functional>
#include <map>
#include <set>

#include "service/main.h"
#include "sim/devices.h"
#include "sim/store.h"
#include "sim_test.h"

namespace {

// An error no code path tells apart; easy to find in a log as 4660 or 0x1234.
constexpr win::DWORD kPlainError = 0x1234;

// Errors that the code treats specially, by call.
const std::map<std::string, std::vector<win::DWORD>> kDistinguished = {
    {"SetupDiEnumDeviceInfo", {win::ERROR_NO_MORE_ITEMS}},
    {"SetupDiEnumDriverInfoW", {win::ERROR_NO_MORE_ITEMS}},
    {"SetupDiGetDeviceRegistryPropertyW", {win::ERROR_INSUFFICIENT_BUFFER, 13 /* ERROR_INVALID_DATA */}},
    {"FindFirstFileW", {win::ERROR_FILE_NOT_FOUND}},
    {"FindNextFileW", {win::ERROR_NO_MORE_FILES}},
    {"DeleteFileW", {win::ERROR_FILE_NOT_FOUND, win::ERROR_ACCESS_DENIED}},
    {"GetModuleFileNameW", {win::ERROR_INSUFFICIENT_BUFFER}},
    {"LoadLibraryExW", {win::ERROR_MOD_NOT_FOUND}},
    {"GetProcAddress", {win::ERROR_PROC_NOT_FOUND}},
    {"DriverPackageInstallW", {win::ERROR_NO_SUCH_DEVINST}},
    {"DriverPackageGetPathW", {win::ERROR_DRIVER_PACKAGE_NOT_IN_STORE}},
    {"OpenSCManagerW", {win::ERROR_ACCESS_DENIED}},
    {"ChangeServiceConfig2W", {win::ERROR_INVALID_LEVEL}},
    {"OpenServiceW",
     {win::ERROR_ACCESS_DENIED, win::ERROR_INVALID_HANDLE, win::ERROR_INVALID_NAME, win::ERROR_SERVICE_DOES_NOT_EXIST}},
    {"DeleteService", {win::ERROR_ACCESS_DENIED, win::ERROR_INVALID_HANDLE, win::ERROR_SERVICE_MARKED_FOR_DELETE}},
};

// Calls whose failure leaves no trace of its error, by reason.
const std::set<std::string> kSilent = {
    // The log file's own: a message that cannot be written is not reported.
    "CreateFileW", "GetFileInformationByHandle", "LockFileEx", "SetFilePointerEx", "WriteFile", "UnlockFileEx",
    // Closing is the last step; nothing depends on its result.
    "CloseHandle", "FindClose", "FreeLibrary", "RegCloseKey", "CloseServiceHandle",
    // The number alone stands for a system message; the upper filter list is
    // read silently (a device without it lacks the filter); the rights test is
    // traced as lack of rights; no answer to the restart query means no restart.
    "FormatMessageW", "SetupDiGetDeviceRegistryPropertyW", "SetupDiOpenDevRegKey", "SetupDiGetDeviceInstallParamsW",
    // The message box's answer is unused; the framework's callback setters
    // have no result.
    "MessageBoxW", "DIFXAPISetLogCallbackW", "SetDifxLogCallbackW"};

// Calls that close a handle: when they fail, the handle they were given stays
// open, and nothing else can be done about it.
const std::set<std::string> kClosing = {"CloseHandle", "FindClose",          "FreeLibrary",
                                        "RegCloseKey", "CloseServiceHandle", "SetupDiDestroyDeviceInfoList"};

// Failures after which the service process cannot end, as on Windows: the
// manager never learns that the service stopped, so the dispatcher does not
// return. The service's own tests cover these failures and their traces.
bool ProcessCannotEnd(const std::string& call, unsigned nth, unsigned count) {
  // Without a control handler nothing can report or stop the service.
  if (call == "RegisterServiceCtrlHandlerExW") return true;
  // The service's last report, SERVICE_STOPPED.
  return call == "SetServiceStatus" && nth == count;
}

struct Scenario {
  const char* name;
  std::function<void()> arrange;
  std::function<int()> run;  // the exit code of the run (all runs' codes ORed)
  std::set<int> exitCodes;   // allowed whatever fails
};

// Runs the setup tool with `argument`.
std::function<int()> Tool(std::u16string argument) {
  return [argument] {
    std::u16string copy = argument;
    return TMSCAMain(copy.data());
  };
}

constexpr char16_t kDeviceId[] = u"HID\\VID_0430&PID_0005&MI_01";
constexpr char16_t kHardwareId[] = u"HID\\VID_0430&PID_0005&REV_0101&MI_01";

void ArrangeDevices() {
  sim::AddNewdev();
  auto add = [](const char16_t* instance, bool present, std::vector<std::u16string> filters, win::DWORD restart) {
    sim::Device& d =
        sim::M().devices.Add(std::u16string(kDeviceId) + u"\\" + instance, {kHardwareId, kDeviceId}, present);
    d.upperFilters = std::move(filters);
    sim::Driver morvik;
    morvik.manufacturer = u"Morvik AG";
    morvik.restart = restart;
    sim::Driver other;
    other.manufacturer = u"Other";
    d.drivers = {other, morvik};
    d.removeFlags = restart ? win::DI_NEEDREBOOT : 0;
  };
  add(u"1", true, {}, 1);
  add(u"2", true, {u"tovfiltr"}, 0);
  add(u"3", false, {u"other"}, 0);
  add(u"4", true, {u"other", u"tovfiltr"}, 0);
}

void ArrangeStore() {
  sim::AddDifxApi();
  sim::M().fs.Put(u"C:\\Package\\tovfiltr.inf", "[Version]\r\n");
  sim::M().fs.Put(sim::DriverFilePath(), "old driver");
  auto oem1 = sim::PutOemInf(u"oem1.inf", u"tovfiltr.inf");
  auto oem2 = sim::PutOemInf(u"oem2.inf", u"other.inf");
  sim::PutOemInf(u"oem3.inf", u"tovfiltr.inf", false);  // an OEM INF without a store package
  sim::AddStorePackage(u"C:\\Windows\\System32\\DriverStore\\FileRepository\\tovfiltr.inf_amd64_1\\tovfiltr.inf", oem1);
  sim::AddStorePackage(u"C:\\Windows\\System32\\DriverStore\\FileRepository\\other.inf_amd64_2\\other.inf", oem2);
  sim::M().store.installMessages = {{0, 0, u"Installing"}, {1, 0, u"Info"}, {2, 5, u"Warned"}, {3, 2, u"Failed"}};
  sim::M().store.uninstallMessages = {{1, 0, u"Removing"}, {7, 0, u"Odd"}};
}

constexpr char16_t kServiceName[] = u"TovMouseService";

void ArrangeService() {
  auto& m = sim::M();
  m.services.Add(kServiceName, u"\"C:\\Old\\TovMouseService.exe\"");  // an older install's: its takeover is swept
  m.fs.Put(u"C:\\Program Files\\Tov Mouse\\TovMouseSetupCustomAction.exe");
  m.fs.Put(u"C:\\Program Files\\Tov Mouse\\TovMouseService.exe");
  m.services.SetProgram(u"C:\\Program Files\\Tov Mouse\\TovMouseService.exe",
                        [](const sim::ProcessRun&) { return static_cast<win::DWORD>(TMSvcMain()); });
}

// The service's whole life: created and started by the setup tool, a mouse
// arrives, it is paused, then stopped and deleted by the setup tool.
int ServiceLife() {
  auto& services = sim::M().services;
  int code = Tool(u"-ServiceCreate,TovMouseService")();
  services.WaitIdle(kServiceName);
  services.PostDeviceInterfaceEvent(win::DBT_DEVICEARRIVAL, win::GUID_DEVINTERFACE_MOUSE);
  services.WaitIdle(kServiceName);
  services.PostControl(kServiceName, win::SERVICE_CONTROL_PAUSE);
  services.WaitIdle(kServiceName);
  code |= Tool(u"-ServiceDelete,TovMouseService")();
  // Whatever failed, the service process must be able to end.
  services.PostControl(kServiceName, win::SERVICE_CONTROL_STOP);
  EXPECT_TRUE(services.WaitForExit(kServiceName)) << "the service process did not end";
  return code;
}

std::vector<Scenario> Scenarios() {
  // The store without difxapi.dll: the Setup API's driver store calls.
  auto nativeStore = [] { ArrangeStore(), sim::M().libraries.clear(); };
  return {
      {"driver update", ArrangeDevices, Tool(u"-DriverUpdate,HID\\VID_0430&PID_0005&MI_01,NULL"), {0, 1, 5}},
      {"device removal", ArrangeDevices, Tool(u"-DeviceInstancesUninstall,HID\\VID_0430&PID_0005&MI_01"), {0}},
      {"package install", ArrangeStore, Tool(u"-DriverPackageInstall,C:\\Package\\tovfiltr.inf"), {0, -1}},
      {"package uninstall", ArrangeStore, Tool(u"-DriverPackageUninstall,tovfiltr"), {0}},
      {"native package install", nativeStore, Tool(u"-DriverPackageInstall,C:\\Package\\tovfiltr.inf"), {0, -1}},
      {"native package uninstall", nativeStore, Tool(u"-DriverPackageUninstall,tovfiltr"), {0}},
      {"re-enumeration", [] {}, Tool(u"-ReEnumerate"), {0}},
      {"service life", ArrangeService, ServiceLife, {0, 1}},
  };
}

// Handles still open after a run; the device notification registration of
// the service is never withdrawn and lasts as long as its process.
std::size_t OpenHandles() {
  auto& h = sim::M().handles;
  return h.CountAll() - h.Count(sim::HandleKind::DeviceNotification);
}

bool Traced(const std::string& log, win::DWORD error) {
  std::string hex = wstr::ToUtf8(text::Format(u"%x", error));
  std::string dec = wstr::ToUtf8(text::Format(u"%d", error));
  return log.find(hex) != std::string::npos || log.find(dec) != std::string::npos;
}

using Sweep = SimTest;

TEST_F(Sweep, EveryPlatformCallOfEveryCommandCanFail) {
  std::size_t runs = 0, uses = 0;
  std::set<std::string> calls;
  std::string logs;  // of the scenarios' runs without a fault
  for (const Scenario& s : Scenarios()) {
    SCOPED_TRACE(s.name);
    sim::Reset();
    s.arrange();
    ASSERT_EQ(s.run(), 0) << "the scenario itself succeeds";
    ASSERT_EQ(OpenHandles(), 0u);
    logs += Log();
    std::map<std::string, unsigned> made = sim::M().callCounts;

    for (const auto& [call, count] : made) {
      calls.insert(call);
      // Each use of a call once, up to a few in loops, and always the last.
      std::set<unsigned> nths;
      for (unsigned n = 1; n <= count && n <= 3; ++n) nths.insert(n);
      nths.insert(count);
      std::vector<win::DWORD> errors = {kPlainError};
      if (auto it = kDistinguished.find(call); it != kDistinguished.end()) {
        errors.insert(errors.end(), it->second.begin(), it->second.end());
      }
      for (unsigned nth : nths) {
        if (std::string(s.name) == "service life" && ProcessCannotEnd(call, nth, count)) continue;
        ++uses;
        for (win::DWORD error : errors) {
          ++runs;
          SCOPED_TRACE(call + " #" + std::to_string(nth) + " error " + std::to_string(error));
          if (std::getenv("TOV_SWEEP_VERBOSE"))
            std::fprintf(stderr, "%s: %s #%u %u\n", s.name, call.c_str(), nth, error);
          sim::Reset();
          s.arrange();
          sim::M().FailCall(call, nth, error);
          int code = s.run();
          EXPECT_TRUE(s.exitCodes.count(code)) << "exit code " << code;
          if (!kClosing.count(call)) {
            EXPECT_EQ(OpenHandles(), 0u) << "a handle stayed open";
          }
          if (error == kPlainError && !kSilent.count(call)) {
            // The setup tool traces into its log, the service to the debugger.
            std::string debug;
            for (const auto& line : Debug()) debug += line;
            EXPECT_TRUE(Traced(Log(), error) || Traced(debug, error)) << "the failure is not traced:\n"
                                                                      << Log() << debug;
          }
        }
      }
    }
  }
  std::printf("swept %zu platform calls at %zu uses in %zu faulted runs\n", calls.size(), uses, runs);
  for (const SetupCommand& c : SetupCommands()) {
    std::string name = wstr::ToUtf8(c.name);
    EXPECT_NE(logs.find("Parameter[0]: " + name + "\r\n"), std::string::npos) << "no scenario runs " << name;
  }
}

// Where nobody can see a window (session 0, a station without WSF_VISIBLE, a
// session that cannot be told), no command shows one or waits for an answer,
// and the Setup API is told so before its first call. On a user's desktop the
// restart prompt and the message box are there as ever.
TEST_F(Sweep, NoCommandShowsAWindowWhereNobodyCanAnswerIt) {
  struct Session {
    const char* name;
    win::DWORD id;
    bool visible;
    const char* failing;  // a query that fails
  } sessions[] = {{"a user's desktop", 1, true, nullptr},
                  {"WinSta0 of session 0", 0, true, nullptr},
                  {"an invisible station", 1, false, nullptr},
                  {"session unknown", 1, true, "ProcessIdToSessionId"},
                  {"station unknown", 1, true, "GetUserObjectInformationW"}};
  const std::map<std::string, std::string> kInstead = {
      {"driver update", "SetupApi::DriverUpdate no restart prompt: the restart is left to the installer or the user"},
      {"service life", "Unable to start service. Please reboot."}};
  for (const Session& session : sessions) {
    for (const Scenario& s : Scenarios()) {
      SCOPED_TRACE(std::string(session.name) + ", " + s.name);
      sim::Reset();
      s.arrange();
      auto& m = sim::M();
      m.sessionId = session.id;
      m.stationVisible = session.visible;
      if (session.failing != nullptr) m.FailCall(session.failing, 0, win::ERROR_ACCESS_DENIED);
      m.FailCall("StartServiceW", 1, win::ERROR_ACCESS_DENIED);  // for the message box of "-ServiceCreate"
      EXPECT_EQ(s.run(), 0);
      EXPECT_EQ(m.calls.at(0), "SetDefaultDllDirectories");
      EXPECT_EQ(m.defaultDllDirectories, win::LOAD_LIBRARY_SEARCH_SYSTEM32);
      bool user = session.id != 0 && session.visible && session.failing == nullptr;
      auto setupApi = std::find_if(m.calls.begin(), m.calls.end(), [](const std::string& c) {
        return (c.rfind("Setup", 0) == 0 && c != "SetupSetNonInteractiveMode") || c.rfind("CM_", 0) == 0;
      });
      EXPECT_TRUE(user || std::find(m.calls.begin(), setupApi, "SetupSetNonInteractiveMode") != setupApi);
      EXPECT_EQ(m.devices.nonInteractive, !user);
      std::string name = s.name;
      EXPECT_EQ(m.messageBoxes.size(), name == "service life" && user ? 1u : 0u);
      EXPECT_EQ(m.devices.rebootPrompts.size(), name == "driver update" && user ? 1u : 0u);
      int installs = 0, uninstalls = 0;
      const win::DWORD both = win::DRIVER_PACKAGE_FORCE | (user ? 0 : win::DRIVER_PACKAGE_SILENT);
      for (const auto& c : m.store.difxCalls) {
        installs += c.name == "DriverPackageInstallW" && c.flags == (win::DRIVER_PACKAGE_LEGACY_MODE | both);
        uninstalls += c.name == "DriverPackageUninstallW" && c.flags == (win::DRIVER_PACKAGE_DELETE_FILES | both);
      }
      EXPECT_EQ(installs, name == "package install" ? 1 : 0);
      EXPECT_EQ(uninstalls, name == "package uninstall" ? 1 : 0);
      Lines lines = LogLines();
      auto logged = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
      EXPECT_EQ(logged("_tWinMain: not an interactive session, the run shows no user interface"), !user);
      EXPECT_TRUE(!kInstead.count(name) || logged(kInstead.at(name)) == !user);
    }
  }
}

}  // namespace
