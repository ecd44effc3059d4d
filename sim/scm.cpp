// The service control manager: its database of services and the client calls;
// see sim/service.h.
#include <cstring>
#include <tuple>

#include "sim/machine.h"

namespace sim {
namespace {

bool IsManager(win::SC_HANDLE h) {
  auto& handles = M().services.internal.scHandles;
  return handles.contains(h) && handles[h] == nullptr;
}

// The service that `h` is open on; null, with the error set, for any other handle.
ServiceRecord* ServiceOf(win::SC_HANDLE h) {
  auto& handles = M().services.internal.scHandles;
  ServiceRecord* r = handles.contains(h) ? handles[h] : nullptr;
  return r != nullptr ? r : (SetError(win::ERROR_INVALID_HANDLE), nullptr);
}

// A handle on `service`, or on the manager when it is null. Its rights are not
// kept: the programs ask for all of them.
win::SC_HANDLE OpenScHandle(ServiceRecord* service) {
  win::HANDLE h = M().handles.Open(service != nullptr ? HandleKind::Service : HandleKind::ScManager);
  if (service != nullptr) ++service->openHandles;
  M().services.internal.scHandles[h] = service;
  return static_cast<win::SC_HANDLE>(h);
}

// What a status query or a control request sees: a service process has run until it waits.
void Settle(Lock& lock, ServiceRecord& record) {
  Services& s = M().services;
  Services::Process* p = s.ProcessOf(record.name);
  if (p != nullptr && p != currentProcess && !p->ended) s.Block(lock, [&] { return s.Idle(*p); });
}

}  // namespace

ServiceRecord& Services::Add(std::u16string name, std::u16string imagePath, win::DWORD state) {
  Lock lock(M().mutex);
  ServiceRecord& r = database.emplace_back(ServiceRecord{.name = name, .imagePath = imagePath});
  r.status = {r.type, state, state != win::SERVICE_STOPPED ? win::SERVICE_ACCEPT_STOP : 0, 0, 0, 0, 0};
  return r;
}

ServiceRecord* Services::Find(std::u16string_view name) {
  Lock lock(M().mutex);
  return FindNamed(database, name, &ServiceRecord::name);
}

// A service marked for deletion goes once it has stopped and its last handle is closed.
void Services::RemoveIfDone(ServiceRecord& record) {
  Process* p = ProcessOf(record.name);
  if (record.markedForDelete && record.openHandles == 0 && record.status.dwCurrentState == win::SERVICE_STOPPED &&
      (p == nullptr || p->ended)) {
    database.remove_if([&](const ServiceRecord& r) { return &r == &record; });
  }
}

}  // namespace sim

namespace win {

using sim::SetError;

// The rights that a caller without administrative rights gets.
constexpr DWORD kUserRights = SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE | 0x10 /* QUERY_LOCK_STATUS */;

SC_HANDLE OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName, DWORD dwDesiredAccess) {
  SIM_CALL(nullptr, lpMachineName == nullptr && lpDatabaseName == nullptr, "another machine or database");
  if (!m.services.admin && (dwDesiredAccess & ~kUserRights) != 0) return SetError(ERROR_ACCESS_DENIED), nullptr;
  return sim::OpenScHandle(nullptr);
}

SC_HANDLE OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, DWORD) {
  SIM_CALL(nullptr);
  if (!sim::IsManager(hSCManager)) return SetError(ERROR_INVALID_HANDLE), nullptr;
  sim::ServiceRecord* r = m.services.Find(lpServiceName);
  return r != nullptr ? sim::OpenScHandle(r) : (SetError(ERROR_SERVICE_DOES_NOT_EXIST), nullptr);
}

SC_HANDLE CreateServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName, LPCWSTR lpDisplayName, DWORD, DWORD dwServiceType,
                         DWORD dwStartType, DWORD dwErrorControl, LPCWSTR lpBinaryPathName, LPCWSTR lpLoadOrderGroup,
                         DWORD* lpdwTagId, LPCWSTR lpDependencies, LPCWSTR lpServiceStartName, LPCWSTR lpPassword) {
  SIM_CALL(nullptr,
           (dwServiceType & ~SERVICE_INTERACTIVE_PROCESS) == SERVICE_WIN32_OWN_PROCESS && lpDisplayName != nullptr &&
               lpLoadOrderGroup == nullptr && lpdwTagId == nullptr && lpDependencies == nullptr &&
               lpServiceStartName == nullptr && lpPassword == nullptr,
           "a shared process, no display name, a group, tag, dependencies or an account");
  if (!sim::IsManager(hSCManager)) return SetError(ERROR_INVALID_HANDLE), nullptr;
  std::u16string name(lpServiceName);
  if (name.empty() || name.size() > 256 || name.find_first_of(u"/\\") != std::u16string::npos) {
    return SetError(ERROR_INVALID_NAME), nullptr;
  }
  if (sim::ServiceRecord* existing = m.services.Find(name)) {
    return SetError(existing->markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS), nullptr;
  }
  return sim::OpenScHandle(&m.services.database.emplace_back(
      sim::ServiceRecord{name, dwServiceType, lpBinaryPathName, dwStartType, dwErrorControl, lpDisplayName,
                         u"LocalSystem", SERVICE_STATUS{dwServiceType, SERVICE_STOPPED, 0, 0, 0, 0, 0}}));
}

