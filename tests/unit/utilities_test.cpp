#include "setup/utilities.h"

#include "sim/store.h"
#include "sim_test.h"

namespace {

using Paths = std::vector<std::u16string>;

using ModulePath = SimTest;

TEST_F(ModulePath, IsTheProgramsDirectoryWithoutTrailingBackslash) {
  std::u16string path = u"unchanged";
  ASSERT_TRUE(Utilities::GetCurrentModulePath(nullptr, path));
  EXPECT_EQ(path, u"C:\\Program Files\\Tov Mouse");
  EXPECT_EQ(Log(), "");

  // The longest path that fits the 260-character buffer.
  std::u16string dir = u"C:\\" + std::u16string(250, u'd');
  sim::M().modulePath = dir + u"\\a.exe";
  ASSERT_EQ(sim::M().modulePath.size(), 259u);
  ASSERT_TRUE(Utilities::GetCurrentModulePath(nullptr, path));
  EXPECT_EQ(path, dir);
}

TEST_F(ModulePath, APathCutShortIsAFailureNotADirectory) {
  sim::M().modulePath = u"C:\\" + std::u16string(251, u'd') + u"\\a.exe";  // 260 characters
  std::u16string path = u"unchanged";
  EXPECT_FALSE(Utilities::GetCurrentModulePath(nullptr, path));
  EXPECT_EQ(path, u"unchanged");
  EXPECT_EQ(LogLines(), (Lines{"GetModuleFileNameW failed with 0x7a"}));
}

TEST_F(ModulePath, PlatformFailuresAreTracedInHexadecimal) {
  std::u16string path = u"unchanged";
  sim::M().FailCall("GetModuleFileNameW", 1, win::ERROR_ACCESS_DENIED);
  EXPECT_FALSE(Utilities::GetCurrentModulePath(nullptr, path));
  sim::M().FailCall("PathRemoveFileSpecW", 1, win::ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(Utilities::GetCurrentModulePath(nullptr, path));
  EXPECT_EQ(path, u"unchanged");
  EXPECT_EQ(LogLines(), (Lines{"GetModuleFileNameW failed with 0x5",
                               "Utilities::AppendFileNameToCurrentModulePath PathRemoveFileSpec failed with 0x57"}));
}

using OemInfList = SimTest;

TEST_F(OemInfList, ListsOemInfFilesInSearchOrderAsStoredAfterWhatWasThere) {
  auto& fs = sim::M().fs;
  fs.Put(u"C:\\Windows\\INF\\oem12.inf");
  fs.Put(u"C:\\Windows\\INF\\OEM3.INF");
  fs.Put(u"C:\\Windows\\INF\\oem3.pnf");
  fs.Put(u"C:\\Windows\\INF\\machine.inf");
  fs.Put(u"C:\\Windows\\INF\\sub\\oem9.inf");
  fs.Put(u"C:\\Windows\\oem8.inf");
  fs.Put(u"C:\\Windows\\INF\\Oem0.inf");
  Paths list = {u"kept"};
  EXPECT_TRUE(Utilities::GetOemInfFilePathNamesList(list));
  EXPECT_EQ(list, (Paths{u"kept", u"C:\\Windows\\INF\\oem12.inf", u"C:\\Windows\\INF\\OEM3.INF",
                         u"C:\\Windows\\INF\\Oem0.inf"}));
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(sim::M().handles.CountAll(), 0u);
}

TEST_F(OemInfList, NoOemInfFileIsAVerboseFailure) {
  TraceMaskInit();
  Paths list;
  EXPECT_FALSE(Utilities::GetOemInfFilePathNamesList(list));
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(LogLines(), (Lines{"Utilities::GetOemInfFilePathNamesList FindFirstFile failed 2"}));
  EXPECT_EQ(Debug(), (Lines{"RVSET: Utilities::GetOemInfFilePathNamesList FindFirstFile failed 2\n"}));
}

TEST_F(OemInfList, EachPlatformFailureIsTraced) {
  sim::PutOemInf(u"oem1.inf", u"a.inf");
  sim::PutOemInf(u"oem2.inf", u"b.inf");
  struct Case {
    const char* call;
    unsigned nth;
    const char* line;
  } cases[] = {
      {"GetWindowsDirectoryW", 1, "Utilities::GetOemInfFilePathNamesList GetWindowsDirectory failed 31"},
      {"PathAppendW", 1, "Utilities::GetOemInfFilePathNamesList PathAppend I failed 31"},
      {"PathAppendW", 2, "Utilities::GetOemInfFilePathNamesList PathAppend II failed 31"},
      {"FindFirstFileW", 1, "Utilities::GetOemInfFilePathNamesList FindFirstFile failed 31"},
  };
  for (const Case& c : cases) {
    sim::M().faults.clear();
    sim::M().callCounts.clear();
    sim::M().fs.Remove(u"C:\\Users\\Setup\\TovMouseSetup.log");
    sim::M().FailCall(c.call, c.nth, win::ERROR_GEN_FAILURE);
    Paths list;
    EXPECT_FALSE(Utilities::GetOemInfFilePathNamesList(list)) << c.call;
    EXPECT_TRUE(list.empty()) << c.call;
    EXPECT_EQ(LogLines(), (Lines{c.line}));
  }
  EXPECT_EQ(sim::M().handles.CountAll(), 0u);
}

TEST_F(OemInfList, ASearchThatBreaksOffKeepsWhatItFoundAndClosesTheSearch) {
  sim::PutOemInf(u"oem1.inf", u"a.inf");
  sim::PutOemInf(u"oem2.inf", u"b.inf");
  sim::PutOemInf(u"oem3.inf", u"c.inf");
  sim::M().FailCall("FindNextFileW", 2, win::ERROR_GEN_FAILURE);
  Paths list;
  EXPECT_FALSE(Utilities::GetOemInfFilePathNamesList(list));
  EXPECT_EQ(list, (Paths{u"C:\\Windows\\INF\\oem1.inf", u"C:\\Windows\\INF\\oem2.inf"}));
  EXPECT_EQ(LogLines(), (Lines{"Utilities::GetOemInfFilePathNamesList GetFindNextFile failed 31"}));
  EXPECT_EQ(sim::M().callCounts["FindClose"], 1u);
  EXPECT_EQ(sim::M().handles.CountAll(), 0u);
}

TEST_F(OemInfList, AWindowsDirectoryThatDoesNotFitIsNoRelativeSearch) {
  sim::M().windowsDirectory = u"C:\\" + std::u16string(300, u'w');
  sim::M().fs.Put(sim::M().currentDirectory + u"\\INF\\oem1.inf");
  Paths list;
  EXPECT_FALSE(Utilities::GetOemInfFilePathNamesList(list));
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(LogLines(), (Lines{"Utilities::GetOemInfFilePathNamesList GetWindowsDirectory failed 122"}));
  EXPECT_EQ(sim::M().callCounts.count("FindFirstFileW"), 0u);
}

}  // namespace
