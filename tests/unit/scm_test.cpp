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
  // One marked for deletion, or whose configuration cannot be changed, is not taken.
  sim::M().services.Find(u"New")->markedForDelete = true;
  sim::M().FailCall("ChangeServiceConfigW", 2, win::ERROR_ACCESS_DENIED);
  {
    TMScmApi scm;
    EXPECT_FALSE(scm.ServiceCreate(u"New", kServiceExe));
    EXPECT_FALSE(scm.ServiceCreate(kName, kServiceExe));
  }
  const std::string takeOver =
      "TMScmApi::ServiceCreate TovMouseService exists: it is given this product's configuration";
  EXPECT_EQ(LogLines(), (Lines{"CreateService failed (1073)", takeOver, "CreateService failed (1072)",
                               "CreateService failed (1073)", takeOver, "ChangeServiceConfig failed (5)"}));
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

TEST_F(ScmApi, NamesOfEightyCharactersOrMoreAreRefusedNotCut) {
  std::u16string longName(80, u'n');
  std::u16string prefix(79, u'n');
  sim::M().services.Add(prefix, u"\"C:\\x.exe\"", win::SERVICE_RUNNING);
  sim::M().services.Add(longName, u"\"C:\\y.exe\"", win::SERVICE_RUNNING);
  {
    TMScmApi scm;
    EXPECT_FALSE(scm.ServiceEnableAccess(longName));
    EXPECT_EQ(sim::M().handles.CountAll(), 0u);
    EXPECT_FALSE(scm.ServiceStop(30));  // nothing held: the 79-character service is left alone
  }
  EXPECT_EQ(sim::M().services.Find(prefix)->status.dwCurrentState, win::SERVICE_RUNNING);
  EXPECT_EQ(Calls("OpenServiceW"), 0u);
  {
    TMScmApi scm;
    EXPECT_FALSE(scm.ServiceCreate(longName + u"x", kServiceExe));
    EXPECT_TRUE(scm.ServiceCreate(std::u16string(79, u'c'), kServiceExe));
    EXPECT_TRUE(scm.ServiceEnableAccess(std::u16string(79, u'c')));
  }
  EXPECT_EQ(sim::M().services.Find(longName + u"x"), nullptr);
  EXPECT_EQ(LogLines(), (Lines{"TMScmApi::ServiceEnableAccess Service name too long (80 characters, at most 79)",
                               ">>> TMScmApi::ServiceStop", "Service handle invalid.",
                               "TMScmApi::ServiceCreate Service name too long (81 characters, at most 79)"}));
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
  EXPECT_FALSE(scm.ServiceStop(30));  // stopping already: the request is refused
  EXPECT_FALSE(scm.ServiceStop(30));  // the first query fails
  EXPECT_EQ(Calls("ControlService"), 2u);
  // Each failed query gives its error code before the caller's line.
  EXPECT_EQ(
      LogLines(),
      (Lines{"TMScmApi::ServiceQueryStatus QueryServiceStatusEx failed (5)", ">>> TMScmApi::ServiceStop",
             "TMScmApi::ServiceQueryStatus QueryServiceStatusEx failed (5)", "TMScmApi::ServiceQueryStatus failed!",
             ">>> TMScmApi::ServiceStop", "ControlService SERVICE_CONTROL_STOP failed (1061)",
             ">>> TMScmApi::ServiceStop", "TMScmApi::ServiceQueryStatus QueryServiceStatusEx failed (5)",
             "TMScmApi::ServiceQueryStatus failed!"}));
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

// A service of the name left behind elsewhere, and running, is given this
// product's program and stopped; one that cannot start is left registered (it
// starts at the next boot), and a message box asks for a reboot.
TEST_F(ServiceCommands, CreateOverALeftoverServiceRegistersThisProductsProgramAndAFailedStartShowsABox) {
  sim::M().fs.Put(u"C:\\Old\\TovMouseService.exe");
  sim::M().services.Add(kName, u"\"C:\\Old\\TovMouseService.exe\"", win::SERVICE_RUNNING);
  sim::M().fs.Remove(kServiceExe);
  EXPECT_EQ(Run(u"-ServiceCreate,TovMouseService"), 0);
  ASSERT_EQ(sim::M().messageBoxes.size(), 1u);
  const auto& box = sim::M().messageBoxes[0];
  EXPECT_EQ(box.text, u"Unable to start service. Please reboot.");
  EXPECT_EQ(box.caption, kName);
  EXPECT_EQ(box.type, win::MB_OK | win::MB_ICONERROR);
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_EQ(LogAfterBanner().back(), "StartService failed (2)");
  const sim::ServiceRecord* r = sim::M().services.Find(kName);
  EXPECT_EQ(r->imagePath, std::u16string(u"\"") + kServiceExe + u"\"");
  EXPECT_EQ(r->startType, win::SERVICE_AUTO_START);
}

// The program file is "<tool directory>\\<name>.exe": a name with a path,
// stream or wildcard character could register another program (an alternate
// data stream, a file elsewhere) or reach another service. Nothing is asked of
// the manager for such a name.
TEST_F(ServiceCommands, OnlyPlainServiceNamesAreTakenUp) {
  const std::u16string refused[] = {
      u"TovMouseService:evil",  u"..\\TovMouseService", u"a/b", u"*", u"a?", u"a\" b", u"<a>", u"a|b", u"a\x01",
      std::u16string(257, u'n')};
  for (const std::u16string command : {u"-ServiceCreate", u"-ServiceDelete"}) {
    for (const std::u16string& name : refused) {
      SCOPED_TRACE(wstr::ToUtf8(command + u"," + name));
      sim::Reset();
      sim::M().services.Add(kName, u"\"C:\\x.exe\"");
      EXPECT_EQ(Run(command + u"," + name), 0);
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