// A null group or dependency list is kept, an empty one clears it (Wine drops
// the dependencies for null); the rest is always given, for LocalSystem.
BOOL ChangeServiceConfigW(SC_HANDLE hService, DWORD dwServiceType, DWORD dwStartType, DWORD dwErrorControl,
                          LPCWSTR lpBinaryPathName, LPCWSTR lpLoadOrderGroup, DWORD* lpdwTagId, LPCWSTR lpDependencies,
                          LPCWSTR lpServiceStartName, LPCWSTR lpPassword, LPCWSTR lpDisplayName) {
  SIM_CALL(FALSE,
           (dwServiceType & ~SERVICE_INTERACTIVE_PROCESS) == SERVICE_WIN32_OWN_PROCESS && dwStartType != 0xFFFFFFFF &&
               dwErrorControl != 0xFFFFFFFF && lpBinaryPathName != nullptr && lpDisplayName != nullptr &&
               lpdwTagId == nullptr && lpServiceStartName != nullptr && lpPassword != nullptr && *lpPassword == 0,
           "a part of the configuration left unchanged, a tag or a password");
  sim::ServiceRecord* r = sim::ServiceOf(hService);
  if (r == nullptr) return FALSE;
  if (r->markedForDelete) return SetError(ERROR_SERVICE_MARKED_FOR_DELETE), FALSE;
  std::tie(r->type, r->imagePath, r->startType, r->errorControl, r->displayName, r->account) =
      std::tuple(dwServiceType, lpBinaryPathName, dwStartType, dwErrorControl, lpDisplayName, lpServiceStartName);
  if (lpLoadOrderGroup != nullptr) r->group = lpLoadOrderGroup;
  if (lpDependencies != nullptr) r->dependencies = lpDependencies;
  return TRUE;
}

// As Microsoft documents it: a null text is kept, an empty one deleted; a
// null array keeps the actions, one of no actions deletes them.
BOOL ChangeServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, SERVICE_FAILURE_ACTIONSW* lpInfo) {
  SIM_CALL(FALSE, dwInfoLevel == SERVICE_CONFIG_FAILURE_ACTIONS && lpInfo->lpRebootMsg != nullptr,
           "another level, or a reboot message kept");
  sim::ServiceRecord* r = sim::ServiceOf(hService);
  if (r != nullptr && lpInfo->lpCommand != nullptr) r->failureCommand = lpInfo->lpCommand;
  if (r != nullptr && lpInfo->lpsaActions != nullptr) r->failureActions = lpInfo->cActions;
  return r != nullptr;
}
BOOL ChangeServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, SERVICE_DELAYED_AUTO_START_INFO* lpInfo) {
  SIM_CALL(FALSE, dwInfoLevel == SERVICE_CONFIG_DELAYED_AUTO_START_INFO, "another level");
  sim::ServiceRecord* r = sim::ServiceOf(hService);
  return r != nullptr && (r->delayedAutoStart = lpInfo->fDelayedAutostart != FALSE, true);
}
BOOL ChangeServiceConfig2W(SC_HANDLE hService, DWORD dwInfoLevel, SERVICE_REQUIRED_PRIVILEGES_INFOW* lpInfo) {
  SIM_CALL(FALSE, dwInfoLevel == SERVICE_CONFIG_REQUIRED_PRIVILEGES_INFO, "another level");
  sim::ServiceRecord* r = sim::ServiceOf(hService);
  return r != nullptr && (r->privileges = lpInfo->pmszRequiredPrivileges, true);
}

BOOL StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs, LPCWSTR*) {
  SIM_CALL(FALSE, dwNumServiceArgs == 0, "arguments for the service");
  auto& s = m.services;
  sim::ServiceRecord* r = sim::ServiceOf(hService);
  if (r == nullptr) return FALSE;
  if (r->markedForDelete) return SetError(ERROR_SERVICE_MARKED_FOR_DELETE), FALSE;
  sim::Settle(call.lock, *r);
  if (r->status.dwCurrentState != SERVICE_STOPPED) return SetError(ERROR_SERVICE_ALREADY_RUNNING), FALSE;
  // The program file of the image path, quoted as the programs register it:
  // CreateProcess could read an unquoted one as a shorter program path.
  SIM_ONLY(r->imagePath.starts_with(u'"'), "an unquoted image path");
  std::u16string image = r->imagePath.substr(1, r->imagePath.find(u'"', 1) - 1);
  if (!m.fs.Exists(image)) return SetError(ERROR_FILE_NOT_FOUND), FALSE;
  const sim::Program* program = s.ProgramFor(image);
  if (program == nullptr) {  // the stand-in: running at once
    return r->status = SERVICE_STATUS{r->type, SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0, 0, 0}, TRUE;
  }
  r->status = SERVICE_STATUS{r->type, SERVICE_START_PENDING, 0, 0, 0, 0, 2000};
  sim::Services::Process& p = s.internal.processes.emplace_back();
  p.service = r->name;
  p.alive = 1;
  sim::ProcessRun run{.file = image, .currentDirectory = m.systemDirectory};
  p.thread = std::thread([&s, &p, program = *program, run] {
    sim::currentProcess = &p;
    program(run);
    sim::Lock processLock(sim::M().mutex);
    s.ProcessEnded(p);
  });
  // The manager waits until the process has connected and the service main runs.
  s.Block(call.lock, [&] { return p.connected || p.ended; });
  return p.connected ? TRUE : (SetError(ERROR_SERVICE_REQUEST_TIMEOUT), FALSE);
}

