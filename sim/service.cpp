// The simulated machine's service control manager, processes and events; see
// sim/service.h.
#include "sim/service.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "common/wstr.h"
#include "sim/machine.h"

namespace sim {
namespace {

using Lock = std::unique_lock<std::recursive_mutex>;

thread_local Services::Process* currentProcess = nullptr;

}  // namespace

// --- Gate --------------------------------------------------------------------

void Gate::Open() {
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = true;
  opened_.notify_all();
}

void Gate::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  opened_.wait(lock, [this] { return open_; });
}

// --- Services ----------------------------------------------------------------

Services::~Services() {
  for (Process& p : processes) {
    if (p.thread.joinable()) {
      if (!p.ended) std::fprintf(stderr, "sim: a service process still runs at the end of the test\n");
      p.thread.join();
    }
  }
  for (std::thread& t : runThreads) t.join();
}

ServiceRecord& Services::Add(std::u16string name, std::u16string imagePath, win::DWORD state) {
  Lock lock(M().mutex);
  ServiceRecord r;
  r.displayName = name;
  r.name = std::move(name);
  r.imagePath = std::move(imagePath);
  r.status.dwCurrentState = state;
  if (state != win::SERVICE_STOPPED) {
    r.status.dwControlsAccepted = win::SERVICE_ACCEPT_STOP | win::SERVICE_ACCEPT_PAUSE_CONTINUE;
    r.processId = nextProcessId += 4;
  }
  database.push_back(std::move(r));
  return database.back();
}

void Services::SetProgram(std::u16string_view path, Program program) {
  Lock lock(M().mutex);
  programs[wstr::AsciiLowered(path)] = std::move(program);
}

ServiceRecord* Services::Find(std::u16string_view name) {
  Lock lock(M().mutex);
  for (ServiceRecord& r : database) {
    if (wstr::EqualsAsciiNoCase(r.name, name)) return &r;
  }
  return nullptr;
}

std::size_t Services::RunsStarted() {
  Lock lock(M().mutex);
  return runs.size();
}

std::size_t Services::RunsEnded() {
  Lock lock(M().mutex);
  std::size_t n = 0;
  for (const ProcessRun& r : runs) n += r.ended ? 1 : 0;
  return n;
}

Services::Process* Services::CurrentProcess() { return currentProcess; }

Services::Process* Services::ProcessOf(std::u16string_view service) {
  Process* found = nullptr;
  for (Process& p : processes) {
    if (wstr::EqualsAsciiNoCase(p.service, service)) found = &p;
  }
  return found;
}

bool Services::Idle(const Process& p) const {
  if (p.ended) return true;
  if (!p.connected || p.waiters.size() != static_cast<std::size_t>(p.alive)) return false;
  for (const auto* ready : p.waiters) {
    if ((*ready)()) return false;
  }
  return true;
}

void Services::Block(Lock& lock, const std::function<bool()>& ready) {
  Process* p = currentProcess;
  if (p != nullptr) {
    p->waiters.push_back(&ready);
    changed.notify_all();  // the process may be idle now
  }
  changed.wait(lock, ready);
  if (p != nullptr) std::erase(p->waiters, &ready);
}

bool Services::WaitUntil(const std::function<bool()>& ready) {
  Lock lock(M().mutex);
  return changed.wait_for(lock, std::chrono::seconds(60), ready);
}

bool Services::WaitIdle(std::u16string_view name) {
  return WaitUntil([&] {
    Process* p = ProcessOf(name);
    return p == nullptr || Idle(*p);
  });
}

bool Services::WaitForExit(std::u16string_view name) {
  bool ended = WaitUntil([&] {
    Process* p = ProcessOf(name);
    return p == nullptr || p->ended;
  });
  if (!ended) return false;
  std::thread thread;
  {
    Lock lock(M().mutex);
    if (Process* p = ProcessOf(name)) thread = std::move(p->thread);
  }
  if (thread.joinable()) thread.join();
  return true;
}

bool Services::PostControl(std::u16string_view name, win::DWORD control, win::DWORD eventType) {
  Lock lock(M().mutex);
  Process* p = ProcessOf(name);
  if (p == nullptr || !p->connected || p->stopped || p->ended) return false;
  p->queue.push_back(Control{control, eventType, {}, p->nextControl++});
  changed.notify_all();
  return true;
}

