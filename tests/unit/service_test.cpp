// The device-arrival service in its process: status reports, controls, device
// arrivals and the setup tool runs, against the simulated service control manager.
#include <array>
#include <atomic>
#include <memory>

#include "service/arrival.h"
#include "service/main.h"
#include "sim_test.h"

namespace {

constexpr char16_t kServiceExe[] = u"C:\\Program Files\\Tov Mouse\\TovMouseService.exe";
constexpr char16_t kSetupTool[] = u"C:\\Program Files\\Tov Mouse\\TovMouseSetupCustomAction.exe";
constexpr char16_t kName[] = u"TovMouseService";
// {884b96c3-56ef-11d1-bc8c-00a0c91405dd}: keyboards.
constexpr win::GUID kKeyboard = {0x884B96C3, 0x56EF, 0x11D1, {0xBC, 0x8C, 0x00, 0xA0, 0xC9, 0x14, 0x05, 0xDD}};

// A status report: state, controls accepted, checkpoint, wait hint.
using Report = std::array<win::DWORD, 4>;
const Report kStartPending{win::SERVICE_START_PENDING, 0, 1, 3000};
const Report kRunning{win::SERVICE_RUNNING, 3, 0, 0};
const Report kPaused{win::SERVICE_PAUSED, 3, 0, 0};
const Report kStopPending{win::SERVICE_STOP_PENDING, 3, 1, 3000};
const Report kStopped{win::SERVICE_STOPPED, 3, 0, 0};
using ReportList = std::vector<Report>;

constexpr win::DWORD kPause = win::SERVICE_CONTROL_PAUSE, kContinue = win::SERVICE_CONTROL_CONTINUE,
                     kInterrogate = win::SERVICE_CONTROL_INTERROGATE;
using Steps = std::vector<win::DWORD>;

class Service : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    auto& m = sim::M();
    m.modulePath = kServiceExe;
    m.currentDirectory = u"C:\\Windows\\System32";
    m.fs.Put(kServiceExe);
    m.fs.Put(kSetupTool);
    m.services.Add(kName, std::u16string(u"\"") + kServiceExe + u"\"");
    m.services.SetProgram(kServiceExe, [](const sim::ProcessRun&) { return static_cast<win::DWORD>(TMSvcMain()); });
  }

  void TearDown() override {
    for (auto& gate : gates_) gate->Open();
    auto& s = sim::M().services;
    s.PostControl(kName, win::SERVICE_CONTROL_STOP);
    EXPECT_TRUE(s.WaitForExit(kName));
  }

  // Starts the service (`control` 0) or sends it a control, through the
  // manager, and lets it settle. Returns the state reported for a control,
  // START_PENDING for a start, 0 when the manager refused.
  static win::DWORD Control(win::DWORD control) {
    win::SC_HANDLE manager = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_CONNECT);
    win::SC_HANDLE service = win::OpenServiceW(manager, kName, win::SERVICE_ALL_ACCESS);
    win::SERVICE_STATUS status{0, win::SERVICE_START_PENDING, 0, 0, 0, 0, 0};
    bool ok = control == 0 ? win::StartServiceW(service, 0, nullptr) != win::FALSE
                           : win::ControlService(service, control, &status) != win::FALSE;
    win::CloseServiceHandle(service);
    win::CloseServiceHandle(manager);
    sim::M().services.WaitIdle(kName);
    return ok ? status.dwCurrentState : 0;
  }
  static bool Start() { return Control(0) != 0; }

  static void Arrive() {
    EXPECT_EQ(sim::M().services.PostDeviceInterfaceEvent(win::DBT_DEVICEARRIVAL, win::GUID_DEVINTERFACE_MOUSE), 1u);
    sim::M().services.WaitIdle(kName);
  }

  static ReportList Reports() {
    ReportList out;
    std::lock_guard<std::recursive_mutex> lock(sim::M().mutex);
    for (const auto& r : sim::M().services.reports) {
      EXPECT_EQ(r.dwServiceType, win::SERVICE_WIN32_OWN_PROCESS);
      EXPECT_EQ(r.dwWin32ExitCode, win::NO_ERROR);
      EXPECT_EQ(r.dwServiceSpecificExitCode, 0u);
      out.push_back({r.dwCurrentState, r.dwControlsAccepted, r.dwCheckPoint, r.dwWaitHint});
    }
    return out;
  }

  // The setup tool's runs wait for a gate of the test, one per run.
  sim::Gate& GateOfRun(std::size_t run) { return *gates_.at(run); }
  void GateSetupToolRuns() {
    gates_.clear();
    for (int i = 0; i < 4; ++i) gates_.push_back(std::make_shared<sim::Gate>());
    sim::M().services.SetProgram(kSetupTool, [gates = gates_](const sim::ProcessRun& run) {
      gates.at(run.index)->wait();
      return win::DWORD{0};
    });
  }

  std::vector<std::shared_ptr<sim::Gate>> gates_;
};

