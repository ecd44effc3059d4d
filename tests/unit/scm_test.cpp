// The setup tool's service control manager client, alone and through the
// "-ServiceCreate" and "-ServiceDelete" commands.
#include <tuple>

#include "service/main.h"
#include "setup/scmapi.h"
#include "sim_test.h"

namespace {

constexpr char16_t kDir[] = u"C:\\Program Files\\Tov Mouse";
constexpr char16_t kServiceExe[] = u"C:\\Program Files\\Tov Mouse\\TovMouseService.exe";
constexpr char16_t kName[] = u"TovMouseService";

class ScmApi : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::M().fs.Put(kServiceExe);
  }

  // A running stand-in service that shows STOP_PENDING to `pendingQueries`
  // status queries after the stop request.
  static void AddRunning(unsigned pendingQueries) {
    sim::M().services.Add(kName, u"\"C:\\x.exe\"", win::SERVICE_RUNNING).stopPendingQueries = pendingQueries;
  }
};

// A service of the name that exists already (left by an older installation
// elsewhere, or made by hand) is given the configuration a creation gives.
TEST_F(ScmApi, CreateRegistersTheQuotedPathOrTakesOverTheServiceOfThatName) {
  sim::M().services.Add(u"tovmouseservice", u"\"C:\\Old\\x.exe\"").displayName = u"Old";
  {
    TMScmApi scm;
    ASSERT_TRUE(scm.ServiceCreate(kName, kServiceExe));  // names ignore case
    ASSERT_TRUE(scm.ServiceCreate(u"New", kServiceExe));
    // A path that comes quoted already is not quoted twice.
    ASSERT_TRUE(scm.ServiceCreate(u"Other", u"\"C:\\a b\\Other.exe\""));
  }
  for (const char16_t* name : {kName, u"New"}) {
    const sim::ServiceRecord* r = sim::M().services.Find(name);
    EXPECT_EQ(r->imagePath, u"\"C:\\Program Files\\Tov Mouse\\TovMouseService.exe\"");
    EXPECT_EQ(std::tuple(r->type, r->startType, r->errorControl, r->account, r->displayName),
              std::tuple(win::SERVICE_WIN32_OWN_PROCESS | win::SERVICE_INTERACTIVE_PROCESS, win::SERVICE_AUTO_START,
                         win::SERVICE_ERROR_IGNORE, std::u16string(u"LocalSystem"), std::u16string(name)));
    EXPECT_EQ(r->status.dwCurrentState, win::SERVICE_STOPPED);  // not started
  }
  EXPECT_EQ(sim::M().services.Find(u"Other")->imagePath, u"\"C:\\a b\\Other.exe\"");
  sim::M().FailCall("ChangeServiceConfig2W", 5, win::ERROR_ACCESS_DENIED);    // its delayed start: not taken over
  sim::M().FailCall("CreateServiceW", 5, win::ERROR_DUPLICATE_SERVICE_NAME);  // another service's display name
  {
    TMScmApi scm;
    EXPECT_FALSE(scm.ServiceCreate(kName, kServiceExe));
    EXPECT_FALSE(scm.ServiceCreate(u"Dup", kServiceExe));
  }
  const std::string takeOver =
      "TMScmApi::ServiceCreate TovMouseService exists: it is given this product's configuration";
  EXPECT_EQ(LogLines(), (Lines{"CreateService failed (1073)", takeOver, "CreateService failed (1073)", takeOver,
                               "ChangeServiceConfig2 3 failed (5)", "CreateService failed (1078)",
                               "TMScmApi::ServiceCreate another service has the display name Dup"}));
  EXPECT_EQ(sim::M().handles.CountAll(), 0u);
}

TEST_F(ScmApi, WithoutAdministrativeRightsEveryOperationFailsOnItsHandleCheck) {
  sim::M().services.admin = false;
  AddRunning(0);
  {
    TMScmApi scm;
    EXPECT_FALSE(scm.ServiceEnableAccess(kName));
    EXPECT_FALSE(scm.ServiceCreate(kName, kServiceExe));
    EXPECT_FALSE(scm.ServiceStart());
    EXPECT_FALSE(scm.ServiceStop(30));
    EXPECT_FALSE(scm.ServiceDelete());
  }
  EXPECT_EQ(LogLines(), (Lines{"OpenSCManager failed (5)", "SCM handle invalid.", "Service handle invalid.",
                               "Service handle invalid.", ">>> TMScmApi::ServiceStop", "Service handle invalid.",
                               "Trying to delete service.", "Service handle invalid."}));
  EXPECT_EQ(sim::M().services.Find(kName)->status.dwCurrentState, win::SERVICE_RUNNING);
}