std::size_t Services::PostDeviceInterfaceEvent(win::DWORD eventType, const win::GUID& interfaceClass,
                                               std::u16string_view symbolicLink) {
  Lock lock(M().mutex);
  std::size_t count = 0;
  for (Process& p : processes) {
    if (!p.connected || p.stopped || p.ended) continue;
    bool registered = false;
    for (const Registration& r : p.registrations) {
      registered = registered || r.allClasses || SameGuid(r.interfaceClass, interfaceClass);
    }
    if (!registered) continue;
    // The event data: the broadcast record with the interface's name behind it.
    std::size_t size = offsetof(win::DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (symbolicLink.size() + 1) * 2;
    std::vector<std::uint8_t> data(
        size < sizeof(win::DEV_BROADCAST_DEVICEINTERFACE_W) ? sizeof(win::DEV_BROADCAST_DEVICEINTERFACE_W) : size);
    win::DEV_BROADCAST_DEVICEINTERFACE_W header{};
    header.dbcc_size = static_cast<win::DWORD>(size);
    header.dbcc_devicetype = win::DBT_DEVTYP_DEVICEINTERFACE;
    header.dbcc_classguid = interfaceClass;
    std::memcpy(data.data(), &header, offsetof(win::DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name));
    std::memcpy(data.data() + offsetof(win::DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name), symbolicLink.data(),
                symbolicLink.size() * 2);
    p.queue.push_back(Control{win::SERVICE_CONTROL_DEVICEEVENT, eventType, std::move(data), p.nextControl++});
    ++count;
  }
  changed.notify_all();
  return count;
}

std::size_t Services::ControlsPending(std::u16string_view name) {
  Lock lock(M().mutex);
  Process* p = ProcessOf(name);
  return p == nullptr ? 0 : p->queue.size();
}

std::size_t Services::ControlsHandled(std::u16string_view name) {
  Lock lock(M().mutex);
  Process* p = ProcessOf(name);
  return p == nullptr ? 0 : static_cast<std::size_t>(p->handledControls);
}

// What a status query or a control request sees: a service process has run
// until it waits; a stand-in that was asked to stop counts the queries.
void Services::Settle(Lock& lock, ServiceRecord& record) {
  Process* p = ProcessOf(record.name);
  if (p != nullptr && p != currentProcess && !p->ended) {
    Block(lock, [&] { return Idle(*p); });
  }
}

void Services::RemoveIfDone(ServiceRecord& record) {
  if (!record.markedForDelete || record.openHandles != 0 || record.status.dwCurrentState != win::SERVICE_STOPPED) {
    return;
  }
  for (Process& p : processes) {
    if (!p.ended && wstr::EqualsAsciiNoCase(p.service, record.name)) return;
  }
  database.remove_if([&](const ServiceRecord& r) { return &r == &record; });
}

void Services::ProcessEnded(Process& p, win::DWORD exitCode) {
  p.ended = true;
  p.run.ended = true;
  p.run.exitCode = exitCode;
  --p.alive;
  // The system withdraws the process's device notifications.
  for (const Registration& r : p.registrations) M().handles.Close(r.handle, HandleKind::DeviceNotification);
  p.registrations.clear();
  if (ServiceRecord* r = Find(p.service); r != nullptr && r->processId == p.pid) {
    if (r->status.dwCurrentState != win::SERVICE_STOPPED) {
      r->status.dwCurrentState = win::SERVICE_STOPPED;
      r->status.dwControlsAccepted = 0;
      r->status.dwWin32ExitCode = win::ERROR_PROCESS_ABORTED;
    }
    r->processId = 0;
    RemoveIfDone(*r);
  }
  changed.notify_all();
}

const Program* Services::ProgramFor(std::u16string_view path) {
  auto it = programs.find(wstr::AsciiLowered(path));
  return it == programs.end() ? nullptr : &it->second;
}

void Services::CallHook(const char* call) {
  std::function<void(const char*)> hook;
  {
    Lock lock(M().mutex);
    hook = onCall;
  }
  if (hook) hook(call);
}

bool Services::OnClose(void* handle) {
  Lock lock(M().mutex);
  if (events.erase(handle) != 0) {
    M().handles.Close(handle, HandleKind::Event);
    return true;
  }
  if (processHandles.erase(handle) != 0) {
    M().handles.Close(handle, HandleKind::Process);
    return true;
  }
  return false;
}

}  // namespace sim

// --- The calls -----------------------------------------------------------------

