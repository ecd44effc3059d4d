// The service process's side: its dispatcher and service main, its status
// reports, device notifications, and the controls tests post to it.
#include <cstring>

#include "sim/machine.h"

namespace sim {

Services::Process* Services::ProcessOf(std::u16string_view service) {  // the last one started
  Process* found = nullptr;
  for (Process& p : internal.processes) found = wstr::EqualsAsciiNoCase(p.service, service) ? &p : found;
  return found;
}

Services::Process* Services::Registered(win::SERVICE_STATUS_HANDLE handle) {
  auto* p = reinterpret_cast<Process*>(handle);  // from RegisterServiceCtrlHandlerExW, or null
  return p != nullptr && p->handler != nullptr && !p->ended ? p : nullptr;
}

void Services::ProcessEnded(Process& p) {
  p.ended = true;
  --p.alive;
  // The system withdraws the process's device notifications.
  for (const Registration& r : p.registrations) M().handles.Close(r.handle, HandleKind::DeviceNotification);
  p.registrations.clear();
  if (ServiceRecord* r = Find(p.service); r != nullptr && ProcessOf(p.service) == &p) {
    // A process that ends without having reported SERVICE_STOPPED was aborted.
    if (r->status.dwCurrentState != win::SERVICE_STOPPED) {
      r->status = {r->type, win::SERVICE_STOPPED, 0, win::ERROR_PROCESS_ABORTED, 0, 0, 0};
    }
    RemoveIfDone(*r);
  }
  internal.changed.notify_all();
}

bool Services::PostControl(std::u16string_view name, win::DWORD control, win::DWORD eventType) {
  Lock lock(M().mutex);
  Process* p = ProcessOf(name);
  if (p == nullptr || !p->connected || p->stopped || p->ended) return false;
  p->queue.push_back(Control{control, eventType, {}, p->nextControl++});
  internal.changed.notify_all();
  return true;
}

std::size_t Services::PostDeviceInterfaceEvent(win::DWORD eventType, const win::GUID& interfaceClass,
                                               std::u16string_view symbolicLink) {
  Lock lock(M().mutex);
  // The event data: the broadcast record with the interface's name behind it.
  constexpr std::size_t kNameAt = offsetof(win::DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
  std::size_t size = kNameAt + (symbolicLink.size() + 1) * sizeof(char16_t);
  std::vector<std::uint8_t> data(std::max(size, sizeof(win::DEV_BROADCAST_DEVICEINTERFACE_W)));
  win::DEV_BROADCAST_DEVICEINTERFACE_W header{
      static_cast<win::DWORD>(size), win::DBT_DEVTYP_DEVICEINTERFACE, 0, interfaceClass, {}};
  std::memcpy(data.data(), &header, kNameAt);
  std::memcpy(data.data() + kNameAt, symbolicLink.data(), symbolicLink.size() * sizeof(char16_t));
  std::size_t count = 0;
  for (Process& p : internal.processes) {
    bool registered = std::any_of(p.registrations.begin(), p.registrations.end(), [&](const Registration& r) {
      return std::memcmp(&r.interfaceClass, &interfaceClass, sizeof(win::GUID)) == 0;
    });
    if (!p.connected || p.stopped || p.ended || !registered) continue;
    p.queue.push_back(Control{win::SERVICE_CONTROL_DEVICEEVENT, eventType, data, p.nextControl++});
    ++count;
  }
  internal.changed.notify_all();
  return count;
}

std::size_t Services::ControlsPending(std::u16string_view name) {
  Lock lock(M().mutex);
  return ProcessOf(name) == nullptr ? 0 : ProcessOf(name)->queue.size();
}

std::size_t Services::ControlsHandled(std::u16string_view name) {
  Lock lock(M().mutex);
  return ProcessOf(name) == nullptr ? 0 : static_cast<std::size_t>(ProcessOf(name)->handledControls);
}

}  // namespace sim

namespace win {

using sim::SetError;

BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* lpServiceStartTable) {
  SIM_CALL(FALSE);
  auto& s = m.services;
  sim::Services::Process* p = sim::currentProcess;
  if (p == nullptr) return SetError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT), FALSE;
  SIM_ONLY(!p->connected && lpServiceStartTable[1].lpServiceName == nullptr,
           "a second dispatcher, or a process of several services");
  p->connected = p->dispatching = true;
  p->dispatcher = std::this_thread::get_id();
  ++p->alive;
  // An own-process service: the table's one entry serves whatever name the
  // service was started under, and the service main gets that name as argv[0].
  p->mainThread = std::thread([&s, p, serviceMain = lpServiceStartTable[0].lpServiceProc, name = p->service]() mutable {
    sim::currentProcess = p;
    LPWSTR argv[] = {name.data(), nullptr};
    serviceMain(1, argv);
    sim::Lock mainLock(sim::M().mutex);
    --p->alive;
    s.internal.changed.notify_all();
  });
  s.internal.changed.notify_all();

