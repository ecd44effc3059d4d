// The driver package store: "-DriverPackageInstall", "-DriverPackageUninstall"
// and the OEM INF deletion, against the simulated difxapi.dll and Setup API.
#include "sim/store.h"

#include "setup/driverstore.h"
#include "setup/oeminf.h"
#include "sim_test.h"

namespace {

constexpr char16_t kPackageInf[] = u"C:\\Package\\tovfiltr.inf";
constexpr char16_t kInstall[] = u"-DriverPackageInstall,C:\\Package\\tovfiltr.inf";
constexpr char16_t kStore[] = u"C:\\Windows\\System32\\DriverStore\\FileRepository\\";

class StoreTest : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    sim::M().fs.Put(kPackageInf, "[Version]\r\n");
  }

  static std::vector<sim::DifxCall> DifxCalls(const std::string& name) {
    std::vector<sim::DifxCall> out;
    for (const auto& c : sim::M().store.difxCalls) {
      if (c.name == name) out.push_back(c);
    }
    return out;
  }

  // The run left nothing open: no library, no search, no file.
  static void ExpectNothingLeftOpen() {
    EXPECT_EQ(sim::M().handles.CountAll(), 0u);
    EXPECT_FALSE(sim::M().store.CallbackRegistered());
  }

  static bool Exists(std::u16string_view path) { return sim::M().fs.Exists(path); }

  // The line saying that the Setup API's driver store calls stand in for
  // the framework, which is not available for `error`.
  static std::string StandIn(int error) {
    return "DifxApi::Framework difxapi.dll not available (" + std::to_string(error) +
           "), driver store interface: SetupCopyOEMInfW and SetupUninstallOEMInfW";
  }
};

// --- Install -----------------------------------------------------------------

using Install = StoreTest;

// A path step that fails skips the driver file but not the install. (Each
// step's failure and trace are the shared helper's: the OEM INF list's tests.)
TEST_F(Install, APathStepThatFailsSkipsTheDriverFileButNotTheInstall) {
  sim::M().fs.Put(sim::DriverFilePath());
  sim::AddDifxApi();
  sim::M().FailCall("PathAppendW", 3, win::ERROR_GEN_FAILURE);
  EXPECT_EQ(Run(kInstall), 0);
  EXPECT_EQ(LogAfterBanner().at(3), "Utilities::UninstallPackagesByOemInf PathAppend III failed 31");
  EXPECT_EQ(Calls("DeleteFileW"), 0u);
  EXPECT_EQ(DifxCalls("DriverPackageInstallW").size(), 1u);
}

// A package INF that is not there fails the run with -1. (The framework's
// failures: the Wine run, with the stand-in difxapi.dll.)
TEST_F(Install, AFailedPackageInstallExitsWithMinusOne) {
  EXPECT_EQ(Run(u"-DriverPackageInstall,C:\\Nowhere\\tovfiltr.inf"), -1);
  EXPECT_EQ(LastLines(2), (Lines{"TMSCAMainInternalDriverPackageInstall SetupCopyOEMInfW failed 2",
                                 "TMSCAMainInternalDriverPackageInstall failed!"}));
  ExpectNothingLeftOpen();
}

TEST_F(Install, FrameworkMessagesOfEveryTypeReachTheTrace) {
  sim::AddDifxApi();
  sim::M().fs.Put(sim::DriverFilePath());
  sim::M().systemMessages[1234] = std::u16string(1020, u'm') + u"\r\n";
  sim::M().store.installMessages = {
      {win::DIFXAPI_SUCCESS, 0, u"Installed"},
      {win::DIFXAPI_INFO, 0, u"Copying 100% of %s"},
      {win::DIFXAPI_WARNING, 5, u"Unsigned"},
      {win::DIFXAPI_ERROR, 2, u"Missing"},
      {win::DIFXAPI_WARNING, 0, u"w"},
      {win::DIFXAPI_ERROR, 0, u"e"},
      {win::DIFXAPI_ERROR, win::ERROR_DRIVER_PACKAGE_NOT_IN_STORE, u"Not in store"},
      {4, 0, u"four"},
      {-1, 0, u"minus"},
      {win::DIFXAPI_WARNING, 1234, u"long"},
  };
  TraceMaskInit();
  EXPECT_EQ(Run(kInstall), 0);
  Lines lines = LogAfterBanner();
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(Lines(lines.begin() + 4, lines.begin() + 13),
            (Lines{"DIFXAPI_SUCCESS: Installed.", "DIFXAPI_INFO:    Copying 100% of %s.",
                   "DIFXAPI_WARNING: Unsigned. Errorcode:  5 [5 (Access is denied.)]",
                   "DIFXAPI_ERROR:   Missing.  Errorcode: 2 [2 (The system cannot find the file specified.)]",
                   "DIFXAPI_WARNING: w. Errorcode:  0 []", "DIFXAPI_ERROR:   e.  Errorcode: 0 []",
                   "DIFXAPI_ERROR:   Not in store.  Errorcode: -536870142 [-536870142]", "DIFXAPI unknown callback!",
                   "DIFXAPI unknown callback!"}));
  // The error text is cut to 1023 characters.
  std::string expected =
      "DIFXAPI_WARNING: long. Errorcode:  1234 [" + ("1234 (" + std::string(1020, 'm')).substr(0, 1023);
  EXPECT_EQ(lines[13], expected + "]");
  // They are at TRACE_DIFXAPI: on the debugger too.
  Lines debug = Debug();
  EXPECT_NE(std::find(debug.begin(), debug.end(), "RVSET: DIFXAPI_SUCCESS: Installed.\n"), debug.end());
}