const std::string kArrivalLine = "TMSvc: SERVICE_CONTROL_DEVICEEVENT, DBT_DEVICEARRIVAL\n";
const std::string kPathLine =
    "TMSvc: TMSvcNotificationDeviceInterfaceArrival FullPathName: C:\\Program Files\\Tov "
    "Mouse\\TovMouseSetupCustomAction.exe\n";

// The status reports of the service's life as the manager drives it, with a
// call that fails, and lines its debugger output holds once.
TEST_F(Service, EachControlAndFailureGivesItsReports) {
  const struct {
    const char* name;
    const char* failing;
    unsigned nth;
    win::DWORD error;
    Steps steps;  // controls, and device events (DBT_*, from 0x8000) of a mouse
    ReportList reports;
    Lines debug = {};
  } cases[] = {
      // PAUSE toggles; every other control, a user-defined one too, reports RUNNING.
      {"controls", nullptr, 0, 0, Steps{kPause, kPause, kContinue, kPause, kInterrogate, kPause, kContinue, 200},
       ReportList{kStartPending, kRunning, kPaused, kRunning, kRunning, kPaused, kRunning, kPaused, kRunning, kRunning},
       Lines{"TMSvc: >>> main\n\n", "TMSvc: >>> TMSvcServiceMain\n\n", "TMSvc: >>> TMSvcNotificationDeviceRegister\n"}},
      {"other device events", nullptr, 0, 0, Steps{kPause, win::DBT_DEVICEREMOVECOMPLETE, win::DBT_DEVICEQUERYREMOVE},
       ReportList{kStartPending, kRunning, kPaused, kRunning, kRunning}},
      // Without the registration the service runs on, without arrivals.
      {"no device notifications", "RegisterDeviceNotificationW", 1, win::ERROR_ACCESS_DENIED,
       Steps{win::DBT_DEVICEARRIVAL, kPause, win::SERVICE_CONTROL_STOP},
       ReportList{kStartPending, kRunning, kPaused, kStopPending, kStopped},
       Lines{"TMSvc: TMSvcNotificationDeviceRegister RegisterDeviceNotification GUID_DEVINTERFACE_MOUSE failed! 5\n"}},
      // A report that fails ends the service; so does a start that cannot finish.
      {"the PAUSED report fails", "SetServiceStatus", 3, win::ERROR_INVALID_DATA, Steps{kPause},
       ReportList{kStartPending, kRunning, kStopped},
       Lines{"TMSvc: TMSvcInternalStatusReportToScm SetServiceStatus failed! 13\n"}},
      {"the first report fails", "SetServiceStatus", 1, win::ERROR_GEN_FAILURE, Steps{}, ReportList{kStopped},
       Lines{"TMSvc: TMSvcInternalStatusReportToScm SetServiceStatus failed! 31\n",
             "TMSvc: TMSvcServiceMain TMSvcInternalStatusReportToScm failed!\n"}},
      {"no stop event", "CreateEventW", 1, win::ERROR_GEN_FAILURE, Steps{}, ReportList{kStartPending, kStopped},
       Lines{"TMSvc: TMSvcServiceMain CreateEvent failed! 31\n"}},
      {"the RUNNING report fails", "SetServiceStatus", 2, win::ERROR_GEN_FAILURE, Steps{},
       ReportList{kStartPending, kStopped},
       Lines{"TMSvc: TMSvcInternalStatusReportToScm SetServiceStatus failed! 31\n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    if (c.failing) sim::M().FailCall(c.failing, c.nth, c.error);
    ASSERT_TRUE(Start());
    for (win::DWORD step : c.steps) {
      if (step < win::DBT_DEVICEARRIVAL) {
        Control(step);
      } else {
        sim::M().services.PostDeviceInterfaceEvent(step, win::GUID_DEVINTERFACE_MOUSE);
        sim::M().services.WaitIdle(kName);
      }
    }
    EXPECT_EQ(Reports(), c.reports);
    for (const auto& line : c.debug) EXPECT_EQ(Count(Debug(), line), 1u) << line;
    EXPECT_EQ(sim::M().services.runs.size(), 0u);  // no arrival of these starts a run
    // The registration comes before the first report; libraries load from the system directory only.
    const auto& calls = sim::M().calls;
    EXPECT_LT(std::find(calls.begin(), calls.end(), "RegisterDeviceNotificationW"),
              std::find(calls.begin(), calls.end(), "SetServiceStatus"));
    EXPECT_EQ(sim::M().defaultDllDirectories, win::LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Whatever happened, the service process ends.
    sim::M().services.PostControl(kName, win::SERVICE_CONTROL_STOP);
    ASSERT_TRUE(sim::M().services.WaitForExit(kName));
  }
}

// The handler never waits for a run: while one goes on, every control is
// answered, and the arrivals during it ask for one more run, not one each. A
// STOP during that run is answered at once, nothing but the stop is reported
// after it, and no run starts. The stop waits for the run 20 s at most,
// telling the manager every second (simulated time) with a rising
// checkpoint; a run still going then goes on by itself.
TEST_F(Service, TheHandlerAnswersAtOnceAndTheRunsFollowTheArrivalsUntilTheStop) {
  for (win::DWORD stoppedAt : {0u, 20000u}) {  // the run ends during the stop; it outlasts the stop
    SCOPED_TRACE(stoppedAt);
    SetUp();
    GateSetupToolRuns();
    auto& s = sim::M().services;
    s.runMs = stoppedAt == 0 ? 0 : win::INFINITE;
    ASSERT_TRUE(Start());
    Arrive();
    EXPECT_EQ(Control(kPause), win::SERVICE_PAUSED);
    Arrive();
    Arrive();
    EXPECT_EQ(Control(kInterrogate), win::SERVICE_RUNNING);
    EXPECT_EQ(s.PostDeviceInterfaceEvent(win::DBT_DEVICEARRIVAL, kKeyboard), 0u);  // only mice reach the service
    EXPECT_EQ((std::array{s.RunsStarted(), s.RunsEnded()}), (std::array<std::size_t, 2>{1, 0}));
    GateOfRun(0).Open();
    ASSERT_TRUE(s.WaitUntil([&] { return s.runs.size() == 2; }));
    EXPECT_EQ(Control(win::SERVICE_CONTROL_STOP), win::SERVICE_STOP_PENDING);
    s.PostDeviceInterfaceEvent(win::DBT_DEVICEARRIVAL, win::GUID_DEVINTERFACE_MOUSE);
    s.WaitIdle(kName);
    GateOfRun(1).Open();
    ASSERT_TRUE(s.WaitForExit(kName));
    ReportList reports{kStartPending, kRunning, kRunning, kPaused, kRunning, kRunning, kRunning};
    std::vector<std::uint64_t> times(reports.size(), 0);
    for (win::DWORD t = 0; t == 0 || t < stoppedAt; t += 1000) {
      reports.push_back({win::SERVICE_STOP_PENDING, 3, t / 1000 + 1, 3000});
      times.push_back(t);
    }
    reports.push_back(kStopped);
    times.push_back(stoppedAt);
    EXPECT_EQ(Reports(), reports);
    EXPECT_EQ(s.reportTimes, times);
    EXPECT_EQ(s.RunsStarted(), 2u);
    EXPECT_EQ(Debug().back().ends_with("still runs after 20000 ms, it is left to finish on its own\n"), stoppedAt != 0);
    EXPECT_EQ(sim::M().handles.CountAll(), 0u);
    TearDown();
  }
}

// At a mouse arrival, whatever the interface's name, the service runs the
// setup tool beside it and waits for it. Whatever fails around the launch is
// traced and leaves no process handle; the service runs on.
TEST_F(Service, ArrivalRunsTheSetupToolBesideTheServiceOrTracesTheFailure) {
  const std::u16string fits = u"C:\\" + std::u16string(226, u'd');  // the tool's full path just fits
  const std::string arrival = "TMSvc: TMSvcNotificationDeviceInterfaceArrival ";
  const struct {
    std::u16string modulePath;
    std::size_t runs;
    Lines last;  // of the debugger output
  } cases[] = {
      {kServiceExe, 1, Lines{"TMSvc: >>> TMSvcNotificationDeviceRegister\n", kArrivalLine, kPathLine}},
      {u"C:\\Elsewhere\\S.exe", 0,
       Lines{kArrivalLine, arrival + "FullPathName: C:\\Elsewhere\\TovMouseSetupCustomAction.exe\n",
             arrival + "ShellExecuteEx failed! GetLastError: 2\n",
             arrival + "WaitForSingleObject failed! GetLastError: 6\n"}},
      {fits + u"\\S.exe", 1, Lines{}},
      {fits + u"x\\S.exe", 0, Lines{arrival + "FullPathName too long! 206\n"}},
      {u"C:\\" + std::u16string(300, u'd') + u"\\S.exe", 0, Lines{arrival + "GetModuleFileName failed! 122\n"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(wstr::ToUtf8(c.modulePath));
    SetUp();
    sim::M().fs.Put(fits + u"\\TovMouseSetupCustomAction.exe");
    ASSERT_TRUE(Start());
    sim::M().modulePath = c.modulePath;
    ASSERT_EQ(sim::M().services.PostDeviceInterfaceEvent(win::DBT_DEVICEARRIVAL, win::GUID_DEVINTERFACE_MOUSE,
                                                         u"\\\\?\\HID#VID_1234&PID_0001#7"),
              1u);
    sim::M().services.WaitIdle(kName);
    ASSERT_EQ(sim::M().services.runs.size(), c.runs);
    for (const auto& run : sim::M().services.runs) {
      EXPECT_EQ(run.file, sim::FileSystem::DirectoryOf(c.modulePath) + u"\\TovMouseSetupCustomAction.exe");
      EXPECT_EQ(run.parameters, u"-DriverUpdate,HID\\VID_0430&PID_0005&MI_01,NULL");
      EXPECT_EQ(run.currentDirectory, u"C:\\Windows\\System32");  // the service's own
      EXPECT_EQ(run.mask, win::SEE_MASK_NOCLOSEPROCESS | win::SEE_MASK_FLAG_NO_UI);
      EXPECT_EQ(run.show, win::SW_SHOW);
      EXPECT_TRUE(run.ended);
    }
    Lines debug = Debug();
    ASSERT_GE(debug.size(), c.last.size());
    EXPECT_EQ(Lines(debug.end() - static_cast<std::ptrdiff_t>(c.last.size()), debug.end()), c.last);
    EXPECT_EQ(sim::M().handles.Count(sim::HandleKind::Process), 0u);
    EXPECT_EQ(Reports(), (ReportList{kStartPending, kRunning, kRunning}));
    EXPECT_EQ(Control(win::SERVICE_CONTROL_INTERROGATE), win::SERVICE_RUNNING);
    TearDown();
  }
}

TEST_F(Service, FailedHandlerRegistrationReturnsWithoutAnyReport) {
  sim::M().FailCall("RegisterServiceCtrlHandlerExW", 1, win::ERROR_SERVICE_DOES_NOT_EXIST);
  TMSvcService().Main();
  EXPECT_EQ(Debug(), (Lines{"TMSvc: >>> TMSvcServiceMain\n\n",
                            "TMSvc: TMSvcServiceMain RegisterServiceCtrlHandlerEx failed! 1060\n"}));
  EXPECT_TRUE(sim::M().services.reports.empty());
}

// A device event can come while the start is still pending, and with it a
// RUNNING report that lets a STOP in before the stop event exists: the stop
// is kept and the service ends instead of reporting RUNNING again.
TEST_F(Service, StopBeforeTheStopEventExistsIsNotLost) {
  auto& s = sim::M().services;
  std::atomic<bool> fired = false;
  s.onCall = [&](const char* call) {
    if (std::string(call) != "CreateEventW" || fired.exchange(true)) return;
    s.PostDeviceInterfaceEvent(win::DBT_DEVICEARRIVAL, win::GUID_DEVINTERFACE_MOUSE);
    s.PostControl(kName, win::SERVICE_CONTROL_STOP);
    EXPECT_TRUE(s.WaitUntil([&] { return s.ControlsHandled(kName) == 2; }));
  };
  ASSERT_TRUE(Start());
  ASSERT_TRUE(s.WaitForExit(kName));
  EXPECT_TRUE(fired);
  EXPECT_EQ(Reports(), (ReportList{kStartPending, kRunning, kStopPending, kStopped}));
  EXPECT_EQ(sim::M().handles.CountAll(), 0u);
}

}  // namespace