  // Controls, one at a time, until the service has reported SERVICE_STOPPED.
  for (;;) {
    s.Block(call.lock, [p] { return !p->queue.empty() || p->stopped; });
    if (p->stopped) break;
    sim::Services::Control c = std::move(p->queue.front());
    p->queue.pop_front();
    if (sim::ServiceRecord* r = s.Find(p->service)) p->handlerStatus = r->status;
    auto [handler, context] = std::pair(p->handler, p->context);
    call.lock.unlock();
    if (handler != nullptr) handler(c.code, c.eventType, c.data.empty() ? nullptr : c.data.data(), context);
    call.lock.lock();
    p->answers[c.id] = p->handlerStatus;
    ++p->handledControls;
    s.internal.changed.notify_all();
  }
  p->queue.clear();
  p->dispatching = false;
  s.internal.changed.notify_all();
  std::thread mainThread = std::move(p->mainThread);
  call.lock.unlock();
  mainThread.join();
  return TRUE;
}

// An own-process service: the name is not checked.
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerExW(LPCWSTR, LPHANDLER_FUNCTION_EX lpHandlerProc, LPVOID lpContext) {
  SIM_CALL(nullptr);
  sim::Services::Process* p = sim::currentProcess;
  if (p == nullptr || !p->connected) return SetError(ERROR_SERVICE_DOES_NOT_EXIST), nullptr;
  p->handler = lpHandlerProc;
  p->context = lpContext;
  return reinterpret_cast<SERVICE_STATUS_HANDLE>(p);
}

BOOL SetServiceStatus(SERVICE_STATUS_HANDLE hServiceStatus, SERVICE_STATUS* lpServiceStatus) {
  SIM_CALL(FALSE);
  auto& s = m.services;
  sim::Services::Process* p = s.Registered(hServiceStatus);
  if (p == nullptr) return SetError(ERROR_INVALID_HANDLE), FALSE;
  bool stopped = lpServiceStatus->dwCurrentState == SERVICE_STOPPED;
  s.reports.push_back(*lpServiceStatus);
  s.reportTimes.push_back(m.tickMs);
  if (sim::ServiceRecord* r = s.Find(p->service); r != nullptr && s.ProcessOf(p->service) == p) {
    r->status = *lpServiceStatus;
    if (stopped) r->status.dwControlsAccepted = 0;
  }
  // What the handler being run reports is the answer to its control.
  if (std::this_thread::get_id() == p->dispatcher) p->handlerStatus = *lpServiceStatus;
  p->stopped = p->stopped || stopped;
  s.internal.changed.notify_all();
  return TRUE;
}

// Only services are modelled as recipients, of one interface class each.
HDEVNOTIFY RegisterDeviceNotificationW(HANDLE hRecipient, DEV_BROADCAST_DEVICEINTERFACE_W* NotificationFilter,
                                       DWORD Flags) {
  SIM_CALL(nullptr);
  const DEV_BROADCAST_DEVICEINTERFACE_W& filter = *NotificationFilter;
  SIM_ONLY(Flags == DEVICE_NOTIFY_SERVICE_HANDLE && filter.dbcc_devicetype == DBT_DEVTYP_DEVICEINTERFACE,
           "a window, all interface classes, or another filter than an interface class");
  sim::Services::Process* p = m.services.Registered(static_cast<SERVICE_STATUS_HANDLE>(hRecipient));
  if (p == nullptr) return SetError(ERROR_INVALID_HANDLE), nullptr;
  if (filter.dbcc_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W)) return SetError(ERROR_INVALID_DATA), nullptr;
  HANDLE h = m.handles.Open(sim::HandleKind::DeviceNotification);
  p->registrations.push_back({h, filter.dbcc_classguid});
  return h;
}

}  // namespace win