TEST_F(Install, WithoutAUsableFrameworkTheSetupApiInstallsThePackage) {
  const struct {
    const char* name;
    void (*arrange)();
    Lines lines;  // between the operation's first and last line
  } cases[] = {
      // The usual case on Windows today, and no error.
      {"no library", [] {}, {StandIn(126)}},
      {"does not load",
       [] { sim::AddDifxApi(), sim::M().FailCall("LoadLibraryExW", 1, 193); },
       {"DifxApi::Framework LoadLibraryEx difxapi.dll failed 193", StandIn(193)}},
      {"a call missing",
       [] { sim::AddDifxApi({}, {"SetDifxLogCallbackW"}); },
       {"DifxApi::Framework GetProcAddress SetDifxLogCallbackW failed 127", StandIn(127)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    sim::M().fs.Put(sim::DriverFilePath(), "old");
    c.arrange();
    EXPECT_EQ(Run(kInstall), 0);
    Lines lines = LogAfterBanner();
    EXPECT_EQ(lines.at(2), ">>> TMSCAMainInternalDriverPackageInstall");
    EXPECT_EQ(Lines(lines.begin() + 3, lines.end() - 1), c.lines);
    EXPECT_EQ(lines.back(), "<<< TMSCAMainInternalDriverPackageInstall");
    EXPECT_FALSE(Exists(sim::DriverFilePath()));
    EXPECT_TRUE(sim::M().store.difxCalls.empty());
    EXPECT_EQ(sim::M().store.packages.size(), 1u);
    ExpectNothingLeftOpen();  // a library that was loaded is freed
  }
}

// --- Uninstall ---------------------------------------------------------------

using Uninstall = StoreTest;

// Each store package of the INF, in any case of A-Z, is removed; one that
// fails does not stop the walk, nor does an OEM INF without a package. (The
// walk's lines are those the Wine run checks.)
TEST_F(Uninstall, RemovesEveryStorePackageOfTheNamedInf) {
  sim::AddDifxApi();
  auto oem0 = sim::PutOemInf(u"oem0.inf", u"other.inf");
  auto oem1 = sim::PutOemInf(u"oem1.inf", u"x.inf");
  auto oem2 = sim::PutOemInf(u"oem2.inf", u"y.inf");
  auto oem3 = sim::PutOemInf(u"oem3.inf", u"z.inf");
  auto oem4 = sim::PutOemInf(u"oem4.inf", u"w.inf");
  std::u16string other = std::u16string(kStore) + u"other.inf_amd64_1\\other.inf";
  std::u16string first = std::u16string(kStore) + u"TovFiltr.inf_amd64_2\\TovFiltr.inf";
  std::u16string second = std::u16string(kStore) + u"tovfiltr.inf_amd64_3\\tovfiltr.inf";
  sim::AddStorePackage(other, oem0);
  sim::AddStorePackage(first, oem1);
  sim::AddStorePackage(second, oem3);
  // One fails (no device is no success here), the next is still removed.
  sim::M().store.uninstallResults[first] = win::ERROR_NO_SUCH_DEVINST;
  sim::M().store.getPathResults[oem4] = 3;  // a code without a name

  EXPECT_EQ(Run(u"-DriverPackageUninstall,TOVFILTR.INF"), 0);
  EXPECT_EQ(Logged("DifxApi::DriverPackageUninstall DriverPackageUninstall returned 0xe000020b."), 1u);
  EXPECT_EQ(Logged("<Unknown Error>"), 1u);
  auto uninstalls = DifxCalls("DriverPackageUninstallW");
  ASSERT_EQ(uninstalls.size(), 2u);
  EXPECT_EQ(uninstalls[0].flags, win::DRIVER_PACKAGE_DELETE_FILES | win::DRIVER_PACKAGE_FORCE);
  EXPECT_FALSE(uninstalls[0].installerInfo);
  ASSERT_EQ(sim::M().store.packages.size(), 2u);
  EXPECT_EQ(sim::M().store.packages[1].storeInfPath, first);
  EXPECT_TRUE(Exists(oem2));
  ExpectNothingLeftOpen();
}

TEST_F(Uninstall, TheLogCallbackIsRegisteredOnlyAroundInstallAndUninstall) {
  sim::AddDifxApi();
  auto oem0 = sim::PutOemInf(u"oem0.inf", u"a.inf");
  sim::AddStorePackage(std::u16string(kStore) + u"tovfiltr.inf_amd64_1\\tovfiltr.inf", oem0);
  sim::M().store.getPathMessages = {{win::DIFXAPI_INFO, 0, u"looking up"}};
  sim::M().store.uninstallMessages = {{win::DIFXAPI_SUCCESS, 0, u"removed"}};
  EXPECT_EQ(Run(u"-DriverPackageUninstall,tovfiltr"), 0);
  EXPECT_FALSE(DifxCalls("DriverPackageGetPathW").at(0).callbackRegistered);
  EXPECT_TRUE(DifxCalls("DriverPackageUninstallW").at(0).callbackRegistered);
  EXPECT_EQ(Logged("DIFXAPI_SUCCESS: removed."), 1u);
  EXPECT_EQ(Logged("DIFXAPI_INFO:    looking up."), 0u);
  // Registered with the C-convention setter right before the call, cleared right after it.
  auto calls = OperationCalls();
  auto at = std::find(calls.begin(), calls.end(), "DriverPackageUninstallW");
  ASSERT_NE(at, calls.end());
  EXPECT_EQ(*(at - 1), "DIFXAPISetLogCallbackW");
  EXPECT_EQ(*(at + 1), "SetDifxLogCallbackW");
  ExpectNothingLeftOpen();
}

TEST_F(Uninstall, TheTokenNamesExactlyOneInfFile) {
  const std::vector<std::u16string> removing = {u"tovfiltr", u"TOVFILTR.INF", u"tovfiltr.inf"};
  // Parts of paths and names that a looser rule would find everywhere; a
  // letter beyond A-Z in another case.
  const std::vector<std::u16string> keeping = {u"inf", u"oem", u"a", u"oem9", u"tovfilt", u"m\u00e4us"};
  const std::vector<std::u16string> refused = {u".", u"..", u"\\", u"c:", u"*.inf", u"C:\\Package\\tovfiltr.inf", u""};
  for (bool difx : {true, false}) {
    for (const auto* tokens : {&removing, &keeping, &refused}) {
      for (const auto& token : *tokens) {
        SCOPED_TRACE(wstr::ToUtf8(token) + (difx ? " difxapi.dll" : " Setup API"));
        sim::Reset();
        if (difx) sim::AddDifxApi();
        auto tov = sim::PutOemInf(u"oem0.inf", u"tovfiltr.inf");
        auto mouse = sim::PutOemInf(u"oem1.inf", u"mouse.inf");
        auto oem90 = sim::PutOemInf(u"oem2.inf", u"oem90.inf");
        // Names that only begin with the token's INF name.
        auto longer = sim::PutOemInf(u"oem3.inf", u"tovfiltr.infx");
        auto umlaut = sim::PutOemInf(u"oem4.inf", u"M\u00c4US.inf");
        sim::AddStorePackage(std::u16string(kStore) + u"tovfiltr.inf_amd64_1\\tovfiltr.inf", tov);
        sim::M().store.packages.back().deviceInstalled = true;  // only a forced removal takes it
        sim::AddStorePackage(std::u16string(kStore) + u"mouse.inf_amd64_2\\mouse.inf", mouse);
        sim::AddStorePackage(std::u16string(kStore) + u"oem90.inf_amd64_3\\oem90.inf", oem90);
        sim::AddStorePackage(std::u16string(kStore) + u"tovfiltr.inf2_amd64_4\\tovfiltr.inf2", longer);
        sim::AddStorePackage(std::u16string(kStore) + u"M\u00c4US.inf_amd64_5\\M\u00c4US.inf", umlaut);
        EXPECT_EQ(TMSCAMainInternalDriverPackageUninstall(token), 0);
        bool removes = tokens == &removing;
        EXPECT_EQ(sim::M().store.packages.size(), removes ? 4u : 5u);
        EXPECT_EQ(Exists(tov), !removes);
        EXPECT_TRUE(Exists(mouse) && Exists(oem90) && Exists(longer) && Exists(umlaut));
        bool refuses = tokens == &refused;
        EXPECT_EQ(Logged("TMSCAMainInternalDriverPackageUninstall \"" + wstr::ToUtf8(token) +
                         "\" is not an INF file name, nothing removed"),
                  refuses ? 1u : 0u);
        EXPECT_TRUE(!refuses || sim::M().callCounts.count("LoadLibraryExW") == 0);
      }
    }
  }
}

TEST_F(Uninstall, AFailedSetupApiCallIsTracedAndTheWalkGoesOn) {
  for (std::string call :
       {"SetupGetInfInformationW", "SetupQueryInfOriginalFileInformationW", "SetupUninstallOEMInfW"}) {
    SCOPED_TRACE(call);
    sim::Reset();
    auto oem1 = sim::PutOemInf(u"oem1.inf", u"tovfiltr.inf");
    auto oem2 = sim::PutOemInf(u"oem2.inf", u"tovfiltr.inf");
    sim::AddStorePackage(std::u16string(kStore) + u"tovfiltr.inf_amd64_1\\tovfiltr.inf", oem1);
    sim::AddStorePackage(std::u16string(kStore) + u"tovfiltr.inf_amd64_2\\tovfiltr.inf", oem2);
    sim::M().FailCall(call, 1, win::ERROR_ACCESS_DENIED);
    EXPECT_EQ(Run(u"-DriverPackageUninstall,tovfiltr"), 0);
    EXPECT_EQ(Logged("SetupApi::OemInfPackagesUninstall " + call + " failed 5"), 1u);
    ASSERT_EQ(sim::M().store.packages.size(), 1u);
    EXPECT_EQ(sim::M().store.packages[0].oemInfPath, oem1);
  }
}

// --- OEM INF deletion ----------------------------------------------------------

using OemInfDelete = StoreTest;

// An INF that cannot be deleted still loses its PNF file, and the other way
// round; an INF that cannot be read is left alone; a PNF file that is not
// there is no error. (Which names match: the uninstall token table.)
TEST_F(OemInfDelete, EachFailureIsTracedAndTheWalkGoesOn) {
  std::u16string infs[5];
  for (int i = 0; i < 5; ++i) {
    infs[i] = sim::PutOemInf(u"oem" + std::u16string(1, u'1' + i) + u".inf", u"tovfiltr.inf", i < 4);
  }
  sim::M().fs.Find(infs[0])->deleteError = win::ERROR_ACCESS_DENIED;
  sim::M().fs.Find(sim::InfDirectoryPath(u"oem2.pnf"))->deleteError = win::ERROR_SHARING_VIOLATION;
  sim::M().store.infOpenErrors[infs[2]] = 0xE0000003;                                     // ERROR_GENERAL_SYNTAX
  sim::M().FailCall("SetupQueryInfOriginalFileInformationW", 3, win::ERROR_GEN_FAILURE);  // of oem4.inf
  SetupApi::OemInfFilesDelete(u"tovfiltr.inf");
  const bool kept[] = {true, false, true, true, false};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Exists(infs[i]), kept[i]) << i;
  EXPECT_FALSE(Exists(sim::InfDirectoryPath(u"oem1.pnf")));
  EXPECT_TRUE(Exists(sim::InfDirectoryPath(u"oem2.pnf")));
  Lines lines = LogLines();
  EXPECT_EQ(lines.at(2), "SetupApi::DeleteOemInfFile DeleteFile INF error: 5");
  EXPECT_EQ(lines.at(4), "SetupApi::DeleteOemInfFile DeleteFile PNF error: 32");
  EXPECT_EQ(lines.at(6), "SetupApi::DeleteOemInfFile SetupGetInfInformationW error: -536870909");
  EXPECT_EQ(lines.at(8), "SetupApi::DeleteOemInfFile SetupQueryInfOriginalFileInformation error: 31");
  EXPECT_EQ(lines.size(), 10u);  // the last line: "enumerating" oem5.inf, deleted without its PNF
}

}  // namespace
