// The machine itself (the current machine, the call prologue) and the calls
// of the program's own process: errors, debugger output, time and system
// messages; its module, the Windows directory and the libraries it loads; its
// session and window station, and what it shows a user.
#include "sim/machine.h"

#include <cstdio>
#include <cstdlib>

namespace sim {

static std::unique_ptr<Machine> current;
static thread_local win::DWORD lastError = 0;

Machine& M() {
  if (!current) current = std::make_unique<Machine>();
  return *current;
}

void Reset() { current = std::make_unique<Machine>(); }

void SetError(win::DWORD error) { lastError = error; }

Call::Call(const char* name) : lock(M().mutex) {
  Machine& m = M();
  m.calls.emplace_back(name);
  unsigned n = ++m.callCounts[name];
  for (const Fault& f : m.faults) {
    if (f.call == name && (f.nth == 0 || f.nth == n) && !fault) fault = f.error;
  }
  std::function<void(const char*)> hook = m.services.onCall;
  lock.unlock();
  if (fault) SetError(*fault);
  if (!fault && hook) hook(name);  // without the lock: the hook may drive the service area
  if (!fault) lock.lock();
}

void Unmodelled(const char* call, const char* what) {
  std::fprintf(stderr, "sim: %s was asked for %s, which the simulated machine does not model\n", call, what);
  std::abort();
}

void Machine::FailCall(std::string call, unsigned nth, win::DWORD error) {
  Lock lock(mutex);
  faults.push_back(Fault{std::move(call), nth, error});
}

std::optional<std::string> Machine::LogBytes(std::u16string_view name) {
  Lock lock(mutex);
  File* f = fs.Find(FileSystem::Resolve(name, currentDirectory));
  return f == nullptr ? std::nullopt : std::optional(f->data);
}

}  // namespace sim

namespace win {

using sim::SetError;

DWORD GetLastError() { return sim::lastError; }
void SetLastError(DWORD dwErrCode) { sim::lastError = dwErrCode; }

// Neither time, debugger output nor sleeping is recorded as a call: every run
// makes them, and nothing can make them fail.
void GetLocalTime(SYSTEMTIME* lpSystemTime) {
  sim::Lock lock(sim::M().mutex);
  *lpSystemTime = sim::M().localTime;
}

void OutputDebugStringW(LPCWSTR lpOutputString) {
  sim::Lock lock(sim::M().mutex);
  sim::M().debugOutput.emplace_back(lpOutputString);
}

void Sleep(DWORD dwMilliseconds) {
  sim::Lock lock(sim::M().mutex);
  sim::M().sleeps.push_back(dwMilliseconds);
  sim::M().tickMs += dwMilliseconds;
}

ULONGLONG GetTickCount64() {
  sim::Lock lock(sim::M().mutex);
  return sim::M().tickMs;
}

DWORD FormatMessageW(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD, LPWSTR lpBuffer, DWORD nSize, va_list*) {
  SIM_CALL(0, (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) != 0, "a message not from the system");
  auto it = m.systemMessages.find(dwMessageId);
  if (it == m.systemMessages.end()) return SetError(ERROR_MR_MID_NOT_FOUND), 0;
  if (!wstr::CopyToBuffer(lpBuffer, nSize, it->second)) return SetError(ERROR_INSUFFICIENT_BUFFER), 0;
  return static_cast<DWORD>(it->second.size());
}

constexpr DWORD kSearch = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  SIM_CALL(0, hModule == nullptr, "the path of a library");
  const std::u16string& path = m.modulePath;
  std::size_t copied = std::min<std::size_t>(path.size(), nSize - 1);
  path.copy(lpFilename, copied);
  lpFilename[copied] = 0;
  // A path that does not fit comes back cut short and terminated.
  SetError(copied < path.size() ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS);
  return copied < path.size() ? nSize : static_cast<DWORD>(copied);
}

UINT GetWindowsDirectoryW(LPWSTR lpBuffer, UINT uSize) {
  SIM_CALL(0);
  const std::u16string& dir = m.windowsDirectory;
  if (dir.size() + 1 > uSize) return static_cast<UINT>(dir.size() + 1);  // the size needed, nothing written
  wstr::CopyToBuffer(lpBuffer, uSize, dir);
  return static_cast<UINT>(dir.size());
}

