#include "sim/machine.h"

#include <chrono>
#include <cstring>

#include "common/wstr.h"

namespace sim {
namespace {

std::unique_ptr<Machine> current;
thread_local win::DWORD lastError = 0;

using wstr::AsciiLowered;

bool WildcardMatch(std::u16string_view pattern, std::u16string_view name) {
  if (pattern.empty()) return name.empty();
  if (pattern[0] == u'*') {
    for (std::size_t skip = 0; skip <= name.size(); ++skip) {
      if (WildcardMatch(pattern.substr(1), name.substr(skip))) return true;
    }
    return false;
  }
  if (name.empty()) return false;
  if (pattern[0] != u'?' && wstr::AsciiLower(pattern[0]) != wstr::AsciiLower(name[0])) return false;
  return WildcardMatch(pattern.substr(1), name.substr(1));
}

using Lock = std::unique_lock<std::recursive_mutex>;

}  // namespace

// --- Handles ---------------------------------------------------------------

win::HANDLE Handles::Open(HandleKind kind) {
  next_ += 8;
  open_[next_] = kind;
  return reinterpret_cast<win::HANDLE>(next_);
}

bool Handles::Close(win::HANDLE h, std::optional<HandleKind> kind) {
  auto it = open_.find(reinterpret_cast<std::uintptr_t>(h));
  if (it == open_.end() || (kind && it->second != *kind)) return false;
  open_.erase(it);
  return true;
}

bool Handles::IsOpen(win::HANDLE h, HandleKind kind) const {
  auto it = open_.find(reinterpret_cast<std::uintptr_t>(h));
  return it != open_.end() && it->second == kind;
}

std::size_t Handles::Count(HandleKind kind) const {
  std::size_t n = 0;
  for (const auto& [h, k] : open_) n += (k == kind) ? 1 : 0;
  return n;
}

std::size_t Handles::CountAll() const { return open_.size(); }

// --- File system -----------------------------------------------------------

std::u16string FileSystem::Resolve(std::u16string_view name, std::u16string_view currentDirectory) {
  bool absolute = (name.size() >= 2 && name[1] == u':') || (!name.empty() && name[0] == u'\\');
  if (absolute) return std::u16string(name);
  std::u16string full(currentDirectory);
  if (!full.empty() && full.back() != u'\\') full.push_back(u'\\');
  full.append(name);
  return full;
}

std::u16string FileSystem::DirectoryOf(std::u16string_view path) {
  auto pos = path.rfind(u'\\');
  return pos == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, pos));
}

std::u16string FileSystem::NameOf(std::u16string_view path) {
  auto pos = path.rfind(u'\\');
  return std::u16string(pos == std::u16string_view::npos ? path : path.substr(pos + 1));
}

File* FileSystem::Find(std::u16string_view fullPath) {
  std::u16string key = AsciiLowered(fullPath);
  for (File& f : files) {
    if (AsciiLowered(f.path) == key) return &f;
  }
  return nullptr;
}

File& FileSystem::Put(std::u16string_view fullPath, std::string data) {
  if (File* f = Find(fullPath)) {
    f->data = std::move(data);
    return *f;
  }
  File& f = files.emplace_back();
  f.path = fullPath;
  f.data = std::move(data);
  return f;
}

bool FileSystem::Remove(std::u16string_view fullPath) {
  std::u16string key = AsciiLowered(fullPath);
  for (auto it = files.begin(); it != files.end(); ++it) {
    if (AsciiLowered(it->path) == key) {
      files.erase(it);
      return true;
    }
  }
  return false;
}

std::vector<File*> FileSystem::List(std::u16string_view directory, std::u16string_view pattern) {
  std::vector<File*> out;
  std::u16string dir = AsciiLowered(directory);
  for (File& f : files) {
    if (AsciiLowered(DirectoryOf(f.path)) == dir && WildcardMatch(pattern, NameOf(f.path))) out.push_back(&f);
  }
  return out;
}

bool FileSystem::IsWritableDirectory(std::u16string_view directory) const {
  std::u16string dir = AsciiLowered(directory);
  for (const auto& d : unwritableDirectories) {
    if (AsciiLowered(d) == dir) return false;
  }
  return true;
}

// --- Machine ---------------------------------------------------------------

Machine::Machine() {
  systemMessages = {
      {2, u"The system cannot find the file specified.\r\n"},
      {5, u"Access is denied.\r\n"},
      {87, u"The parameter is incorrect.\r\n"},
      {1630, u"Data of this type is not supported.\r\n"},
  };
}

