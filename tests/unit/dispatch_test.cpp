#include "sim_test.h"

namespace {

using Dispatch = SimTest;
TEST_F(Dispatch, EmptyArgumentTracesBannerAndNoParameters) {
  EXPECT_EQ(Run(u""), 0);
  Lines lines = LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], ">>> _tWinMain");
  EXPECT_EQ(lines[1].rfind("Call: 12/6/2026 9:5:7 Build: ", 0), 0u);
  EXPECT_EQ(lines[2], "_tWinMain: No command line parameter");
  // The entry line is at a level outside the mask: not on the debugger.
  EXPECT_EQ(Debug(), (Lines{"RVSET: " + lines[1] + "\n", "RVSET: _tWinMain: No command line parameter\n"}));
}

TEST_F(Dispatch, CommasOnlyYieldNoTokenAndNoCommand) {
  EXPECT_EQ(Run(u",,,"), 0);
  EXPECT_EQ(LogAfterBanner(), (Lines{"<<< _tWinMain"}));
  EXPECT_TRUE(sim::M().reenumerations.empty());
}

TEST_F(Dispatch, RunsOfCommasYieldNoEmptyTokens) {
  EXPECT_EQ(Run(u"-ReEnumerate,,second,"), 0);
  EXPECT_EQ(LogAfterBanner(), (Lines{"Parameter[0]: -ReEnumerate", "Parameter[1]:  second", "<<< _tWinMain"}));
  EXPECT_EQ(sim::M().reenumerations.size(), 1u);
}

TEST_F(Dispatch, CommandNamesFoldOnlyAsciiLetters) {
  EXPECT_EQ(Run(u"-rEeNUMERATE"), 0);
  EXPECT_EQ(sim::M().reenumerations.size(), 1u);
  // U+0130 (capital I with dot) is not folded to "i".
  Run(u"-ReEnumerate\u0130");
  Run(u"-ReEnumerate ");
  Run(u"\"-ReEnumerate\"");
  EXPECT_EQ(sim::M().reenumerations.size(), 1u);
}

TEST_F(Dispatch, LeadingCommaMatchesNoCommand) {
  EXPECT_EQ(Run(u",-ReEnumerate"), 0);
  EXPECT_EQ(LogAfterBanner(), (Lines{"Parameter[0]: -ReEnumerate", "<<< _tWinMain"}));
  EXPECT_TRUE(sim::M().reenumerations.empty());
}

TEST_F(Dispatch, ReEnumerateAsksTheRootAndTracesFailures) {
  sim::M().locateRootResult = win::CR_FAILURE;
  EXPECT_EQ(Run(u"-ReEnumerate,extra,tokens"), 0);
  EXPECT_TRUE(sim::M().reenumerations.empty());
  EXPECT_EQ(LogAfterBanner(), (Lines{"Parameter[0]: -ReEnumerate", "Parameter[1]:  extra", "Parameter[2]:  tokens",
                                     "_tWinMain CM_Locate_DevNode failed! 0x13", "<<< _tWinMain"}));
}

TEST_F(Dispatch, NineTokensRunButATenthRefusesTheRun) {
  EXPECT_EQ(Run(u"-ReEnumerate,1,2,3,4,5,6,7,8"), 0);
  EXPECT_EQ(sim::M().reenumerations.size(), 1u);
  sim::Reset();
  EXPECT_EQ(Run(u"-ReEnumerate,1,2,3,4,5,6,7,8,9,10,11"), 0);
  EXPECT_TRUE(sim::M().reenumerations.empty());
  auto lines = LogAfterBanner();
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[8], "Parameter[8]:  8");
  EXPECT_EQ(lines[9], "_tWinMain: More than 9 command line parameters, nothing done");
}