BOOL SetDefaultDllDirectories(DWORD DirectoryFlags) {
  SIM_CALL(FALSE);
  m.defaultDllDirectories = DirectoryFlags;
  return TRUE;
}

// The programs load libraries by name from the directories they name.
HMODULE LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE, DWORD dwFlags) {
  std::u16string_view name(lpLibFileName);
  SIM_CALL(nullptr, (dwFlags & kSearch) != 0 && (dwFlags & ~kSearch) == 0 && name.find(u'\\') == name.npos,
           "a load by path or from other directories than the program's and the system's");
  std::vector<std::u16string> dirs;
  if (dwFlags & LOAD_LIBRARY_SEARCH_APPLICATION_DIR) dirs.push_back(sim::FileSystem::DirectoryOf(m.modulePath));
  if (dwFlags & LOAD_LIBRARY_SEARCH_SYSTEM32) dirs.push_back(m.systemDirectory);
  for (const auto& dir : dirs) {
    sim::Library* library = sim::FindNamed(m.libraries, sim::FileSystem::Resolve(name, dir), &sim::Library::path);
    if (library == nullptr) continue;
    auto h = static_cast<HMODULE>(m.handles.Open(sim::HandleKind::Module));
    m.internal.loadedLibraries[h] = static_cast<std::size_t>(library - m.libraries.data());
    m.libraryLoads.push_back(library->path);
    return h;
  }
  return SetError(ERROR_MOD_NOT_FOUND), nullptr;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  SIM_CALL(nullptr);
  auto it = m.internal.loadedLibraries.find(hModule);
  if (it == m.internal.loadedLibraries.end()) return SetError(ERROR_INVALID_HANDLE), nullptr;
  const auto& exports = m.libraries[it->second].exports;
  auto e = exports.find(lpProcName);
  return e != exports.end() ? e->second : (SetError(ERROR_PROC_NOT_FOUND), nullptr);
}

BOOL FreeLibrary(HMODULE hLibModule) {
  SIM_CALL(FALSE);
  if (m.internal.loadedLibraries.erase(hLibModule) == 0) return SetError(ERROR_INVALID_HANDLE), FALSE;
  return m.handles.Close(hLibModule, sim::HandleKind::Module);
}

// The process's window station; it is not to be closed.
HWINSTA const kWindowStation = reinterpret_cast<HWINSTA>(std::uintptr_t{0x10020});
constexpr DWORD kProcessId = 0x1F24;  // the one process the calls of a test run in

// The answer is always OK: the programs do not look at it.
int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  SIM_CALL(0);
  m.messageBoxes.push_back(sim::MessageBoxShown{lpText, lpCaption, uType, hWnd});
  return IDOK;
}

HWND GetDesktopWindow() { return reinterpret_cast<HWND>(std::uintptr_t{0x10010}); }

HWINSTA GetProcessWindowStation() {
  SIM_CALL(nullptr);
  return kWindowStation;
}

BOOL GetUserObjectInformationW(HANDLE hObj, int nIndex, USEROBJECTFLAGS* pvInfo, DWORD nLength,
                               DWORD* lpnLengthNeeded) {
  SIM_CALL(FALSE, hObj == kWindowStation && nIndex == UOI_FLAGS && nLength == sizeof(USEROBJECTFLAGS),
           "other information than the flags of the process's window station");
  if (lpnLengthNeeded) *lpnLengthNeeded = sizeof(USEROBJECTFLAGS);
  *pvInfo = USEROBJECTFLAGS{FALSE, FALSE, m.stationVisible ? WSF_VISIBLE : 0};
  return TRUE;
}

DWORD GetCurrentProcessId() { return kProcessId; }

BOOL ProcessIdToSessionId(DWORD dwProcessId, DWORD* pSessionId) {
  SIM_CALL(FALSE, dwProcessId == kProcessId, "the session of another process");
  *pSessionId = m.sessionId;
  return TRUE;
}

}  // namespace win
