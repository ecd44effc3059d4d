// The setup tool's command line: tokens, command names and refusals.
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

// Each argument's log after the banner, and whether its command ran.
TEST_F(Dispatch, TokensCommandNamesAndRefusals) {
  const struct {
    std::u16string argument;
    bool ran;
    Lines log;
  } cases[] = {
      // Runs of commas give no empty tokens; an argument that begins with a
      // comma matches no command.
      {u",,,", false, Lines{"<<< _tWinMain"}},
      {u"-ReEnumerate,,second,", true, Lines{"Parameter[0]: -ReEnumerate", "Parameter[1]:  second", "<<< _tWinMain"}},
      {u",-ReEnumerate", false, Lines{"Parameter[0]: -ReEnumerate", "<<< _tWinMain"}},
      // Command names fold ASCII letters only: U+0130 (capital I with dot) is no "i". (A name in
      // mixed case, and one in quotes, are run by the Wine test.)
      {u"-ReEnumerate\u0130", false, Lines{"Parameter[0]: -ReEnumerate?", "<<< _tWinMain"}},
      {u"-ReEnumerate ", false, Lines{"Parameter[0]: -ReEnumerate ", "<<< _tWinMain"}},
      // Nine tokens run (a tenth refuses the run: the Wine run sees that).
      {u"-ReEnumerate,1,2,3,4,5,6,7,8", true,
       Lines{"Parameter[0]: -ReEnumerate", "Parameter[1]:  1", "Parameter[2]:  2", "Parameter[3]:  3",
             "Parameter[4]:  4", "Parameter[5]:  5", "Parameter[6]:  6", "Parameter[7]:  7", "Parameter[8]:  8",
             "<<< _tWinMain"}},
      // A missing token is named, and nothing is done.
      {u"-ServiceCreate", false,
       Lines{"Parameter[0]: -ServiceCreate",
             "_tWinMain: -ServiceCreate is missing parameter 1 (service name), nothing done"}},
      {u"-servicedelete,", false,
       Lines{"Parameter[0]: -servicedelete",
             "_tWinMain: -ServiceDelete is missing parameter 1 (service name), nothing done"}},
      {u"-DriverPackageInstall", false,
       Lines{"Parameter[0]: -DriverPackageInstall",
             "_tWinMain: -DriverPackageInstall is missing parameter 1 (INF file path), nothing done"}},
      {u"-DriverPackageUninstall", false,
       Lines{"Parameter[0]: -DriverPackageUninstall",
             "_tWinMain: -DriverPackageUninstall is missing parameter 1 (INF file name), nothing done"}},
      {u"-DeviceInstancesUninstall", false,
       Lines{"Parameter[0]: -DeviceInstancesUninstall",
             "_tWinMain: -DeviceInstancesUninstall is missing parameter 1 (device ID), nothing done"}},
      {u"-DriverUpdate", false,
       Lines{"Parameter[0]: -DriverUpdate",
             "_tWinMain: -DriverUpdate is missing parameter 1 (device ID), nothing done"}},
      {u"-DriverUpdate,HID\\VID_0430&PID_0005&MI_01", false,
       Lines{"Parameter[0]: -DriverUpdate", "Parameter[1]:  HID\\VID_0430&PID_0005&MI_01",
             "_tWinMain: -DriverUpdate is missing parameter 2 (second parameter), nothing done"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(wstr::ToUtf8(c.argument));
    sim::Reset();
    EXPECT_EQ(Run(c.argument), 0);
    EXPECT_EQ(LogAfterBanner(), c.log);
    EXPECT_EQ(sim::M().reenumerations.size(), c.ran ? 1u : 0u);
    // A refused or unknown command makes no platform call beyond the start-up.
    EXPECT_EQ(OperationCalls().empty(), !c.ran);
  }
}

// Quotes, percent signs, unpaired surrogates and a long token are ordinary
// characters, traced whole in the log; a control character is a "?", so that
// no token writes a log line of its own.
TEST_F(Dispatch, OddTokensAreOrdinaryCharactersButControlsAreNot) {
  std::u16string odd = u"\"a\tb\r\n<<< _tWinMain\x85\" %s %d \xD800 \xDFFF";
  EXPECT_EQ(Run(u"-ReEnumerate," + odd + u"," + std::u16string(10000, u'A')), 0);
  EXPECT_EQ(sim::M().reenumerations.size(), 1u);
  EXPECT_EQ(LogLines().at(3),
            "Parameter[1]:  \"a?b?"
            "?<<< _tWinMain?\" %s %d ? ?");
  EXPECT_EQ(LogLines().at(4), "Parameter[2]:  " + std::string(10000, 'A'));
  EXPECT_EQ(sim::M().debugOutput.at(2),
            u"RVSET: Parameter[1]:  \"a?b?"
            u"?<<< _tWinMain?\" %s %d \xD800 \xDFFF\n");
}

TEST_F(Dispatch, EveryCommandTakesLongAndOddTokensSafely) {
  const std::u16string odd[] = {std::u16string(10000, u'x'), std::u16string(300, u'\\'), u"\"quoted\"\ttab %s%n",
                                std::u16string(1, char16_t{0xD800}) + u"unpaired"};
  for (const char16_t* command : {u"-ServiceCreate,", u"-ServiceDelete,", u"-DriverPackageInstall,",
                                  u"-DriverPackageUninstall,", u"-DeviceInstancesUninstall,", u"-DriverUpdate,"}) {
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