TEST_F(Dispatch, MissingTokensAreNamedAndNothingIsDone) {
  struct Case {
    const char16_t* argument;
    const char* line;
  } cases[] = {
      {u"-ServiceCreate", "_tWinMain: -ServiceCreate is missing parameter 1 (service name), nothing done"},
      {u"-servicedelete,", "_tWinMain: -ServiceDelete is missing parameter 1 (service name), nothing done"},
      {u"-DriverPackageInstall",
       "_tWinMain: -DriverPackageInstall is missing parameter 1 (INF file path), nothing done"},
      {u"-DriverPackageUninstall",
       "_tWinMain: -DriverPackageUninstall is missing parameter 1 (INF file name), nothing done"},
      {u"-DeviceInstancesUninstall",
       "_tWinMain: -DeviceInstancesUninstall is missing parameter 1 (device ID), nothing done"},
      {u"-DriverUpdate", "_tWinMain: -DriverUpdate is missing parameter 1 (device ID), nothing done"},
      {u"-DriverUpdate,HID\\VID_0430&PID_0005&MI_01",
       "_tWinMain: -DriverUpdate is missing parameter 2 (second parameter), nothing done"},
  };
  for (const Case& c : cases) {
    sim::Reset();
    EXPECT_EQ(Run(c.argument), 0);
    EXPECT_EQ(LogLines().back(), c.line);
    // Only the start-up lines and the refusal: no operation ran.
    EXPECT_TRUE(OperationCalls().empty()) << wstr::ToUtf8(c.argument);
  }
}

}  // namespace

namespace {

using HostileInput = SimTest;

TEST_F(HostileInput, LongTokensAreTracedWholeAndCutOnlyOnTheDebugger) {
  std::u16string big(10000, u'A');
  EXPECT_EQ(Run(u"-Unknown," + big), 0);
  EXPECT_EQ(LogLines().at(3), "Parameter[1]:  " + std::string(10000, 'A'));
  for (const auto& line : sim::M().debugOutput) EXPECT_LE(line.size(), 7u + 4095u);
}

TEST_F(HostileInput, QuotesTabsAndOddUtf16AreOrdinaryCharacters) {
  // An unpaired surrogate, a tab, quotes and a percent sign in tokens.
  std::u16string odd = u"\"a\tb\" %s %d \xD800 \xDFFF";
  EXPECT_EQ(Run(u"-ReEnumerate," + odd), 0);
  EXPECT_EQ(sim::M().reenumerations.size(), 1u);
  EXPECT_EQ(LogLines().at(3), "Parameter[1]:  \"a\tb\" %s %d ? ?");
  EXPECT_EQ(sim::M().debugOutput.at(2), u"RVSET: Parameter[1]:  " + odd + u"\n");
}

}  // namespace

namespace {

using HostileTokens = SimTest;

TEST_F(HostileTokens, EveryCommandTakesLongAndOddTokensSafely) {
  const std::u16string odd[] = {std::u16string(10000, u'x'), std::u16string(300, u'\\'), u"\"quoted\"\ttab %s%n",
                                std::u16string(1, char16_t{0xD800}) + u"unpaired"};
  const char16_t* commands[] = {u"-ServiceCreate,",
                                u"-ServiceDelete,",
                                u"-DriverPackageInstall,",
                                u"-DriverPackageUninstall,",
                                u"-DeviceInstancesUninstall,",
                                u"-DriverUpdate,"};
  for (const char16_t* command : commands) {
    for (const std::u16string& token : odd) {
      sim::Reset();
      int code = Run(command + token + u"," + token);
      // Only a package install and a driver update report failures.
      EXPECT_TRUE(code == 0 || code == -1 || code == 1) << wstr::ToUtf8(command) << " exit code " << code;
      EXPECT_EQ(sim::M().handles.CountAll(), 0u) << wstr::ToUtf8(command);
      // Any service registered runs exactly one quoted program path.
      for (const auto& service : sim::M().services.database) {
        const std::u16string& path = service.imagePath;
        EXPECT_TRUE(path.size() > 2 && path.front() == u'"' && path.find(u'"', 1) == path.size() - 1)
            << wstr::ToUtf8(path);
      }
    }
  }
}

}  // namespace
