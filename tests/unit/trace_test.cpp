#include <set>
#include <thread>

#include "sim_test.h"

namespace {

using Trace = SimTest;

TEST_F(Trace, EveryMessageReachesTheLogButOnlyMaskedLevelsTheDebugger) {
  TraceMaskInit();
  EXPECT_EQ(TraceMask, TRACE_DEFAULT_MASK);
  TracePrint(TRACE_FUNCTION, u">>> _tWinMain\n");
  TracePrint(TRACE_INVOCATION, u"banner %d\n", 1);
  TracePrint(TRACE_DIFXAPI | TRACE_FUNCTION, u"both bits\n");
  TracePrint(TRACE_SCMAPI, u"Service stopped after %d tries.\n", 3);
  TracePrint(TRACE_ERROR, u"no line end");
  TracePrint(TRACE_ERROR, u" continued\n");
  EXPECT_EQ(Log(),
            ">>> _tWinMain\r\nbanner 1\r\nboth bits\r\nService stopped after 3 tries.\r\n"
            "no line end continued\r\n");
  EXPECT_EQ(Debug(), (std::vector<std::string>{"RVSET: banner 1\n", "RVSET: both bits\n", "RVSET: no line end",
                                               "RVSET:  continued\n"}));
}

TEST_F(Trace, LogBytesAreOnePerUnitWithQuestionMarksAboveLatin1) {
  TraceMaskInit();
  TracePrint(TRACE_ERROR, u"%s\n", u"a\u00e9\u20ac\U0001F600\nb");
  EXPECT_EQ(Log(), "a\xE9???\r\nb\r\n");
  // The debugger gets the text unchanged.
  EXPECT_EQ(sim::M().debugOutput.back(), u"RVSET: a\u00e9\u20ac\U0001F600\nb\n");
  EXPECT_EQ(LogEncode(u"\r\n"), "\r\r\n");
}

TEST_F(Trace, LongMessagesAreWholeInTheLogAndCutOnTheDebugger) {
  TraceMaskInit();
  std::u16string big(5000, u'x');
  big[4094] = 0xD83D;  // a surrogate pair across the cut is not split
  big[4095] = 0xDE00;
  TracePrint(TRACE_ERROR, u"%s", big);
  EXPECT_EQ(Log().size(), 5000u);
  const std::u16string& line = sim::M().debugOutput.back();
  EXPECT_EQ(line.size(), 7u + 4094u);
  EXPECT_EQ(line.substr(0, 7), u"RVSET: ");
}

TEST_F(Trace, AnUnwritableDirectoryOnlyLosesTheLogFile) {
  sim::M().fs.unwritableDirectories.push_back(sim::M().currentDirectory);
  EXPECT_EQ(Run(u"-ReEnumerate"), 0);
  EXPECT_FALSE(sim::M().LogBytes().has_value());
  EXPECT_EQ(sim::M().reenumerations.size(), 1u);
  EXPECT_EQ(Debug().size(), 2u);  // banner and parameter
}

TEST_F(Trace, AppendsToAnExistingLogAndKeepsTheMessageWhenTheLockFails) {
  sim::M().fs.Put(u"C:\\Users\\Setup\\TovMouseSetup.log", "earlier run\r\n");
  sim::M().FailCall("LockFileEx", 1, win::ERROR_LOCK_VIOLATION);
  TracePrint(TRACE_ERROR, u"one\n");
  TracePrint(TRACE_ERROR, u"two\n");
  EXPECT_EQ(Log(), "earlier run\r\none\r\ntwo\r\n");
  EXPECT_EQ(sim::M().handles.CountAll(), 0u);
}

TEST_F(Trace, ALogHeldWithoutSharingForAMomentStillGetsTheMessage) {
  sim::M().FailCall("CreateFileW", 1, win::ERROR_SHARING_VIOLATION);
  sim::M().FailCall("CreateFileW", 2, win::ERROR_SHARING_VIOLATION);
  TracePrint(TRACE_ERROR, u"kept\n");
  EXPECT_EQ(Log(), "kept\r\n");
  EXPECT_EQ(sim::M().sleeps.size(), 2u);
  // Held for good: the message is given up after a bounded wait.
  sim::Reset();
  sim::M().FailCall("CreateFileW", 0, win::ERROR_SHARING_VIOLATION);
  TracePrint(TRACE_ERROR, u"lost\n");
  EXPECT_EQ(sim::M().callCounts["CreateFileW"], 20u);
  // Other failures are not waited for.
  sim::Reset();
  sim::M().FailCall("CreateFileW", 0, win::ERROR_ACCESS_DENIED);
  TracePrint(TRACE_ERROR, u"lost\n");
  EXPECT_EQ(sim::M().callCounts["CreateFileW"], 1u);
  EXPECT_TRUE(sim::M().sleeps.empty());
}

TEST_F(Trace, ConcurrentWritersNeitherLoseNorTearLines) {
  constexpr int kThreads = 8, kLines = 1000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) TracePrint(TRACE_ERROR, u"writer %d line %d end\n", t, i);
    });
  }
  for (auto& th : threads) th.join();
  auto lines = LogLines();
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
  std::set<std::string> unique(lines.begin(), lines.end());
  EXPECT_EQ(unique.size(), lines.size());
  for (const auto& l : lines)
    EXPECT_TRUE(l.rfind("writer ", 0) == 0 && l.size() > 4 && l.substr(l.size() - 4) == " end");
}

TEST_F(Trace, ErrorCodeTextIsTheSignedCodeAndTheSystemMessageOnOneLine) {
  EXPECT_EQ(ErrorCodeText(5), u"5 (Access is denied.)");
  EXPECT_EQ(ErrorCodeText(0xE0000302), u"-536870142");
  sim::M().systemMessages[0xE0000302] = u"The driver package is not\r\nin the store.\r\n";
  // Only the first line feed and then the first carriage return go.
  EXPECT_EQ(ErrorCodeText(0xE0000302), u"-536870142 (The driver package is notin the store.\r\n)");
}

TEST_F(Trace, TraceErrorNameKnowsItsTableAndNothingElse) {
  TraceErrorName(TRACE_DIFXAPI, 0xE0000235);
  TraceErrorName(TRACE_DIFXAPI, 1630);
  TraceErrorName(TRACE_DIFXAPI, 0x80092003);
  TraceErrorName(TRACE_DIFXAPI, 3);
  EXPECT_EQ(Log(), "ERROR_IN_WOW64\r\nERROR_UNSUPPORTED_TYPE\r\nCRYPT_E_FILE_ERROR\r\n<Unknown Error>\r\n");
}

}  // namespace