TEST_F(ScmApi, StopWaitsAtMostTheGivenNumberOfSeconds) {
  struct Case {
    unsigned pendingQueries;
    std::int32_t maxWaits;
    bool result;
    std::string line;
    std::size_t sleeps;
    std::size_t queries;  // the first one before the stop request included
  };
  const std::vector<Case> cases = {
      {0, 30, true, "Service stopped after 0 tries.", 0, 2},
      {1, 30, true, "Service stopped after 1 tries.", 1, 3},
      {29, 30, true, "Service stopped after 29 tries.", 29, 31},
      // It would stop while the last wait runs, but no query follows that wait.
      {30, 30, false, "Unable to stop serice after 30 tries.", 30, 31},
      {0, 0, false, "Unable to stop serice after 0 tries.", 0, 1},
      // A negative count is no count of waits: not reported as stopped.
      {0, -1, false, "Unable to stop serice after 0 tries.", 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.pendingQueries) + " pending, at most " + std::to_string(c.maxWaits));
    SetUp();
    AddRunning(c.pendingQueries);
    TMScmApi scm;
    ASSERT_TRUE(scm.ServiceEnableAccess(kName));
    EXPECT_EQ(scm.ServiceStop(c.maxWaits), c.result);
    EXPECT_EQ(Calls("ControlService"), 1u);
    EXPECT_EQ(Calls("QueryServiceStatusEx"), c.queries);
    EXPECT_EQ(sim::M().sleeps, std::vector<win::DWORD>(c.sleeps, 1000));
    EXPECT_EQ(LogLines().back(), c.line);
  }
}

TEST_F(ScmApi, StopTracesFailedQueriesAndRequests) {
  AddRunning(3);
  for (unsigned nth : {1u, 3u, 5u}) sim::M().FailCall("QueryServiceStatusEx", nth, win::ERROR_ACCESS_DENIED);
  TMScmApi scm;
  ASSERT_TRUE(scm.ServiceEnableAccess(kName));
  win::DWORD state = 99;
  EXPECT_FALSE(scm.ServiceQueryStatus(nullptr, state));  // the state is 0
  EXPECT_EQ(state, 0u);
  EXPECT_FALSE(scm.ServiceStop(30));  // a poll after the request fails
  // Stopping already: not asked again (it would refuse), but waited for.
  EXPECT_FALSE(scm.ServiceStop(30));  // and a poll fails
  EXPECT_TRUE(scm.ServiceStop(30));
  EXPECT_EQ(Calls("ControlService"), 1u);
  // Each failed query gives its error code before the caller's line.
  const std::string stopping = "TMScmApi::ServiceStop the service is stopping already";
  EXPECT_EQ(
      LogLines(),
      (Lines{"TMScmApi::ServiceQueryStatus QueryServiceStatusEx failed (5)", ">>> TMScmApi::ServiceStop",
             "TMScmApi::ServiceQueryStatus QueryServiceStatusEx failed (5)", "TMScmApi::ServiceQueryStatus failed!",
             ">>> TMScmApi::ServiceStop", stopping, "TMScmApi::ServiceQueryStatus QueryServiceStatusEx failed (5)",
             "TMScmApi::ServiceQueryStatus failed!", ">>> TMScmApi::ServiceStop", stopping,
             "Service stopped after 1 tries."}));
}

