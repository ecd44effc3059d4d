// Waiting: how simulated processes block and go idle, the waits of tests, and
// events with the calls that wait on them; see sim/service.h.
#include <chrono>

#include "sim/machine.h"

namespace sim {

bool Services::Idle(const Process& p) const {
  if (p.ended) return true;
  if (!p.connected || p.waiters.size() != static_cast<std::size_t>(p.alive)) return false;
  return std::none_of(p.waiters.begin(), p.waiters.end(), [](const auto* ready) { return (*ready)(); });
}

void Services::Block(Lock& lock, const std::function<bool()>& ready) {
  Process* p = currentProcess;
  if (p != nullptr) {
    p->waiters.push_back(&ready);
    internal.changed.notify_all();  // the process may be idle now
  }
  internal.changed.wait(lock, ready);
  if (p != nullptr) std::erase(p->waiters, &ready);
}

bool Services::WaitUntil(const std::function<bool()>& ready) {
  Lock lock(M().mutex);
  return internal.changed.wait_for(lock, std::chrono::seconds(60), ready);
}

bool Services::WaitIdle(std::u16string_view name) {
  return WaitUntil([&] {
    Process* p = ProcessOf(name);
    return p == nullptr || Idle(*p);
  });
}

bool Services::WaitForExit(std::u16string_view name) {
  if (!WaitUntil([&] { return ProcessOf(name) == nullptr || ProcessOf(name)->ended; })) return false;
  std::thread thread;
  {
    Lock lock(M().mutex);
    if (Process* p = ProcessOf(name)) thread = std::move(p->thread);
  }
  if (thread.joinable()) thread.join();
  return true;
}

bool Services::Close(void* handle) {
  if (internal.events.erase(handle) != 0) return M().handles.Close(handle, HandleKind::Event);
  if (internal.processHandles.erase(handle) != 0) return M().handles.Close(handle, HandleKind::Process);
  return false;
}

}  // namespace sim

namespace win {

using sim::SetError;

HANDLE CreateEventW(SECURITY_ATTRIBUTES*, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
  SIM_CALL(nullptr, lpName == nullptr && bManualReset, "a named or an auto-reset event");
  HANDLE h = m.handles.Open(sim::HandleKind::Event);
  m.services.internal.events[h] = std::make_shared<bool>(bInitialState != FALSE);
  return h;
}

BOOL SetEvent(HANDLE hEvent) {
  SIM_CALL(FALSE);
  auto it = m.services.internal.events.find(hEvent);
  if (it == m.services.internal.events.end()) return SetError(ERROR_INVALID_HANDLE), FALSE;
  *it->second = true;
  m.services.internal.changed.notify_all();
  return TRUE;
}

// On an event or on a process started by ShellExecuteExW.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  SIM_CALL(WAIT_FAILED, dwMilliseconds == INFINITE, "a wait that can time out");
  auto& s = m.services;
  std::function<bool()> ready;
  if (auto event = s.internal.events.find(hHandle); event != s.internal.events.end()) {
    ready = [signalled = event->second] { return *signalled; };
  } else if (auto run = s.internal.processHandles.find(hHandle); run != s.internal.processHandles.end()) {
    ready = [ended = &s.runs[run->second].ended] { return *ended; };
  } else {
    return SetError(ERROR_INVALID_HANDLE), WAIT_FAILED;
  }
  s.Block(call.lock, ready);
  return WAIT_OBJECT_0;
}

}  // namespace win
