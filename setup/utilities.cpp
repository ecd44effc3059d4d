#include "setup/utilities.h"

#include "common/programdir.h"
#include "common/wstr.h"
#include "setup/trace.h"
#include "win/handle.h"

namespace Utilities {

bool GetCurrentModulePath(std::u16string& path) {
  ProgramDirectory directory = GetProgramDirectory();
  if (directory.failed == ProgramDirectory::Failed::GetModuleFileName) {
    TracePrint(TRACE_ERROR, u"GetModuleFileNameW failed with 0x%x\n", directory.error);
  } else if (directory.failed == ProgramDirectory::Failed::PathRemoveFileSpec) {
    // "AppendFileNameToCurrentModulePath": the log's name for GetCurrentModulePath.
    TracePrint(TRACE_ERROR, u"Utilities::AppendFileNameToCurrentModulePath PathRemoveFileSpec failed with 0x%x\n",
               directory.error);
  } else {
    path = std::move(directory.path);
  }
  return directory.failed == ProgramDirectory::Failed::Nothing;
}

bool WindowsPath(const char16_t* traceName, const std::array<const char16_t*, 3>& parts,
                 win::WCHAR (&path)[win::MAX_PATH]) {
  // A directory that does not fit the buffer comes back as its required
  // size, with nothing written.
  win::UINT length = win::GetWindowsDirectoryW(path, win::MAX_PATH);
  if (length == 0 || length >= win::MAX_PATH) {
    win::DWORD error = length == 0 ? win::GetLastError() : win::DWORD{win::ERROR_INSUFFICIENT_BUFFER};
    TracePrint(TRACE_ERROR, u"%s GetWindowsDirectory failed %d\n", traceName, error);
    return false;
  }
  constexpr const char16_t* kSteps[] = {u"I", u"II", u"III"};
  for (std::size_t i = 0; i < parts.size() && parts[i] != nullptr; ++i) {
    if (!win::PathAppendW(path, parts[i])) {
      TracePrint(TRACE_ERROR, u"%s PathAppend %s failed %d\n", traceName, kSteps[i], win::GetLastError());
      return false;
    }
  }
  return true;
}

bool GetOemInfFilePathNamesList(std::vector<std::u16string>& list) {
  win::WCHAR pattern[win::MAX_PATH] = {};
  if (!WindowsPath(u"Utilities::GetOemInfFilePathNamesList", {u"INF", u"OEM*.INF"}, pattern)) return false;
  // The INF directory with its backslash: the pattern without its file part.
  std::u16string_view all(pattern);
  const std::u16string directory(all.substr(0, all.size() - FileNameOf(all).size()));

  win::WIN32_FIND_DATAW found{};
  win::UniqueFind search(win::FindFirstFileW(pattern, &found));
  if (!search) {
    // Also the outcome when there is no OEM INF file at all.
    TracePrint(TRACE_VERBOSE, u"Utilities::GetOemInfFilePathNamesList FindFirstFile failed %d\n", win::GetLastError());
    return false;
  }
  do {
    std::u16string entry = directory;
    entry.append(found.cFileName, wstr::BoundedLength(found.cFileName, win::MAX_PATH));
    list.push_back(std::move(entry));
  } while (win::FindNextFileW(search.Get(), &found));
  win::DWORD error = win::GetLastError();
  search.Close();
  if (error == win::ERROR_NO_MORE_FILES) return true;
  TracePrint(TRACE_ERROR, u"Utilities::GetOemInfFilePathNamesList GetFindNextFile failed %d\n", error);
  return false;
}

bool InteractiveRun = false;

bool IsInteractiveSession() {
  win::DWORD session = 0;
  if (!win::ProcessIdToSessionId(win::GetCurrentProcessId(), &session)) {
    TracePrint(TRACE_ERROR, u"Utilities::IsInteractiveSession ProcessIdToSessionId failed %d\n", win::GetLastError());
    return false;
  }
  if (session == 0) return false;
  win::HWINSTA station = win::GetProcessWindowStation();
  if (station == nullptr) {
    TracePrint(TRACE_ERROR, u"Utilities::IsInteractiveSession GetProcessWindowStation failed %d\n",
               win::GetLastError());
    return false;
  }
  win::USEROBJECTFLAGS flags{};
  win::DWORD needed = 0;
  if (!win::GetUserObjectInformationW(station, win::UOI_FLAGS, &flags, sizeof(flags), &needed)) {
    TracePrint(TRACE_ERROR, u"Utilities::IsInteractiveSession GetUserObjectInformation failed %d\n",
               win::GetLastError());
    return false;
  }
  return (flags.dwFlags & win::WSF_VISIBLE) != 0;
}

bool InfNameFromToken(std::u16string_view token, std::u16string& infName) {
  if (token.empty() || token == u"." || token == u"..") return false;
  if (token.find_first_of(u"\\/:*?") != std::u16string_view::npos) return false;
  constexpr std::u16string_view kInf = u".inf";
  std::u16string name(token);
  if (name.size() < kInf.size() || !wstr::EqualsAsciiNoCase(name.substr(name.size() - kInf.size()), kInf)) {
    name += kInf;
  }
  infName = std::move(name);
  return true;
}

std::u16string_view FileNameOf(std::u16string_view path) {
  std::size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

bool FileNameIs(std::u16string_view path, std::u16string_view fileName) {
  return wstr::EqualsAsciiNoCase(FileNameOf(path), fileName);
}

bool IsDeviceIdToken(std::u16string_view token) {
  std::size_t slash = token.find(u'\\');
  return slash != std::u16string_view::npos && slash > 0 && slash + 1 < token.size() && token[slash + 1] != u'\\';
}

}  // namespace Utilities