namespace win {
namespace {

using sim::Enter;
using sim::M;
using sim::SetError;
using Lock = std::unique_lock<std::recursive_mutex>;

sim::Services& S() { return M().services; }

// Rights that a caller without administrative rights gets.
constexpr DWORD kManagerUserRights = SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | 0x10 /* QUERY_LOCK_STATUS */;
constexpr DWORD kServiceUserRights = SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS | 0x8 /* ENUMERATE_DEPENDENTS */ |
                                     SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL | 0x20000 /* READ_CONTROL */;

constexpr std::size_t kMaxServiceNameChars = 256;

sim::Services::ScHandle* FindScHandle(SC_HANDLE h, bool manager) {
  auto it = S().scHandles.find(reinterpret_cast<HANDLE>(h));
  if (it == S().scHandles.end() || it->second.manager != manager) return nullptr;
  return &it->second;
}

SC_HANDLE OpenScHandle(sim::Services::ScHandle entry) {
  HANDLE h = M().handles.Open(entry.manager ? sim::HandleKind::ScManager : sim::HandleKind::Service);
  if (entry.service != nullptr) ++entry.service->openHandles;
  S().scHandles[h] = entry;
  return reinterpret_cast<SC_HANDLE>(h);
}

bool ValidServiceName(LPCWSTR name) {
  if (name == nullptr || name[0] == 0) return false;
  std::u16string_view n(name);
  return n.size() <= kMaxServiceNameChars && n.find_first_of(u"/\\") == std::u16string_view::npos;
}

// The program file of a service's image path, found as CreateProcess finds it:
// a quoted path is taken whole; an unquoted one is tried at each blank, from
// the shortest candidate on, with ".exe" added when it has no extension.
std::optional<std::u16string> ResolveImage(std::u16string_view commandLine) {
  auto exists = [](std::u16string_view path) -> std::optional<std::u16string> {
    std::u16string candidate(path);
    std::u16string name = sim::FileSystem::NameOf(candidate);
    if (name.find(u'.') == std::u16string::npos) candidate += u".exe";
    if (M().fs.Exists(candidate)) return candidate;
    return std::nullopt;
  };
  if (!commandLine.empty() && commandLine[0] == u'"') {
    auto end = commandLine.find(u'"', 1);
    return exists(commandLine.substr(1, end == std::u16string_view::npos ? std::u16string_view::npos : end - 1));
  }
  for (std::size_t i = 0; i <= commandLine.size(); ++i) {
    if (i < commandLine.size() && commandLine[i] != u' ') continue;
    if (auto found = exists(commandLine.substr(0, i))) return found;
  }
  return std::nullopt;
}

void FillStatus(const sim::ServiceRecord& r, SERVICE_STATUS* out) { *out = r.status; }

}  // namespace

// --- The client side -------------------------------------------------------------

SC_HANDLE OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName, DWORD dwDesiredAccess) {
  if (auto e = Enter("OpenSCManagerW")) return SetError(*e), nullptr;
  S().CallHook("OpenSCManagerW");
  Lock lock(M().mutex);
  if (lpMachineName != nullptr && lpMachineName[0] != 0) return SetError(1722 /* RPC_S_SERVER_UNAVAILABLE */), nullptr;
  if (lpDatabaseName != nullptr && !wstr::EqualsAsciiNoCase(lpDatabaseName, u"ServicesActive")) {
    return SetError(ERROR_DATABASE_DOES_NOT_EXIST), nullptr;
  }
  if (!S().admin && (dwDesiredAccess & ~kManagerUserRights) != 0) return SetError(ERROR_ACCESS_DENIED), nullptr;
  return OpenScHandle({true, dwDesiredAccess, nullptr});
}

SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD dwDesiredAccess) {
  if (auto e = Enter("OpenServiceW")) return SetError(*e), nullptr;
  S().CallHook("OpenServiceW");
  Lock lock(M().mutex);
  if (FindScHandle(hSCManager, true) == nullptr) return SetError(ERROR_INVALID_HANDLE), nullptr;
  if (lpServiceName == nullptr || wstr::Length(lpServiceName) > kMaxServiceNameChars) {
    return SetError(ERROR_INVALID_NAME), nullptr;
  }
  sim::ServiceRecord* r = S().Find(lpServiceName);
  if (r == nullptr) return SetError(ERROR_SERVICE_DOES_NOT_EXIST), nullptr;
  if (!S().admin && (dwDesiredAccess & ~kServiceUserRights) != 0) return SetError(ERROR_ACCESS_DENIED), nullptr;
  return OpenScHandle({false, dwDesiredAccess, r});
}

SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR lpDisplayName, DWORD dwDesiredAccess,
                         DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl, LPCWSTR lpBinaryPathName,
                         LPCWSTR lpLoadOrderGroup, DWORD* lpdwTagId, LPCWSTR lpDependencies, LPCWSTR lpServiceStartName,
                         LPCWSTR) {
  if (auto e = Enter("CreateServiceW")) return SetError(*e), nullptr;
  S().CallHook("CreateServiceW");
  Lock lock(M().mutex);
  auto* manager = FindScHandle(hSCManager, true);
  if (manager == nullptr) return SetError(ERROR_INVALID_HANDLE), nullptr;
  if ((manager->access & SC_MANAGER_CREATE_SERVICE) == 0) return SetError(ERROR_ACCESS_DENIED), nullptr;
  if (!ValidServiceName(lpServiceName)) return SetError(ERROR_INVALID_NAME), nullptr;
  std::u16string display = (lpDisplayName != nullptr && lpDisplayName[0] != 0) ? lpDisplayName : lpServiceName;
  if (display.size() > kMaxServiceNameChars) return SetError(ERROR_INVALID_NAME), nullptr;
  if (lpBinaryPathName == nullptr || lpBinaryPathName[0] == 0) return SetError(ERROR_INVALID_PARAMETER), nullptr;
  DWORD process = dwServiceType & ~SERVICE_INTERACTIVE_PROCESS;
  if (process != SERVICE_WIN32_OWN_PROCESS && process != SERVICE_WIN32_SHARE_PROCESS) {
    return SetError(ERROR_INVALID_PARAMETER), nullptr;
  }
  bool localSystem = lpServiceStartName == nullptr || wstr::EqualsAsciiNoCase(lpServiceStartName, u"LocalSystem") ||
                     wstr::EqualsAsciiNoCase(lpServiceStartName, u".\\LocalSystem");
  if ((dwServiceType & SERVICE_INTERACTIVE_PROCESS) != 0 && !localSystem) {
    return SetError(ERROR_INVALID_PARAMETER), nullptr;
  }
  if (dwStartType > SERVICE_DISABLED || dwStartType < SERVICE_AUTO_START || dwErrorControl > 3) {
    return SetError(ERROR_INVALID_PARAMETER), nullptr;
  }
  if (lpdwTagId != nullptr) return SetError(ERROR_INVALID_PARAMETER), nullptr;  // tags are for drivers
  if (sim::ServiceRecord* existing = S().Find(lpServiceName)) {
    return SetError(existing->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS), nullptr;
  }
  for (const sim::ServiceRecord& r : S().database) {
    if (wstr::EqualsAsciiNoCase(r.displayName, display) || wstr::EqualsAsciiNoCase(r.name, display)) {
      return SetError(ERROR_DUPLICATE_SERVICE_NAME), nullptr;
    }
  }
  sim::ServiceRecord r;
  r.name = lpServiceName;
  r.displayName = display;
  r.type = dwServiceType;
  r.startType = dwStartType;
  r.errorControl = dwErrorControl;
  r.account = localSystem ? u"" : lpServiceStartName;
  r.imagePath = lpBinaryPathName;
  if (lpLoadOrderGroup != nullptr) r.loadOrderGroup = lpLoadOrderGroup;
  if (lpDependencies != nullptr) {
    for (const WCHAR* p = lpDependencies; *p != 0; p += wstr::Length(p) + 1) {
      r.dependencies.append(p);
      r.dependencies.push_back(0);
    }
  }
  r.status.dwServiceType = dwServiceType;
  S().database.push_back(std::move(r));
  return OpenScHandle({false, dwDesiredAccess, &S().database.back()});
}

BOOL StartServiceW(SC_HANDLE hService, DWORD, LPCWSTR*) {
  if (auto e = Enter("StartServiceW")) return SetError(*e), FALSE;
  S().CallHook("StartServiceW");
  auto& s = S();
  Lock lock(M().mutex);
  auto* h = FindScHandle(hService, false);
  if (h == nullptr) return SetError(ERROR_INVALID_HANDLE), FALSE;
  if ((h->access & SERVICE_START) == 0) return SetError(ERROR_ACCESS_DENIED), FALSE;
  sim::ServiceRecord& r = *h->service;
  if (r.markedForDelete) return SetError(ERROR_SERVICE_MARKED_FOR_DELETE), FALSE;
  if (r.startType == SERVICE_DISABLED) return SetError(ERROR_SERVICE_DISABLED), FALSE;
  s.Settle(lock, r);
  if (r.status.dwCurrentState != SERVICE_STOPPED) return SetError(ERROR_SERVICE_ALREADY_RUNNING), FALSE;
  auto image = ResolveImage(r.imagePath);
  if (!image) return SetError(ERROR_FILE_NOT_FOUND), FALSE;
  s.launches.push_back({r.name, r.imagePath, *image});
  DWORD pid = s.nextProcessId += 4;
  const sim::Program* program = s.ProgramFor(*image);
  if (program == nullptr) {  // the stand-in: running at once
    r.status = SERVICE_STATUS{r.type, SERVICE_RUNNING, SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE, 0, 0, 0, 0};
    r.processId = pid;
    s.changed.notify_all();
    return TRUE;
  }
  r.status = SERVICE_STATUS{r.type, SERVICE_START_PENDING, 0, 0, 0, 0, 2000};
  r.processId = pid;
  s.processes.emplace_back();
  sim::Services::Process& p = s.processes.back();
  p.pid = pid;
  p.service = r.name;
  p.program = *program;
  p.run.index = s.launches.size() - 1;
  p.run.file = *image;
  p.run.currentDirectory = M().systemDirectory;
  p.alive = 1;
  p.thread = std::thread([&s, &p] {
    sim::currentProcess = &p;
    DWORD code = p.program(p.run);
    Lock processLock(M().mutex);
    s.ProcessEnded(p, code);
  });
  // The manager waits until the process has connected and the service main runs.
  s.Block(lock, [&] { return p.connected || p.ended; });
  if (!p.connected) return SetError(ERROR_SERVICE_REQUEST_TIMEOUT), FALSE;
  return TRUE;
}