Library& Machine::AddLibrary(std::u16string path, std::map<std::string, win::FARPROC> exports) {
  libraries.push_back(Library{std::move(path), std::move(exports)});
  return libraries.back();
}

void Machine::FailCall(std::string call, unsigned nth, win::DWORD error) {
  Lock lock(mutex);
  faults.push_back(Fault{std::move(call), nth, error});
}

std::optional<std::string> Machine::LogBytes(std::u16string_view name) {
  Lock lock(mutex);
  File* f = fs.Find(FileSystem::Resolve(name, currentDirectory));
  if (f == nullptr) return std::nullopt;
  return f->data;
}

Machine& M() {
  if (!current) current = std::make_unique<Machine>();
  return *current;
}

void Reset() { current = std::make_unique<Machine>(); }

std::optional<win::DWORD> Enter(const char* call) {
  Machine& m = M();
  Lock lock(m.mutex);
  m.calls.emplace_back(call);
  unsigned n = ++m.callCounts[call];
  for (const Fault& f : m.faults) {
    if (f.call == call && (f.nth == 0 || f.nth == n)) return f.error;
  }
  return std::nullopt;
}

void SetError(win::DWORD error) { lastError = error; }

}  // namespace sim

// --- The calls ---------------------------------------------------------------

namespace win {

using sim::Enter;
using sim::M;
using sim::SetError;
using Lock = std::unique_lock<std::recursive_mutex>;

DWORD GetLastError() { return sim::lastError; }
void SetLastError(DWORD dwErrCode) { sim::lastError = dwErrCode; }

void GetLocalTime(SYSTEMTIME* lpSystemTime) {
  Lock lock(M().mutex);
  *lpSystemTime = M().localTime;
}

void OutputDebugStringW(LPCWSTR lpOutputString) {
  if (lpOutputString == nullptr) return;
  Lock lock(M().mutex);
  M().debugOutput.emplace_back(lpOutputString);
}

DWORD FormatMessageW(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD, LPWSTR lpBuffer, DWORD nSize, va_list*) {
  if (auto e = Enter("FormatMessageW")) return SetError(*e), 0;
  Lock lock(M().mutex);
  if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0) return SetError(ERROR_INVALID_PARAMETER), 0;
  auto it = M().systemMessages.find(dwMessageId);
  if (it == M().systemMessages.end()) return SetError(ERROR_MR_MID_NOT_FOUND), 0;
  if (!wstr::CopyToBuffer(lpBuffer, nSize, it->second)) return SetError(ERROR_INSUFFICIENT_BUFFER), 0;
  return static_cast<DWORD>(it->second.size());
}

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD, SECURITY_ATTRIBUTES*, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE) {
  if (auto e = Enter("CreateFileW")) return SetError(*e), INVALID_HANDLE_VALUE;
  auto& m = M();
  Lock lock(m.mutex);
  std::u16string path = sim::FileSystem::Resolve(lpFileName, m.currentDirectory);
  bool writing = (dwDesiredAccess & (GENERIC_WRITE | FILE_APPEND_DATA)) != 0;
  sim::File* f = m.fs.Find(path);
  if (f != nullptr && (f->attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      (dwFlagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) == 0) {
    path = f->linkTarget;
    f = m.fs.Find(path);
  }
  if (f != nullptr && (f->attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
      (dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) == 0) {
    return SetError(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
  }
  bool dirWritable = m.fs.IsWritableDirectory(sim::FileSystem::DirectoryOf(path));
  if (f == nullptr) {
    if (dwCreationDisposition == OPEN_EXISTING) return SetError(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    if (!dirWritable) return SetError(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
    f = &m.fs.Put(path);
  } else if (writing && (f->readOnly || !dirWritable)) {
    return SetError(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
  } else if (dwCreationDisposition == CREATE_ALWAYS) {
    f->data.clear();
  }
  HANDLE h = m.handles.Open(sim::HandleKind::File);
  m.openFiles[h] = sim::Machine::OpenFile{f->path, 0, writing};
  SetError(ERROR_SUCCESS);
  return h;
}

BOOL GetFileInformationByHandle(HANDLE hFile, BY_HANDLE_FILE_INFORMATION* lpFileInformation) {
  if (auto e = Enter("GetFileInformationByHandle")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  auto it = m.openFiles.find(hFile);
  sim::File* f = it == m.openFiles.end() ? nullptr : m.fs.Find(it->second.path);
  if (f == nullptr) return SetError(ERROR_INVALID_HANDLE), FALSE;
  *lpFileInformation = BY_HANDLE_FILE_INFORMATION{};
  lpFileInformation->dwFileAttributes = f->attributes != 0 ? f->attributes : FILE_ATTRIBUTE_NORMAL;
  lpFileInformation->nFileSizeLow = static_cast<DWORD>(f->data.size());
  lpFileInformation->nNumberOfLinks = f->links;
  return TRUE;
}

BOOL LockFileEx(HANDLE hFile, DWORD dwFlags, DWORD, DWORD, DWORD, OVERLAPPED*) {
  if (auto e = Enter("LockFileEx")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  auto it = m.openFiles.find(hFile);
  if (it == m.openFiles.end()) return SetError(ERROR_INVALID_HANDLE), FALSE;
  std::u16string key = wstr::AsciiLowered(it->second.path);
  for (;;) {
    auto held = m.fileLocks.find(key);
    if (held == m.fileLocks.end()) break;
    if (held->second == hFile || (dwFlags & LOCKFILE_FAIL_IMMEDIATELY) != 0) {
      return SetError(ERROR_LOCK_VIOLATION), FALSE;
    }
    // Windows waits as long as the lock is held; a watchdog lets a test that
    // waits for a lock nobody releases fail instead of hang.
    if (m.changed.wait_for(lock, std::chrono::seconds(60)) == std::cv_status::timeout) {
      return SetError(ERROR_LOCK_VIOLATION), FALSE;
    }
  }
  m.fileLocks[key] = hFile;
  return TRUE;
}

BOOL UnlockFileEx(HANDLE hFile, DWORD, DWORD, DWORD, OVERLAPPED*) {
  if (auto e = Enter("UnlockFileEx")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  for (auto it = m.fileLocks.begin(); it != m.fileLocks.end(); ++it) {
    if (it->second == hFile) {
      m.fileLocks.erase(it);
      m.changed.notify_all();
      return TRUE;
    }
  }
  return SetError(158 /* ERROR_NOT_LOCKED */), FALSE;
}

BOOL SetFilePointerEx(HANDLE hFile, LARGE_INTEGER liDistanceToMove, LARGE_INTEGER* lpNewFilePointer,
                      DWORD dwMoveMethod) {
  if (auto e = Enter("SetFilePointerEx")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  auto it = m.openFiles.find(hFile);
  if (it == m.openFiles.end()) return SetError(ERROR_INVALID_HANDLE), FALSE;
  sim::File* f = m.fs.Find(it->second.path);
  std::int64_t base = 0;
  if (dwMoveMethod == FILE_CURRENT) base = static_cast<std::int64_t>(it->second.position);
  if (dwMoveMethod == FILE_END) base = f ? static_cast<std::int64_t>(f->data.size()) : 0;
  std::int64_t pos = base + liDistanceToMove.QuadPart;
  if (pos < 0) return SetError(131 /* ERROR_NEGATIVE_SEEK */), FALSE;
  it->second.position = static_cast<std::uint64_t>(pos);
  if (lpNewFilePointer) lpNewFilePointer->QuadPart = pos;
  return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, DWORD* lpNumberOfBytesWritten,
               OVERLAPPED*) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  if (auto e = Enter("WriteFile")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  auto it = m.openFiles.find(hFile);
  if (it == m.openFiles.end() || !it->second.writable) return SetError(ERROR_INVALID_HANDLE), FALSE;
  std::u16string key = wstr::AsciiLowered(it->second.path);
  auto held = m.fileLocks.find(key);
  if (held != m.fileLocks.end() && held->second != hFile) return SetError(ERROR_LOCK_VIOLATION), FALSE;
  sim::File* f = m.fs.Find(it->second.path);
  if (f == nullptr) return SetError(ERROR_FILE_NOT_FOUND), FALSE;
  auto pos = static_cast<std::size_t>(it->second.position);
  if (f->data.size() < pos + nNumberOfBytesToWrite) f->data.resize(pos + nNumberOfBytesToWrite);
  std::memcpy(f->data.data() + pos, lpBuffer, nNumberOfBytesToWrite);
  it->second.position += nNumberOfBytesToWrite;
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
  return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
  if (auto e = Enter("CloseHandle")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  auto it = m.openFiles.find(hObject);
  if (it != m.openFiles.end()) {
    for (auto l = m.fileLocks.begin(); l != m.fileLocks.end(); ++l) {
      if (l->second == hObject) {
        m.fileLocks.erase(l);
        m.changed.notify_all();
        break;
      }
    }
    m.openFiles.erase(it);
    m.handles.Close(hObject);
    return TRUE;
  }
  if (m.services.OnClose(hObject)) return TRUE;
  return SetError(ERROR_INVALID_HANDLE), FALSE;
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
  if (auto e = Enter("DeleteFileW")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  std::u16string path = sim::FileSystem::Resolve(lpFileName, m.currentDirectory);
  sim::File* f = m.fs.Find(path);
  if (f == nullptr) return SetError(ERROR_FILE_NOT_FOUND), FALSE;
  if (f->deleteError != 0) return SetError(f->deleteError), FALSE;
  if (!m.fs.IsWritableDirectory(sim::FileSystem::DirectoryOf(f->path))) return SetError(ERROR_ACCESS_DENIED), FALSE;
  m.fs.Remove(path);
  return TRUE;
}

namespace {

void FillFindData(WIN32_FIND_DATAW* data, const std::u16string& name) {
  *data = WIN32_FIND_DATAW{};
  data->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
  wstr::CopyToBuffer(data->cFileName, MAX_PATH, name);
}

}  // namespace

HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData) {
  if (auto e = Enter("FindFirstFileW")) return SetError(*e), INVALID_HANDLE_VALUE;
  auto& m = M();
  Lock lock(m.mutex);
  std::u16string pattern = sim::FileSystem::Resolve(lpFileName, m.currentDirectory);
  sim::Machine::OpenSearch search;
  for (sim::File* f : m.fs.List(sim::FileSystem::DirectoryOf(pattern), sim::FileSystem::NameOf(pattern))) {
    search.names.push_back(sim::FileSystem::NameOf(f->path));
  }
  if (search.names.empty()) return SetError(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
  FillFindData(lpFindFileData, search.names[0]);
  search.next = 1;
  HANDLE h = m.handles.Open(sim::HandleKind::Find);
  m.openSearches[h] = std::move(search);
  return h;
}

BOOL FindNextFileW(HANDLE hFindFile, WIN32_FIND_DATAW* lpFindFileData) {
  if (auto e = Enter("FindNextFileW")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  auto it = m.openSearches.find(hFindFile);
  if (it == m.openSearches.end()) return SetError(ERROR_INVALID_HANDLE), FALSE;
  if (it->second.next >= it->second.names.size()) return SetError(ERROR_NO_MORE_FILES), FALSE;
  FillFindData(lpFindFileData, it->second.names[it->second.next++]);
  return TRUE;
}

BOOL FindClose(HANDLE hFindFile) {
  if (auto e = Enter("FindClose")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  if (m.openSearches.erase(hFindFile) == 0) return SetError(ERROR_INVALID_HANDLE), FALSE;
  m.handles.Close(hFindFile, sim::HandleKind::Find);
  return TRUE;
}

namespace {

// The module handle of the program itself.
HMODULE const kProgramModule = reinterpret_cast<HMODULE>(std::uintptr_t{0x400000});

}  // namespace

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  if (auto e = Enter("GetModuleFileNameW")) return SetError(*e), 0;
  auto& m = M();
  Lock lock(m.mutex);
  std::u16string path;
  if (hModule == nullptr || hModule == kProgramModule) {
    path = m.modulePath;
  } else {
    auto it = m.loadedLibraries.find(hModule);
    if (it == m.loadedLibraries.end()) return SetError(ERROR_MOD_NOT_FOUND), 0;
    path = m.libraries[it->second].path;
  }
  if (nSize == 0) return SetError(ERROR_INSUFFICIENT_BUFFER), 0;
  if (path.size() >= nSize) {  // cut short and terminated, as Windows does
    path.copy(lpFilename, nSize - 1);
    lpFilename[nSize - 1] = 0;
    SetError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  path.copy(lpFilename, path.size());
  lpFilename[path.size()] = 0;
  SetError(ERROR_SUCCESS);
  return static_cast<DWORD>(path.size());
}

HMODULE GetModuleHandleW(LPCWSTR lpModuleName) {
  if (auto e = Enter("GetModuleHandleW")) return SetError(*e), nullptr;
  if (lpModuleName == nullptr) return kProgramModule;
  return SetError(ERROR_MOD_NOT_FOUND), nullptr;
}

UINT GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  if (auto e = Enter("GetWindowsDirectoryW")) return SetError(*e), 0;
  auto& m = M();
  Lock lock(m.mutex);
  const std::u16string& dir = m.windowsDirectory;
  if (dir.size() + 1 > uSize) return static_cast<UINT>(dir.size() + 1);
  wstr::CopyToBuffer(lpBuffer, uSize, dir);
  return static_cast<UINT>(dir.size());
}

BOOL SetDefaultDllDirectories(DWORD DirectoryFlags) {
  if (auto e = Enter("SetDefaultDllDirectories")) return SetError(*e), FALSE;
  constexpr DWORD kValid = 0x1D00;  // LOAD_LIBRARY_SEARCH_APPLICATION_DIR ... _SYSTEM32, _USER_DIRS, _DEFAULT_DIRS
  if (DirectoryFlags == 0 || (DirectoryFlags & ~kValid) != 0) return SetError(ERROR_INVALID_PARAMETER), FALSE;
  Lock lock(M().mutex);
  M().defaultDllDirectories = DirectoryFlags;
  return TRUE;
}

HMODULE LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE, DWORD dwFlags) {
  if (auto e = Enter("LoadLibraryExW")) return SetError(*e), nullptr;
  auto& m = M();
  Lock lock(m.mutex);
  std::u16string_view name(lpLibFileName);
  std::vector<std::u16string> candidates;
  if (name.find(u'\\') != std::u16string_view::npos) {
    candidates.emplace_back(name);
  } else {
    std::u16string appDir = sim::FileSystem::DirectoryOf(m.modulePath);
    std::vector<std::u16string> dirs;
    if (dwFlags & (LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32)) {
      if (dwFlags & LOAD_LIBRARY_SEARCH_APPLICATION_DIR) dirs.push_back(appDir);
      if (dwFlags & LOAD_LIBRARY_SEARCH_SYSTEM32) dirs.push_back(m.systemDirectory);
    } else {  // the default search order: application, system, Windows, current directory
      dirs = {appDir, m.systemDirectory, m.windowsDirectory, m.currentDirectory};
    }
    for (const auto& d : dirs) candidates.push_back(sim::FileSystem::Resolve(name, d));
  }
  for (const auto& c : candidates) {
    for (std::size_t i = 0; i < m.libraries.size(); ++i) {
      if (wstr::EqualsAsciiNoCase(m.libraries[i].path, c)) {
        auto h = static_cast<HMODULE>(m.handles.Open(sim::HandleKind::Module));
        m.loadedLibraries[h] = i;
        m.libraryLoads.push_back(m.libraries[i].path);
        return h;
      }
    }
  }
  return SetError(ERROR_MOD_NOT_FOUND), nullptr;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (auto e = Enter("GetProcAddress")) return SetError(*e), nullptr;
  auto& m = M();
  Lock lock(m.mutex);
  auto it = m.loadedLibraries.find(hModule);
  if (it == m.loadedLibraries.end()) return SetError(ERROR_INVALID_HANDLE), nullptr;
  const auto& exports = m.libraries[it->second].exports;
  auto e = exports.find(lpProcName);
  if (e == exports.end()) return SetError(ERROR_PROC_NOT_FOUND), nullptr;
  return e->second;
}

BOOL FreeLibrary(HMODULE hLibModule) {
  if (auto e = Enter("FreeLibrary")) return SetError(*e), FALSE;
  auto& m = M();
  Lock lock(m.mutex);
  if (m.loadedLibraries.erase(hLibModule) == 0) return SetError(ERROR_INVALID_HANDLE), FALSE;
  m.handles.Close(hLibModule, sim::HandleKind::Module);
  return TRUE;
}

// Path functions: shlwapi's documented behaviour for the cases the programs meet.
BOOL PathRemoveFileSpecW(LPWSTR pszPath) {
  if (auto e = Enter("PathRemoveFileSpecW")) return SetError(*e), FALSE;
  if (pszPath == nullptr) return FALSE;
  // Leading backslashes of a UNC or rooted path stay; the cut is at the last
  // backslash, keeping the one after a drive ("C:\").
  std::size_t start = 0;
  while (start < 2 && pszPath[start] == u'\\') ++start;
  std::size_t cut = start;
  for (std::size_t i = start; pszPath[i] != 0; ++i) {
    if (pszPath[i] == u'\\') {
      cut = i;
    } else if (pszPath[i] == u':') {
      cut = i + 1;
      if (pszPath[i + 1] == u'\\') cut = i + 2;
    }
  }
  if (pszPath[cut] == 0) return FALSE;
  pszPath[cut] = 0;
  return TRUE;
}

BOOL PathAppendW(LPWSTR pszPath, LPCWSTR pszMore) {
  if (auto e = Enter("PathAppendW")) return SetError(*e), FALSE;
  if (pszPath == nullptr || pszMore == nullptr) return SetError(ERROR_INVALID_PARAMETER), FALSE;
  std::u16string result(pszPath);
  std::u16string_view more(pszMore);
  while (!more.empty() && more[0] == u'\\') more.remove_prefix(1);
  if (!result.empty() && result.back() != u'\\' && !more.empty()) result.push_back(u'\\');
  result.append(more);
  if (result.size() >= MAX_PATH) return SetError(ERROR_FILENAME_EXCED_RANGE), FALSE;
  wstr::CopyToBuffer(pszPath, MAX_PATH, result);
  return TRUE;
}

CONFIGRET CM_Locate_DevNodeW(DEVINST* pdnDevInst, DEVINSTID_W pDeviceID, ULONG) {
  if (auto e = Enter("CM_Locate_DevNodeW")) return *e;
  auto& m = M();
  Lock lock(m.mutex);
  if (pDeviceID != nullptr) return 0xD;  // CR_NO_SUCH_DEVNODE: only the root is modelled
  if (m.locateRootResult != CR_SUCCESS) return m.locateRootResult;
  *pdnDevInst = 1;
  return CR_SUCCESS;
}

CONFIGRET CM_Reenumerate_DevNode(DEVINST dnDevInst, ULONG ulFlags) {
  if (auto e = Enter("CM_Reenumerate_DevNode")) return *e;
  auto& m = M();
  Lock lock(m.mutex);
  if (dnDevInst != 1) return 0x5;  // CR_INVALID_DEVNODE
  m.reenumerations.emplace_back(dnDevInst, ulFlags);
  return CR_SUCCESS;
}

int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  if (auto e = Enter("MessageBoxW")) return SetError(*e), 0;
  auto& m = M();
  Lock lock(m.mutex);
  m.messageBoxes.push_back(sim::MessageBoxShown{lpText ? lpText : u"", lpCaption ? lpCaption : u"", uType, hWnd});
  return m.messageBoxAnswer;
}

HWND GetDesktopWindow() { return reinterpret_cast<HWND>(std::uintptr_t{0x10010}); }

namespace {

// The process's window station; it is not to be closed.
HWINSTA const kWindowStation = reinterpret_cast<HWINSTA>(std::uintptr_t{0x10020});

}  // namespace

HWINSTA GetProcessWindowStation() {
  if (auto e = Enter("GetProcessWindowStation")) return SetError(*e), nullptr;
  return kWindowStation;
}

BOOL GetUserObjectInformationW(HANDLE hObj, int nIndex, PVOID pvInfo, DWORD nLength, DWORD* lpnLengthNeeded) {
  if (auto e = Enter("GetUserObjectInformationW")) return SetError(*e), FALSE;
  if (hObj != kWindowStation || nIndex != UOI_FLAGS) return SetError(ERROR_INVALID_HANDLE), FALSE;
  if (lpnLengthNeeded) *lpnLengthNeeded = sizeof(USEROBJECTFLAGS);
  if (pvInfo == nullptr || nLength < sizeof(USEROBJECTFLAGS)) return SetError(ERROR_INSUFFICIENT_BUFFER), FALSE;
  Lock lock(M().mutex);
  USEROBJECTFLAGS flags{FALSE, FALSE, M().stationVisible ? WSF_VISIBLE : 0};
  std::memcpy(pvInfo, &flags, sizeof(flags));
  return TRUE;
}

namespace {

constexpr DWORD kProcessId = 0x1F24;  // the one process the calls of a test run in

}  // namespace

DWORD GetCurrentProcessId() { return kProcessId; }

BOOL ProcessIdToSessionId(DWORD dwProcessId, DWORD* pSessionId) {
  if (auto e = Enter("ProcessIdToSessionId")) return SetError(*e), FALSE;
  if (dwProcessId != kProcessId || pSessionId == nullptr) return SetError(ERROR_INVALID_PARAMETER), FALSE;
  Lock lock(M().mutex);
  *pSessionId = M().sessionId;
  return TRUE;
}

void Sleep(DWORD dwMilliseconds) {
  Lock lock(M().mutex);
  M().sleeps.push_back(dwMilliseconds);
}

}  // namespace win