// The errors of opening the service and of deleting it that have a text of
// their own; only a delete that succeeds marks the service.
TEST_F(ScmApi, OpenAndDeleteErrorsAreNamed) {
  const std::string open = "TMScmApi::ServiceEnableAccess ", del = "DeleteService failed. (";
  const struct {
    const char* call;
    win::DWORD error;
    Lines log;
  } cases[] = {
      {"OpenServiceW", 5, {open + "OpenService failed! 5", open + "Error: Access denied."}},
      {"OpenServiceW", 6, {open + "OpenService failed! 6", open + "Invalid handle"}},
      {"OpenServiceW", 123, {open + "OpenService failed! 123", open + "Invalid name"}},
      {"OpenServiceW", 1060, {open + "OpenService failed! 1060", open + "Service does not exists"}},
      {"OpenServiceW", 8, {open + "OpenService failed! 8", open + "Unknown error"}},
      {"DeleteService", 0, {"Trying to delete service."}},
      {"DeleteService",
       5,
       {"Trying to delete service.", del + "5)", "The handle does not have the DELETE access right."}},
      {"DeleteService", 6, {"Trying to delete service.", del + "6)", "The specified handle is invalid. "}},
      {"DeleteService",
       1072,
       {"Trying to delete service.", del + "1072)", "The specified service has already been marked for deletion. "}},
      {"DeleteService", 1115, {"Trying to delete service.", del + "1115)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " " + std::to_string(c.error));
    SetUp();
    AddRunning(0);
    if (c.error != 0) sim::M().FailCall(c.call, 1, c.error);
    TMScmApi scm;
    bool opened = scm.ServiceEnableAccess(kName);
    EXPECT_EQ(opened, std::string(c.call) == "DeleteService");
    EXPECT_EQ(opened && scm.ServiceDelete(), c.error == 0);
    EXPECT_EQ(sim::M().services.Find(kName)->markedForDelete, c.error == 0);
    EXPECT_EQ(LogLines(), c.log);
  }
}

// --- Through the whole tool ----------------------------------------------------

class ServiceCommands : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::M().modulePath = std::u16string(kDir) + u"\\TovMouseSetupCustomAction.exe";
    sim::M().fs.Put(kServiceExe);
  }
  void TearDown() override { EXPECT_TRUE(sim::M().services.WaitForExit(kName)); }
};

// "-ServiceCreate" exits 0 only when the service of the name is there with
// this product's configuration afterwards: started, or with a message box
// that asks for a restart. A leftover is given that configuration whole (no
// group, dependency, failure action, delayed start or privilege list of its
// own) and stopped first, also when it is stopping already.
TEST_F(ServiceCommands, CreateExitsZeroOnlyWhenTheProductsServiceIsThere) {
  const std::string name = "TMScmApi::ServiceCreate TovMouseService ";
  const struct {
    const char* what;
    win::DWORD state;  // of a leftover with a configuration of its own
    unsigned queries;  // that see it stop pending; for a deletion: the CreateServiceW that sees it gone
    int code;
    std::string last;  // the log's last line
  } cases[] = {
      {"a running leftover", win::SERVICE_RUNNING, 1, 0, "Service stopped after 1 tries."},
      {"a leftover stopping already", win::SERVICE_STOP_PENDING, 3, 0, "Service stopped after 1 tries."},
      {"a leftover that does not stop", win::SERVICE_RUNNING, 100, 0, "StartService failed (1056)"},
      {"a deletion that ends after 3 s", 0, 4, 0, "TMScmApi::ServiceCreate created after 3 tries"},
      {"a deletion that does not end", 0, 0, 1, "ServiceCreate failed!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    if (c.state != 0) {
      sim::ServiceRecord& r = sim::M().services.Add(kName, u"\"C:\\Old\\TovMouseService.exe\"", c.state);
      std::tie(r.stopPendingQueries, r.group, r.dependencies, r.failureActions, r.failureCommand, r.delayedAutoStart,
               r.privileges) = std::tuple(c.queries, u"Group", u"Gone", 2u, u"C:\\x.exe", true, u"SeDebugPrivilege");
    } else {  // deleted while another program holds a handle to it
      win::SC_HANDLE scm = win::OpenSCManagerW(nullptr, nullptr, win::SC_MANAGER_ALL_ACCESS);
      sim::M().services.Add(kName, u"\"C:\\x.exe\"").markedForDelete = true;
      win::SC_HANDLE held = win::OpenServiceW(scm, kName, win::SERVICE_ALL_ACCESS);
      sim::M().services.onCall = [=, n = c.queries](const char* call) {
        if (std::string(call) == "CreateServiceW" && sim::M().callCounts[call] == n)
          win::CloseServiceHandle(held), win::CloseServiceHandle(scm);
      };
    }
    EXPECT_EQ(Run(u"-ServiceCreate,TovMouseService"), c.code);
    EXPECT_EQ(LogLines().back(), c.last);
    EXPECT_EQ(Logged(name + "is still marked for deletion after 30 tries"), c.code);
    bool box = c.last == "StartService failed (1056)";
    EXPECT_EQ(Logged(name + "did not stop: its old program runs until a restart"), box ? 1u : 0u);
    ASSERT_EQ(sim::M().messageBoxes.size(), box ? 1u : 0u);
    for (const auto& b : sim::M().messageBoxes) {
      EXPECT_EQ(std::tuple(b.text, b.caption, b.type, b.owner),
                std::tuple(u"Unable to start service. Please reboot.", kName, win::MB_OK | win::MB_ICONERROR, nullptr));
    }
    const sim::ServiceRecord* r = sim::M().services.Find(kName);
    ASSERT_EQ(r != nullptr && r->imagePath == std::u16string(u"\"") + kServiceExe + u"\"", c.code == 0);
    if (c.code != 0) continue;
    EXPECT_EQ(std::tuple(r->startType, r->group, r->dependencies, r->failureActions, r->failureCommand,
                         r->delayedAutoStart, r->privileges),
              std::tuple(win::SERVICE_AUTO_START, u"", u"", 0u, u"", false, u""));
    // When it did not stop: the leftover's program, still stopping.
    EXPECT_EQ(r->status.dwCurrentState, box ? win::SERVICE_STOP_PENDING : win::SERVICE_RUNNING);
  }
}

