// The setup tool's service control manager client, alone and through the
// "-ServiceCreate" and "-ServiceDelete" commands.
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

  static std::size_t Calls(const std::string& call) { return sim::M().callCounts[call]; }

  // A running stand-in service that shows STOP_PENDING to `pendingQueries`
  // status queries after the stop request.
  static void AddRunning(unsigned pendingQueries) {
    sim::M().services.Add(kName, u"\"C:\\x.exe\"", win::SERVICE_RUNNING).stopPendingQueries = pendingQueries;
  }
};

TEST_F(ScmApi, CreateRegistersTheServiceWithTheQuotedPathOnce) {
  {
    TMScmApi scm;
    ASSERT_TRUE(scm.ServiceCreate(kName, kServiceExe));
    EXPECT_EQ(sim::M().handles.Count(sim::HandleKind::Service), 1u);
    EXPECT_FALSE(scm.ServiceCreate(kName, kServiceExe));
    // A path that comes quoted already is not quoted twice.
    ASSERT_TRUE(scm.ServiceCreate(u"Other", u"\"C:\\a b\\Other.exe\""));
  }
  const sim::ServiceRecord* r = sim::M().services.Find(kName);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->imagePath, u"\"C:\\Program Files\\Tov Mouse\\TovMouseService.exe\"");
  EXPECT_EQ(r->status.dwCurrentState, win::SERVICE_STOPPED);  // created, not started
  EXPECT_EQ(sim::M().services.Find(u"Other")->imagePath, u"\"C:\\a b\\Other.exe\"");
  sim::M().services.Find(kName)->markedForDelete = true;
  {
    TMScmApi scm;
    EXPECT_FALSE(scm.ServiceCreate(u"tovmouseservice", kServiceExe));  // names ignore case
  }
  EXPECT_EQ(LogLines(), (Lines{"CreateService failed (1073)", "CreateService failed (1072)"}));
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

TEST_F(ScmApi, EnableAccessNamesEachOpenServiceError) {
  const std::vector<std::pair<win::DWORD, std::string>> cases = {
      {5, "TMScmApi::ServiceEnableAccess Error: Access denied."},
      {6, "TMScmApi::ServiceEnableAccess Invalid handle"},
      {123, "TMScmApi::ServiceEnableAccess Invalid name"},
      {1060, "TMScmApi::ServiceEnableAccess Service does not exists"},
      {8, "TMScmApi::ServiceEnableAccess Unknown error"},
  };
  for (const auto& [error, line] : cases) {
    SetUp();
    AddRunning(0);
    sim::M().FailCall("OpenServiceW", 1, error);
    TMScmApi scm;
    EXPECT_FALSE(scm.ServiceEnableAccess(kName));
    EXPECT_EQ(LogLines(), (Lines{"TMScmApi::ServiceEnableAccess OpenService failed! " + std::to_string(error), line}));
  }
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
      {1000, 30, false, "Unable to stop serice after 30 tries.", 30, 31},
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

TEST_F(ScmApi, DeleteExplainsAccessHandleAndMarkErrorsOnly) {
  const std::vector<std::pair<win::DWORD, Lines>> cases = {
      {0, {}},
      {5, {"DeleteService failed. (5)", "The handle does not have the DELETE access right."}},
      {6, {"DeleteService failed. (6)", "The specified handle is invalid. "}},
      {1072, {"DeleteService failed. (1072)", "The specified service has already been marked for deletion. "}},
      {1115, {"DeleteService failed. (1115)"}},
  };
  for (const auto& [error, lines] : cases) {
    SetUp();
    AddRunning(0);
    if (error != 0) sim::M().FailCall("DeleteService", 1, error);
    TMScmApi scm;
    ASSERT_TRUE(scm.ServiceEnableAccess(kName));
    EXPECT_EQ(scm.ServiceDelete(), error == 0);
    EXPECT_EQ(sim::M().services.Find(kName)->markedForDelete, error == 0);
    Lines expected{"Trying to delete service."};
    expected.insert(expected.end(), lines.begin(), lines.end());
    EXPECT_EQ(LogLines(), expected);
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

TEST_F(ServiceCommands, StartFailureShowsTheMessageBoxAndExitsWithZero) {
  sim::M().fs.Remove(kServiceExe);
  EXPECT_EQ(Run(u"-ServiceCreate,TovMouseService"), 0);
  ASSERT_EQ(sim::M().messageBoxes.size(), 1u);
  const auto& box = sim::M().messageBoxes[0];
  EXPECT_EQ(box.text, u"Unable to start service. Please reboot.");
  EXPECT_EQ(box.caption, kName);
  EXPECT_EQ(box.type, 0x10u);
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_EQ(LogAfterBanner().back(), "StartService failed (2)");
  EXPECT_NE(sim::M().services.Find(kName), nullptr);  // registered; it starts at the next boot
}

TEST_F(ServiceCommands, ANameWithADoubleQuoteIsRefused) {
  // "C:\...\a" b.exe" would be read as the program "C:\...\a" and an argument.
  EXPECT_EQ(Run(u"-ServiceCreate,a\" b"), 0);
  EXPECT_TRUE(sim::M().services.database.empty());
  Lines lines = LogLines();
  EXPECT_EQ(Lines(lines.end() - 2, lines.end()),
            (Lines{"TMScmApi::ServiceCreate Binary path holds a double quote: C:\\Program Files\\Tov Mouse\\a\" b.exe",
                   "ServiceCreate failed!"}));
  EXPECT_EQ(sim::M().handles.CountAll(), 0u);
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