BOOL QueryServiceStatusEx(SC_HANDLE hService, SC_STATUS_TYPE InfoLevel, SERVICE_STATUS_PROCESS* lpBuffer,
                          DWORD cbBufSize, DWORD* pcbBytesNeeded) {
  SIM_CALL(FALSE, InfoLevel == SC_STATUS_PROCESS_INFO && cbBufSize >= sizeof(SERVICE_STATUS_PROCESS),
           "another level, or a buffer too small for it");
  sim::ServiceRecord* r = sim::ServiceOf(hService);
  if (r == nullptr) return FALSE;
  *pcbBytesNeeded = sizeof(SERVICE_STATUS_PROCESS);
  sim::Settle(call.lock, *r);
  // A stand-in asked to stop: STOP_PENDING for its number of queries.
  sim::Services::Process* process = m.services.ProcessOf(r->name);
  if (r->status.dwCurrentState == SERVICE_STOP_PENDING && (process == nullptr || process->ended)) {
    if (r->stopPendingQueries == 0) {
      r->status = SERVICE_STATUS{r->type, SERVICE_STOPPED, 0, 0, 0, 0, 0};
    } else {
      --r->stopPendingQueries;
      ++r->status.dwCheckPoint;
    }
  }
  SERVICE_STATUS_PROCESS out{};
  std::memcpy(&out, &r->status, sizeof(SERVICE_STATUS));  // the same fields come first
  std::memcpy(lpBuffer, &out, sizeof(out));
  return TRUE;
}

BOOL ControlService(SC_HANDLE hService, DWORD dwControl, SERVICE_STATUS* lpServiceStatus) {
  SIM_CALL(FALSE);
  auto& s = m.services;
  sim::ServiceRecord* r = sim::ServiceOf(hService);
  if (r == nullptr) return FALSE;
  sim::Settle(call.lock, *r);
  DWORD state = r->status.dwCurrentState;
  if (state == SERVICE_STOPPED) return SetError(ERROR_SERVICE_NOT_ACTIVE), FALSE;
  if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) {
    return SetError(ERROR_SERVICE_CANNOT_ACCEPT_CTRL), FALSE;
  }
  sim::Services::Process* p = s.ProcessOf(r->name);
  if (p == nullptr || p->ended) {  // the stand-in
    SIM_ONLY(dwControl == SERVICE_CONTROL_STOP, "another control than a stop for a stand-in");
    r->status = SERVICE_STATUS{r->type, SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP, 0, 0, 0, 1000};
  } else {
    // Delivered to the service's handler; the answer is the status it reported.
    std::uint64_t id = p->nextControl++;
    p->queue.push_back({dwControl, 0, {}, id});
    s.internal.changed.notify_all();
    s.Block(call.lock, [&] { return p->answers.contains(id) || !p->dispatching; });
    if (auto answer = p->answers.extract(id)) return *lpServiceStatus = answer.mapped(), TRUE;
  }
  *lpServiceStatus = r->status;
  return TRUE;
}

// The record stays until its last handle is closed and it has stopped; it
// cannot be started again meanwhile.
BOOL DeleteService(SC_HANDLE hService) {
  SIM_CALL(FALSE);
  sim::ServiceRecord* r = sim::ServiceOf(hService);
  if (r == nullptr) return FALSE;
  if (r->markedForDelete) return SetError(ERROR_SERVICE_MARKED_FOR_DELETE), FALSE;
  r->markedForDelete = true;
  return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE hSCObject) {
  SIM_CALL(FALSE);
  auto handle = m.services.internal.scHandles.extract(hSCObject);
  if (handle.empty()) return SetError(ERROR_INVALID_HANDLE), FALSE;
  sim::ServiceRecord* r = handle.mapped();
  m.handles.Close(hSCObject, r != nullptr ? sim::HandleKind::Service : sim::HandleKind::ScManager);
  if (r != nullptr && --r->openHandles == 0) m.services.RemoveIfDone(*r);
  return TRUE;
}

}  // namespace win