BOOL QueryServiceStatusEx(SC_HANDLE hService, SC_STATUS_TYPE InfoLevel, BYTE* lpBuffer, DWORD cbBufSize,
                          DWORD* pcbBytesNeeded) {
  if (auto e = Enter("QueryServiceStatusEx")) return SetError(*e), FALSE;
  S().CallHook("QueryServiceStatusEx");
  Lock lock(M().mutex);
  auto* h = FindScHandle(hService, false);
  if (h == nullptr) return SetError(ERROR_INVALID_HANDLE), FALSE;
  if ((h->access & SERVICE_QUERY_STATUS) == 0) return SetError(ERROR_ACCESS_DENIED), FALSE;
  if (InfoLevel != SC_STATUS_PROCESS_INFO) return SetError(ERROR_INVALID_LEVEL), FALSE;
  if (pcbBytesNeeded == nullptr) return SetError(ERROR_INVALID_PARAMETER), FALSE;
  *pcbBytesNeeded = sizeof(SERVICE_STATUS_PROCESS);
  if (lpBuffer == nullptr || cbBufSize < sizeof(SERVICE_STATUS_PROCESS)) {
    return SetError(ERROR_INSUFFICIENT_BUFFER), FALSE;
  }
  sim::ServiceRecord& r = *h->service;
  S().Settle(lock, r);
  sim::Services::Process* process = S().ProcessOf(r.name);
  if (r.status.dwCurrentState == SERVICE_STOP_PENDING && (process == nullptr || process->ended)) {
    if (r.stopQueriesLeft == 0) {
      r.status = SERVICE_STATUS{r.type, SERVICE_STOPPED, 0, 0, 0, 0, 0};
      r.processId = 0;
    } else {
      --r.stopQueriesLeft;
      ++r.status.dwCheckPoint;
    }
  }
  SERVICE_STATUS_PROCESS out{};
  out.dwServiceType = r.status.dwServiceType;
  out.dwCurrentState = r.status.dwCurrentState;
  out.dwControlsAccepted = r.status.dwControlsAccepted;
  out.dwWin32ExitCode = r.status.dwWin32ExitCode;
  out.dwServiceSpecificExitCode = r.status.dwServiceSpecificExitCode;
  out.dwCheckPoint = r.status.dwCheckPoint;
  out.dwWaitHint = r.status.dwWaitHint;
  out.dwProcessId = r.status.dwCurrentState == SERVICE_STOPPED ? 0 : r.processId;
  std::memcpy(lpBuffer, &out, sizeof(out));
  return TRUE;
}

BOOL ControlService(SC_HANDLE hService, DWORD dwControl, SERVICE_STATUS* lpServiceStatus) {
  if (auto e = Enter("ControlService")) return SetError(*e), FALSE;
  S().CallHook("ControlService");
  auto& s = S();
  Lock lock(M().mutex);
  auto* h = FindScHandle(hService, false);
  if (h == nullptr) return SetError(ERROR_INVALID_HANDLE), FALSE;
  DWORD right = 0;
  switch (dwControl) {
    case SERVICE_CONTROL_STOP:
      right = SERVICE_STOP;
      break;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
      right = SERVICE_PAUSE_CONTINUE;
      break;
    case SERVICE_CONTROL_INTERROGATE:
      right = SERVICE_INTERROGATE;
      break;
    default:
      if (dwControl < 128 || dwControl > 255) return SetError(ERROR_INVALID_PARAMETER), FALSE;
      right = SERVICE_USER_DEFINED_CONTROL;
      break;
  }
  if ((h->access & right) == 0) return SetError(ERROR_ACCESS_DENIED), FALSE;
  sim::ServiceRecord& r = *h->service;
  s.Settle(lock, r);
  DWORD state = r.status.dwCurrentState;
  if (state == SERVICE_STOPPED) return SetError(ERROR_SERVICE_NOT_ACTIVE), FALSE;
  if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) {
    return SetError(ERROR_SERVICE_CANNOT_ACCEPT_CTRL), FALSE;
  }
  DWORD accepted = r.status.dwControlsAccepted;
  bool accepts = dwControl == SERVICE_CONTROL_INTERROGATE || dwControl >= 128 ||
                 (dwControl == SERVICE_CONTROL_STOP && (accepted & SERVICE_ACCEPT_STOP) != 0) ||
                 ((dwControl == SERVICE_CONTROL_PAUSE || dwControl == SERVICE_CONTROL_CONTINUE) &&
                  (accepted & SERVICE_ACCEPT_PAUSE_CONTINUE) != 0);
  if (!accepts) return SetError(ERROR_INVALID_SERVICE_CONTROL), FALSE;

  sim::Services::Process* p = s.ProcessOf(r.name);
  if (p != nullptr && !p->ended) {
    // Delivered to the service's handler; the answer is the status it reported.
    std::uint64_t id = p->nextControl++;
    p->queue.push_back({dwControl, 0, {}, id});
    s.changed.notify_all();
    s.Block(lock, [&] { return p->lastHandled >= id || !p->dispatching; });
    if (auto answer = p->answers.find(id); answer != p->answers.end()) {
      if (lpServiceStatus != nullptr) *lpServiceStatus = answer->second;
      p->answers.erase(answer);
      return TRUE;
    }
  } else if (dwControl == SERVICE_CONTROL_STOP) {
    r.stopQueriesLeft = r.stopPendingQueries;
    if (r.stopPendingQueries == 0) {
      r.status = SERVICE_STATUS{r.type, SERVICE_STOPPED, 0, 0, 0, 0, 0};
      r.processId = 0;
    } else {
      r.status = SERVICE_STATUS{r.type, SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP, 0, 0, 1, 1000};
    }
  } else if (dwControl == SERVICE_CONTROL_PAUSE) {
    r.status.dwCurrentState = SERVICE_PAUSED;
  } else if (dwControl == SERVICE_CONTROL_CONTINUE) {
    r.status.dwCurrentState = SERVICE_RUNNING;
  }
  if (lpServiceStatus != nullptr) FillStatus(r, lpServiceStatus);
  s.changed.notify_all();
  return TRUE;
}

