// The setup tool's own directory and its list of OEM INF files.
#include "setup/utilities.h"

#include "sim/store.h"
#include "sim_test.h"

namespace {

using Paths = std::vector<std::u16string>;

using ModulePath = SimTest;

// The directory of the longest path that fits the 260-character buffer; a path
// cut short, or a failing call, is a failure traced in hexadecimal.
TEST_F(ModulePath, IsTheProgramsDirectoryOrATracedFailure) {
  const std::u16string fits = u"C:\\" + std::u16string(250, u'd');  // 259 characters with "\a.exe"
  const struct {
    std::u16string modulePath;
    const char* failing;
    std::u16string directory;  // empty: a failure
    Lines log;
  } cases[] = {
      {sim::M().modulePath, nullptr, u"C:\\Program Files\\Tov Mouse", {}},
      {fits + u"\\a.exe", nullptr, fits, {}},
      {fits + u"d\\a.exe", nullptr, u"", {"GetModuleFileNameW failed with 0x7a"}},
      {sim::M().modulePath, "GetModuleFileNameW", u"", {"GetModuleFileNameW failed with 0x57"}},
      {sim::M().modulePath,
       "PathRemoveFileSpecW",
       u"",
       {"Utilities::AppendFileNameToCurrentModulePath PathRemoveFileSpec failed with 0x57"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failing ? c.failing : wstr::ToUtf8(c.modulePath));
    sim::Reset();
    sim::M().modulePath = c.modulePath;
    if (c.failing) sim::M().FailCall(c.failing, 1, win::ERROR_INVALID_PARAMETER);
    std::u16string path = u"unchanged";
    EXPECT_EQ(Utilities::GetCurrentModulePath(path), !c.directory.empty());
    EXPECT_EQ(path, c.directory.empty() ? u"unchanged" : c.directory);
    EXPECT_EQ(LogLines(), c.log);
  }
}

using OemInfList = SimTest;

// Each failing step is traced and ends the list; a search that breaks off
// keeps what it found and is closed. A Windows directory that does not fit the
// buffer is a failure, not an empty directory that would search the current one.
TEST_F(OemInfList, EachFailureIsTracedAndEndsTheList) {
  const struct {
    const char* call;  // fails at its nth use; none: a Windows directory too long for the buffer
    unsigned nth;
    std::size_t found;
    const char* line;
  } cases[] = {
      {"GetWindowsDirectoryW", 1, 0, "Utilities::GetOemInfFilePathNamesList GetWindowsDirectory failed 31"},
      {"PathAppendW", 1, 0, "Utilities::GetOemInfFilePathNamesList PathAppend I failed 31"},
      {"PathAppendW", 2, 0, "Utilities::GetOemInfFilePathNamesList PathAppend II failed 31"},
      {"FindFirstFileW", 1, 0, "Utilities::GetOemInfFilePathNamesList FindFirstFile failed 31"},
      {"FindNextFileW", 2, 2, "Utilities::GetOemInfFilePathNamesList GetFindNextFile failed 31"},
      {nullptr, 0, 0, "Utilities::GetOemInfFilePathNamesList GetWindowsDirectory failed 122"},
  };
  const Paths found = {u"C:\\Windows\\INF\\oem1.inf", u"C:\\Windows\\INF\\oem2.inf"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    sim::Reset();
    sim::M().fs.Put(u"C:\\Windows\\INF\\machine.inf");  // no OEM INF file
    for (auto name : {u"oem1.inf", u"oem2.inf", u"oem3.inf"}) sim::PutOemInf(name, u"a.inf");
    sim::M().fs.Put(sim::M().currentDirectory + u"\\INF\\oem9.inf");
    if (c.call) {
      sim::M().FailCall(c.call, c.nth, win::ERROR_GEN_FAILURE);
    } else {
      sim::M().windowsDirectory = u"C:\\" + std::u16string(300, u'w');
    }
    Paths list;
    EXPECT_FALSE(Utilities::GetOemInfFilePathNamesList(list));
    EXPECT_EQ(list, Paths(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(c.found)));
    EXPECT_EQ(LogLines(), (Lines{c.line}));
    EXPECT_EQ(sim::M().handles.CountAll(), 0u);
  }
}

}  // namespace
