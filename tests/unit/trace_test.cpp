#include "service/trace.h"

#include <numeric>

#include "sim_test.h"

namespace {

using Trace = SimTest;

TEST_F(Trace, EveryMessageReachesTheLogButOnlyMaskedLevelsTheDebugger) {
  TraceMaskInit();
  EXPECT_EQ(TraceMask, 0x009D0000u);
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
  // A trace leaves the caller's last error as it was, also when the log fails.
  sim::M().FailCall("CreateFileW", 0, win::ERROR_ACCESS_DENIED);
  win::SetLastError(1234);
  TracePrint(TRACE_ERROR, u"x\n");
  EXPECT_EQ(win::GetLastError(), 1234u);
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
  // The service's trace, on the debugger only, cuts alike and keeps the line
  // end; levels outside its mask write nothing.
  TMSvcTrace(0x10000, u"hidden");
  TMSvcTrace(0xff, u"hidden");
  TMSvcTrace(TMSVC_TRACE_ERROR, u"%s", std::u16string(5000, u'a'));
  const auto& debug = sim::M().debugOutput;
  ASSERT_EQ(debug.size(), 2u);
  EXPECT_EQ(debug[0].size(), 7u + 4094u);
  EXPECT_EQ(debug[0].substr(0, 7), u"RVSET: ");
  EXPECT_EQ(debug[1].size(), kTMSvcTraceBufferChars - 1);
  EXPECT_EQ(debug[1].substr(0, 8), u"TMSvc: a");
  EXPECT_EQ(debug[1].back(), u'\n');
}

constexpr char16_t kLog[] = u"C:\\Users\\Setup\\TovMouseSetup.log";
constexpr char kOther[] = "another writer's line";

// Another program holds the log file unshared during the first `times` opens
// for each of `messages` messages.
void Refuse(sim::Machine& m, unsigned times, unsigned messages) {
  for (unsigned n = 1; n <= (times + 1) * messages; ++n) {
    if (n % (times + 1) != 0) m.FailCall("CreateFileW", n, win::ERROR_SHARING_VIOLATION);
  }
}

// Another process has the lock at the run's first `held` lock attempts and writes a line before
// the first `writing` of them: other runs' turns at the log, then (if more) a program holding it.
void Hold(sim::Machine& m, unsigned writing, unsigned held) {
  m.services.onCall = [&m, writing, held](const char* call) {
    if (std::string_view(call) != "LockFileEx") return;
    sim::Lock lock(m.mutex);
    unsigned n = m.callCounts["LockFileEx"];
    if (n <= writing) m.fs.Find(kLog)->data += kOther + std::string("\r\n");
    n <= held ? void(m.fileLocks[wstr::AsciiLowered(kLog)] = &m) : m.fileLocks.clear();
  };
}

// Whoever holds the log file costs a run a bounded wait in all, other runs' turns at the lock
// nothing; once it is spent, each later message tries the file once, so a short hold loses only
// the messages written during it, and none goes out without the lock. The debugger gets them all.
// A name that is no plain file of its own (a link, a directory), no file at all or a file that
// cannot be locked is left alone for the rest of the run; the next run tries it again.
TEST_F(Trace, AHeldOrLinkedLogCostsARunABoundedWaitAndNoDebuggerLine) {
  Run(u"-ReEnumerate");  // four messages, two of them on the debugger
  const Lines debug = Debug();
  struct Case {
    const char* name;
    void (*arrange)(sim::Machine&);
    unsigned opens, locks, waitedMs;
    std::size_t linesKept;  // of the four; opened once and never locked: nothing changed
  } cases[] = {
      {"open refused for a moment", [](sim::Machine& m) { Refuse(m, 2, 1); }, 6, 4, 2, 4},
      {"open refused for good", [](sim::Machine& m) { m.FailCall("CreateFileW", 0, win::ERROR_SHARING_VIOLATION); },
       1004, 0, 1000, 0},
      {"open refused past the run's wait, then let go", [](sim::Machine& m) { Refuse(m, 1002, 1); }, 1004, 2, 1000, 2},
      {"open refused 0.4 s a time: spent in the third", [](sim::Machine& m) { Refuse(m, 400, 3); }, 1006, 2, 1002, 2},
      {"lock held for good", [](sim::Machine& m) { Hold(m, 0, -1u); }, 4, 1004, 1000, 0},
      {"other runs' turns", [](sim::Machine& m) { Hold(m, 1500, 1500); }, 4, 1504, 1500, 4},
      {"other runs' turns, then the lock held for good", [](sim::Machine& m) { Hold(m, 500, -1u); }, 4, 1503, 1499, 0},
      {"lock held 10 s while the file grows", [](sim::Machine& m) { Hold(m, 10001, 10001); }, 4, 10004, 10000, 3},
      {"lock not supported", [](sim::Machine& m) { m.FailCall("LockFileEx", 0, 50); }, 1, 1, 0, 0},
      {"hard link", [](sim::Machine& m) { m.fs.Put(kLog, "other").links = 2; }, 1, 0, 0, 0},
      {"symbolic link", [](sim::Machine& m) { m.fs.Put(kLog).attributes = win::FILE_ATTRIBUTE_REPARSE_POINT; }, 1, 0, 0,
       0},
      {"directory", [](sim::Machine& m) { m.fs.Put(kLog).attributes = win::FILE_ATTRIBUTE_DIRECTORY; }, 1, 0, 0, 0},
      {"unwritable directory", [](sim::Machine& m) { m.fs.unwritableDirectories.push_back(m.currentDirectory); }, 1, 0,
       0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Reset();
    c.arrange(sim::M());
    std::vector<sim::File> before = sim::M().fs.files;
    EXPECT_EQ(Run(u"-ReEnumerate"), 0);
    EXPECT_EQ(sim::M().reenumerations.size(), 1u);
    EXPECT_EQ(Debug(), debug);
    EXPECT_EQ(sim::M().callCounts["CreateFileW"], c.opens);
    EXPECT_EQ(sim::M().callCounts["LockFileEx"], c.locks);
    EXPECT_EQ(std::accumulate(sim::M().sleeps.begin(), sim::M().sleeps.end(), 0u), c.waitedMs);
    EXPECT_EQ(sim::M().handles.CountAll(), 0u);
    if (c.opens == 1 && c.locks == 0) {
      ASSERT_EQ(sim::M().fs.files.size(), before.size());
      for (std::size_t i = 0; i < before.size(); ++i) EXPECT_EQ(sim::M().fs.files[i].data, before[i].data);
      continue;
    }
    EXPECT_EQ(LogLines().size() - Logged(kOther), c.linesKept);
    sim::M().faults.clear();
    sim::M().services.onCall = nullptr;
    sim::M().fileLocks.clear();
    Run(u"-ReEnumerate");
    EXPECT_EQ(LogLines().size() - Logged(kOther), c.linesKept + 4);
  }
}

// The directives of the trace texts; a code with the top bit set prints as a
// negative number with %d, and as an error code also with its system message
// on one line.
TEST_F(Trace, FormatDirectivesAndErrorCodeText) {
  EXPECT_EQ(wstr::ToUtf8(text::Format(u"%d/%ld %s %S 0x%x 0x%x", 12, -1, u"wide", "narrow", 0xE000020Bu, 0u)),
            "12/-1 wide narrow 0xe000020b 0x0");
  EXPECT_EQ(wstr::ToUtf8(text::Format(u"%d %d", 0xE0000302u, std::int32_t{-2147483647 - 1})), "-536870142 -2147483648");
  sim::M().systemMessages[0xE0000302] = u"The driver package is not\r\nin the store.\r\n";
  // Only the first line feed and then the first carriage return go.
  EXPECT_EQ(ErrorCodeText(0xE0000302), u"-536870142 (The driver package is notin the store.\r\n)");
}

}  // namespace