BOOL DeleteService(SC_HANDLE hService) {
  if (auto e = Enter("DeleteService")) return SetError(*e), FALSE;
  S().CallHook("DeleteService");
  Lock lock(M().mutex);
  auto* h = FindScHandle(hService, false);
  if (h == nullptr) return SetError(ERROR_INVALID_HANDLE), FALSE;
  if ((h->access & DELETE) == 0) return SetError(ERROR_ACCESS_DENIED), FALSE;
  if (h->service->markedForDelete) return SetError(ERROR_SERVICE_MARKED_FOR_DELETE), FALSE;
  // The record stays until its last handle is closed and it has stopped; it
  // cannot be started again meanwhile.
  h->service->markedForDelete = true;
  h->service->startType = SERVICE_DISABLED;
  return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE hSCObject) {
  if (auto e = Enter("CloseServiceHandle")) return SetError(*e), FALSE;
  S().CallHook("CloseServiceHandle");
  Lock lock(M().mutex);
  auto it = S().scHandles.find(reinterpret_cast<HANDLE>(hSCObject));
  if (it == S().scHandles.end()) return SetError(ERROR_INVALID_HANDLE), FALSE;
  sim::ServiceRecord* r = it->second.service;
  M().handles.Close(it->first);
  S().scHandles.erase(it);
  if (r != nullptr) {
    --r->openHandles;
    S().RemoveIfDone(*r);
  }
  return TRUE;
}

// --- The service process's side ------------------------------------------------------

BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* lpServiceStartTable) {
  if (auto e = Enter("StartServiceCtrlDispatcherW")) return SetError(*e), FALSE;
  S().CallHook("StartServiceCtrlDispatcherW");
  auto& s = S();
  if (lpServiceStartTable == nullptr || lpServiceStartTable[0].lpServiceName == nullptr ||
      lpServiceStartTable[0].lpServiceProc == nullptr) {
    return SetError(ERROR_INVALID_PARAMETER), FALSE;
  }
  Lock lock(M().mutex);
  sim::Services::Process* p = s.CurrentProcess();
  if (p == nullptr) return SetError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT), FALSE;
  if (p->connected) return SetError(ERROR_SERVICE_ALREADY_RUNNING), FALSE;
  // An own-process service: the table's one entry serves whatever name the
  // service was started under, and the service main gets that name as argv[0].
  p->connected = true;
  p->dispatching = true;
  p->dispatcher = std::this_thread::get_id();
  p->argv0 = p->service;
  p->argv[0] = p->argv0.data();
  LPSERVICE_MAIN_FUNCTIONW serviceMain = lpServiceStartTable[0].lpServiceProc;
  ++p->alive;
  p->mainThread = std::thread([&s, p, serviceMain] {
    sim::currentProcess = p;
    serviceMain(1, p->argv);
    Lock mainLock(M().mutex);
    --p->alive;
    s.changed.notify_all();
  });
  s.changed.notify_all();

  // Controls, one at a time, until the service has reported SERVICE_STOPPED.
  for (;;) {
    s.Block(lock, [p] { return !p->queue.empty() || p->stopped; });
    if (p->stopped) break;
    sim::Services::Control c = std::move(p->queue.front());
    p->queue.pop_front();
    if (sim::ServiceRecord* r = s.Find(p->service)) p->handlerStatus = r->status;
    LPHANDLER_FUNCTION_EX handler = p->handler;
    void* context = p->context;
    lock.unlock();
    if (handler != nullptr) handler(c.code, c.eventType, c.data.empty() ? nullptr : c.data.data(), context);
    lock.lock();
    p->answers[c.id] = p->handlerStatus;
    p->lastHandled = c.id;
    ++p->handledControls;
    s.changed.notify_all();
  }
  p->queue.clear();
  p->dispatching = false;
  s.changed.notify_all();
  std::thread mainThread = std::move(p->mainThread);
  lock.unlock();
  mainThread.join();
  return TRUE;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerExW(LPCWSTR, LPHANDLER_FUNCTION_EX lpHandlerProc, LPVOID lpContext) {
  if (auto e = Enter("RegisterServiceCtrlHandlerExW")) return SetError(*e), nullptr;
  S().CallHook("RegisterServiceCtrlHandlerExW");
  Lock lock(M().mutex);
  sim::Services::Process* p = S().CurrentProcess();
  // An own-process service: the name is not checked.
  if (p == nullptr || !p->connected) return SetError(ERROR_SERVICE_DOES_NOT_EXIST), nullptr;
  if (lpHandlerProc == nullptr) return SetError(ERROR_INVALID_PARAMETER), nullptr;
  p->handler = lpHandlerProc;
  p->context = lpContext;
  if (p->statusHandle == nullptr) {
    p->statusHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(S().nextStatusHandle += 8);
    S().statusHandles[p->statusHandle] = p;
  }
  return p->statusHandle;
}