// The program file is "<tool directory>\\<name>.exe": a name with a path,
// stream, wildcard or environment character, a blank or dot at an end (which
// Windows drops) or a device name could register another program (an
// alternate data stream, a file elsewhere, a device) or reach another service.
// Nothing is asked of the manager for such a name.
TEST_F(ServiceCommands, OnlyPlainServiceNamesAreTakenUp) {
  const std::u16string refused[] = {u"TovMouseService:evil",
                                    u"..\\TovMouseService",
                                    u"a/b",
                                    u"*",
                                    u"a?",
                                    u"a\" b",
                                    u"<a>",
                                    u"a|b",
                                    u"a\x01",
                                    u"%SystemRoot%",
                                    u" ",
                                    u"a ",
                                    u" a",
                                    u"a.",
                                    u"CON",
                                    u"nul.txt",
                                    u"Com1",
                                    u"lpt9.x",
                                    u"PRN",
                                    u"aux",
                                    std::u16string(80, u'n')};
  EXPECT_TRUE(
      std::ranges::all_of(std::vector<std::u16string>{std::u16string(79, u'n'), u"COM0", u"COM10", u"CON_", u"a.b b"},
                          TMScmApi::IsServiceName));
  for (const std::u16string command : {u"-ServiceCreate", u"-ServiceDelete"}) {
    for (const std::u16string& name : refused) {
      SCOPED_TRACE(wstr::ToUtf8(command + u"," + name));
      sim::Reset();
      sim::M().services.Add(kName, u"\"C:\\x.exe\"");
      EXPECT_EQ(Run(command + u"," + name), command == u"-ServiceCreate" ? 1 : 0);
      std::string shown = wstr::ToUtf8(name == u"a\x01" ? u"a?" : name);
      EXPECT_EQ(LogLines().back(),
                "_tWinMain: " + wstr::ToUtf8(command) + " \"" + shown + "\" is not a service name, nothing done");
      EXPECT_EQ(Calls("OpenSCManagerW"), 0u);
      EXPECT_EQ(sim::M().services.database.size(), 1u);
    }
  }
}

TEST_F(ServiceCommands, DeleteOfAServiceThatWillNotStopStillMarksIt) {
  sim::M().services.Add(kName, u"\"C:\\x.exe\"", win::SERVICE_RUNNING).stopPendingQueries = 100;
  EXPECT_EQ(Run(u"-ServiceDelete,TovMouseService"), 0);
  EXPECT_EQ(LastLines(3),
            (Lines{"Unable to stop serice after 30 tries.", "ServiceDelete failed!", "Trying to delete service."}));
  // Marked; the manager removes it once it has stopped.
  EXPECT_TRUE(sim::M().services.Find(kName)->markedForDelete);
  EXPECT_EQ(sim::M().sleeps.size(), 30u);
}

}  // namespace
