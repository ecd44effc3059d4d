// The setup tool's command line: tokens, command names and refusals, and
// every command of the tool's table.
#include <map>

#include "sim_test.h"

namespace {

using Dispatch = SimTest;

// The log of an argument whose tokens after `name` are the numbers 1 to `n`,
// then `last`.
Lines Numbered(const std::string& name, int n, const std::string& last) {
  Lines lines{"Parameter[0]: " + name};
  for (int i = 1; i <= n; ++i) lines.push_back("Parameter[" + std::to_string(i) + "]:  " + std::to_string(i));
  lines.push_back(last);
  return lines;
}

// Each argument's log after the entry line and the banner, and whether its
// command ran.
TEST_F(Dispatch, TokensCommandNamesAndRefusals) {
  const struct {
    std::u16string argument;
    bool ran;
    Lines log;
    int code = 0;
  } cases[] = {
      {u"", false, Lines{"_tWinMain: No command line parameter"}},
      // Runs of commas give no empty tokens; an argument that begins with a
      // comma matches no command.
      {u",,,", false, Lines{"<<< _tWinMain"}},
      {u"-ReEnumerate,,second,", true, Lines{"Parameter[0]: -ReEnumerate", "Parameter[1]:  second", "<<< _tWinMain"}},
      {u",-ReEnumerate", false, Lines{"Parameter[0]: -ReEnumerate", "<<< _tWinMain"}},
      // Command names fold ASCII letters only: U+0130 (capital I with dot) is no "i". (A name in
      // mixed case, and one in quotes, are run by the Wine test.)
      {u"-ReEnumerate\u0130", false, Lines{"Parameter[0]: -ReEnumerate?", "<<< _tWinMain"}},
      {u"-ReEnumerate ", false, Lines{"Parameter[0]: -ReEnumerate ", "<<< _tWinMain"}},
      // Nine tokens run; a tenth refuses the whole argument, and nothing of it is done.
      {u"-ReEnumerate,1,2,3,4,5,6,7,8", true, Numbered("-ReEnumerate", 8, "<<< _tWinMain")},
      {u"-ServiceCreate,1,2,3,4,5,6,7,8,9", false,
       Numbered("-ServiceCreate", 8, "_tWinMain: More than 9 command line parameters, nothing done"), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(wstr::ToUtf8(c.argument));
    sim::Reset();
    EXPECT_EQ(Run(c.argument), c.code);  // 1: "-ServiceCreate" left no service
    // The entry line is at a level outside the mask: the banner is the first
    // line on the debugger.
    EXPECT_EQ(LogLines().at(0), ">>> _tWinMain");
    EXPECT_EQ(Debug().at(0), "RVSET: " + LogLines().at(1) + "\n");
    EXPECT_EQ(Debug()[0].rfind("RVSET: Call: 12/6/2026 9:5:7 Build: ", 0), 0u);
    EXPECT_EQ(LogAfterBanner(), c.log);
    EXPECT_EQ(sim::M().reenumerations.size(), c.ran ? 1u : 0u);
    // A refused or unknown command makes no platform call beyond the start-up.
    EXPECT_EQ(OperationCalls().empty(), !c.ran);
  }
}

// Every command of the tool's table, named in any case: each token it needs,
// when missing, is named and nothing is done. With long and odd tokens it
// runs, traces them whole (a control character as "?": no token writes a log
// line of its own) and leaves nothing open.
TEST_F(Dispatch, EveryCommandNamesAMissingTokenAndTakesOddOnes) {
  const std::map<std::u16string, Lines> kTokenNames = {{u"-ServiceCreate", {"service name"}},
                                                       {u"-ServiceDelete", {"service name"}},
                                                       {u"-DriverPackageInstall", {"INF file path"}},
                                                       {u"-DriverPackageUninstall", {"INF file name"}},
                                                       {u"-ReEnumerate", {}},
                                                       {u"-DeviceInstancesUninstall", {"device ID"}},
                                                       {u"-DriverUpdate", {"device ID", "second parameter"}}};
  // Controls: a tab, CR LF (which would start a line "<<< _tWinMain"), DEL and NEL.
  const std::u16string controls = u"\"quoted\"\ttab %s%n %d\r\n<<< _tWinMain\x7f\x85";
  const std::u16string controlsShown =
      u"\"quoted\"?tab %s%n %d?"
      u"?<<< _tWinMain??";
  const std::u16string odd[] = {std::u16string(10000, u'x'), std::u16string(300, u'\\'), controls,
                                u"\xD800unpaired \xDFFF"};
  ASSERT_EQ(kTokenNames.size(), SetupCommands().size());
  for (const SetupCommand& command : SetupCommands()) {
    std::string name = wstr::ToUtf8(command.name);
    const Lines& tokenNames = kTokenNames.at(command.name);  // a command needs its row here
    for (std::size_t n = 0; n < tokenNames.size(); ++n) {
      sim::Reset();
      EXPECT_EQ(Run(wstr::AsciiLowered(command.name) + std::u16string(u",1,2").substr(0, 2 * n)),
                name == "-ServiceCreate" ? 1 : 0);
      EXPECT_EQ(LogLines().back(), "_tWinMain: " + name + " is missing parameter " + std::to_string(n + 1) + " (" +
                                       tokenNames[n] + "), nothing done");
      EXPECT_TRUE(OperationCalls().empty()) << name;
    }
    for (const std::u16string& token : odd) {
      const std::u16string& shown = token == controls ? controlsShown : token;
      sim::Reset();
      int code = Run(command.name + (u"," + token) + u"," + token);
      // Only a package install and a driver update report failures.
      EXPECT_TRUE(code == 0 || code == -1 || code == 1) << name << " exit code " << code;
      EXPECT_FALSE(OperationCalls().empty()) << name << " did not run";
      EXPECT_EQ(LogLines().at(3), "Parameter[1]:  " + LogEncode(shown)) << name;
      EXPECT_TRUE(token.size() > 4000 || sim::M().debugOutput.at(2) == u"RVSET: Parameter[1]:  " + shown + u"\n");
      EXPECT_EQ(sim::M().handles.CountAll(), 0u) << name;
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