BOOL SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus, SERVICE_STATUS* lpServiceStatus) {
  if (auto e = Enter("SetServiceStatus")) return SetError(*e), FALSE;
  S().CallHook("SetServiceStatus");
  auto& s = S();
  Lock lock(M().mutex);
  auto it = s.statusHandles.find(hServiceStatus);
  if (it == s.statusHandles.end() || it->second->ended) return SetError(ERROR_INVALID_HANDLE), FALSE;
  if (lpServiceStatus == nullptr) return SetError(ERROR_INVALID_PARAMETER), FALSE;
  DWORD state = lpServiceStatus->dwCurrentState;
  if (state < SERVICE_STOPPED || state > SERVICE_PAUSED) return SetError(ERROR_INVALID_DATA), FALSE;
  sim::Services::Process& p = *it->second;
  s.reports.push_back({p.service, *lpServiceStatus});
  if (sim::ServiceRecord* r = s.Find(p.service); r != nullptr && r->processId == p.pid) {
    r->status = *lpServiceStatus;
    if (state == SERVICE_STOPPED) r->status.dwControlsAccepted = 0;
  }
  if (std::this_thread::get_id() == p.dispatcher) p.handlerStatus = *lpServiceStatus;
  if (state == SERVICE_STOPPED) p.stopped = true;
  s.changed.notify_all();
  return TRUE;
}

HDEVNOTIFY RegisterDeviceNotificationW(HANDLE hRecipient, LPVOID NotificationFilter, DWORD Flags) {
  if (auto e = Enter("RegisterDeviceNotificationW")) return SetError(*e), nullptr;
  S().CallHook("RegisterDeviceNotificationW");
  Lock lock(M().mutex);
  if ((Flags & ~(DEVICE_NOTIFY_SERVICE_HANDLE | DEVICE_NOTIFY_ALL_INTERFACE_CLASSES)) != 0) {
    return SetError(ERROR_INVALID_PARAMETER), nullptr;
  }
  // Only services are modelled as recipients.
  if ((Flags & DEVICE_NOTIFY_SERVICE_HANDLE) == 0) return SetError(1400 /* ERROR_INVALID_WINDOW_HANDLE */), nullptr;
  auto it = S().statusHandles.find(static_cast<SERVICE_STATUS_HANDLE>(hRecipient));
  if (it == S().statusHandles.end()) return SetError(ERROR_INVALID_HANDLE), nullptr;
  if (NotificationFilter == nullptr) return SetError(ERROR_INVALID_PARAMETER), nullptr;
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  std::memcpy(&filter, NotificationFilter, offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name));
  if (filter.dbcc_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
      filter.dbcc_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W)) {
    return SetError(ERROR_INVALID_DATA), nullptr;
  }
  HANDLE h = M().handles.Open(sim::HandleKind::DeviceNotification);
  it->second->registrations.push_back({h, (Flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) != 0, filter.dbcc_classguid});
  return h;
}

// --- Processes, events and waits --------------------------------------------------------

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* pExecInfo) {
  if (auto e = Enter("ShellExecuteExW")) return SetError(*e), FALSE;
  S().CallHook("ShellExecuteExW");
  auto& s = S();
  Lock lock(M().mutex);
  if (pExecInfo == nullptr || pExecInfo->cbSize != sizeof(SHELLEXECUTEINFOW)) {
    return SetError(ERROR_INVALID_PARAMETER), FALSE;
  }
  pExecInfo->hProcess = nullptr;
  auto fail = [&](DWORD error, std::uintptr_t seErr) {
    // The shell tells the user in an error box, owned by hwnd, unless asked not to.
    if ((pExecInfo->fMask & SEE_MASK_FLAG_NO_UI) == 0) {
      M().messageBoxes.push_back(sim::MessageBoxShown{pExecInfo->lpFile != nullptr ? pExecInfo->lpFile : u"", u"",
                                                      MB_OK | MB_ICONERROR, pExecInfo->hwnd});
    }
    pExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(seErr);
    SetError(error);
    return FALSE;
  };
  if (pExecInfo->lpFile == nullptr || pExecInfo->lpFile[0] == 0) return fail(ERROR_FILE_NOT_FOUND, 2);
  if (pExecInfo->lpVerb != nullptr && !wstr::EqualsAsciiNoCase(pExecInfo->lpVerb, u"open")) {
    return fail(1155 /* ERROR_NO_ASSOCIATION */, 31);
  }
  std::u16string directory = pExecInfo->lpDirectory != nullptr ? pExecInfo->lpDirectory : M().currentDirectory;
  std::u16string path = sim::FileSystem::Resolve(pExecInfo->lpFile, directory);
  if (!M().fs.Exists(path)) return fail(ERROR_FILE_NOT_FOUND, 2 /* SE_ERR_FNF */);

  sim::ProcessRun run;
  run.index = s.runs.size();
  run.file = pExecInfo->lpFile;
  if (pExecInfo->lpParameters != nullptr) run.parameters = pExecInfo->lpParameters;
  if (pExecInfo->lpVerb != nullptr) run.verb = pExecInfo->lpVerb;
  if (pExecInfo->lpDirectory != nullptr) run.directory = pExecInfo->lpDirectory;
  run.currentDirectory = directory;
  run.mask = pExecInfo->fMask;
  run.show = pExecInfo->nShow;
  s.runs.push_back(run);
  sim::ProcessRun& stored = s.runs.back();
  if (const sim::Program* program = s.ProgramFor(path)) {
    sim::Program copy = *program;
    s.runThreads.emplace_back([&s, &stored, copy] {
      DWORD code = copy(stored);
      Lock runLock(M().mutex);
      stored.exitCode = code;
      stored.ended = true;
      s.changed.notify_all();
    });
  } else {
    stored.exitCode = 0;
    stored.ended = true;
  }
  pExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(std::uintptr_t{42});
  if ((pExecInfo->fMask & SEE_MASK_NOCLOSEPROCESS) != 0) {
    HANDLE h = M().handles.Open(sim::HandleKind::Process);
    s.processHandles[h] = stored.index;
    pExecInfo->hProcess = h;
  }
  s.changed.notify_all();
  return TRUE;
}

HANDLE CreateEventW(SECURITY_ATTRIBUTES*, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
  if (auto e = Enter("CreateEventW")) return SetError(*e), nullptr;
  S().CallHook("CreateEventW");
  Lock lock(M().mutex);
  if (lpName != nullptr) return SetError(ERROR_INVALID_PARAMETER), nullptr;  // named events are not modelled
  HANDLE h = M().handles.Open(sim::HandleKind::Event);
  S().events[h] = std::make_shared<sim::Services::EventObject>(
      sim::Services::EventObject{bManualReset != FALSE, bInitialState != FALSE});
  return h;
}

BOOL SetEvent(HANDLE hEvent) {
  if (auto e = Enter("SetEvent")) return SetError(*e), FALSE;
  S().CallHook("SetEvent");
  Lock lock(M().mutex);
  auto it = S().events.find(hEvent);
  if (it == S().events.end()) return SetError(ERROR_INVALID_HANDLE), FALSE;
  it->second->signalled = true;
  S().changed.notify_all();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  if (auto e = Enter("WaitForSingleObject")) return SetError(*e), WAIT_FAILED;
  S().CallHook("WaitForSingleObject");
  auto& s = S();
  Lock lock(M().mutex);
  std::function<bool()> ready;
  std::shared_ptr<sim::Services::EventObject> event;
  if (auto it = s.events.find(hHandle); it != s.events.end()) {
    event = it->second;
    ready = [event] { return event->signalled; };
  } else if (auto p = s.processHandles.find(hHandle); p != s.processHandles.end()) {
    sim::ProcessRun* run = &s.runs[p->second];
    ready = [run] { return run->ended; };
  } else {
    return SetError(ERROR_INVALID_HANDLE), WAIT_FAILED;
  }
  // No time passes in the simulator: a finite wait on an object that is not
  // signalled times out at once.
  if (!ready()) {
    if (dwMilliseconds != INFINITE) return WAIT_TIMEOUT;
    s.Block(lock, ready);
  }
  if (event && !event->manualReset) event->signalled = false;
  return WAIT_OBJECT_0;
}

}  // namespace win
