// Processes and waiting: the programs tests register, processes started by
// ShellExecuteExW, how simulated processes block and go idle, the waits of
// tests, events, and the calls that wait; see sim/service.h.
#include <chrono>
#include <cstdio>

#include "sim/machine.h"

namespace sim {

Services::~Services() {
  for (Process& p : internal.processes) {
    if (!p.thread.joinable()) continue;
    if (!p.ended) std::fprintf(stderr, "sim: a service process still runs at the end of the test\n");
    p.thread.join();
  }
  for (std::thread& t : internal.runThreads) t.join();
}

void Services::SetProgram(std::u16string_view path, Program program) {
  Lock lock(M().mutex);
  internal.programs[wstr::AsciiLowered(path)] = std::move(program);
}

const Program* Services::ProgramFor(std::u16string_view path) {
  auto it = internal.programs.find(wstr::AsciiLowered(path));
  return it == internal.programs.end() ? nullptr : &it->second;
}

std::size_t Services::RunsStarted() {
  Lock lock(M().mutex);
  return runs.size();
}

std::size_t Services::RunsEnded() {
  Lock lock(M().mutex);
  return static_cast<std::size_t>(std::count_if(runs.begin(), runs.end(), [](const auto& r) { return r.ended; }));
}

bool Services::Idle(const Process& p) const {
  if (p.ended) return true;
  if (!p.connected || p.waiters.size() != static_cast<std::size_t>(p.alive)) return false;
  return std::none_of(p.waiters.begin(), p.waiters.end(), [](const auto* ready) { return (*ready)(); });
}

void Services::Block(Lock& lock, const std::function<bool()>& ready) {
  Process* p = currentProcess;
  if (p != nullptr) p->waiters.push_back(&ready);
  internal.changed.notify_all();  // a process whose thread this is may be idle now
  internal.changed.wait(lock, ready);
  if (p != nullptr) std::erase(p->waiters, &ready);
}

bool Services::WaitUntil(const std::function<bool()>& ready) {
  Lock lock(M().mutex);
  return internal.changed.wait_for(lock, std::chrono::seconds(60), ready);
}

bool Services::WaitIdle(std::u16string_view name) {
  return WaitUntil([&] { return ProcessOf(name) == nullptr || Idle(*ProcessOf(name)); });
}

bool Services::WaitForExit(std::u16string_view name) {
  if (!WaitUntil([&] { return ProcessOf(name) == nullptr || ProcessOf(name)->ended; })) return false;
  Lock lock(M().mutex);
  std::thread thread = ProcessOf(name) != nullptr ? std::move(ProcessOf(name)->thread) : std::thread();
  lock.unlock();
  if (thread.joinable()) thread.join();
  return true;
}

bool Services::Close(void* handle) {
  if (internal.events.erase(handle) != 0) return M().handles.Close(handle, HandleKind::Event);
  if (internal.processHandles.erase(handle) != 0) return M().handles.Close(handle, HandleKind::Process);
  return false;
}

win::DWORD Services::Wait(Lock& lock, const std::vector<win::HANDLE>& handles, win::DWORD ms) {
  std::vector<std::function<bool()>> signalled;
  for (win::HANDLE h : handles) {
    if (auto event = internal.events.find(h); event != internal.events.end()) {
      SIM_ONLY(ms == win::INFINITE, "a wait for an event that can time out");
      signalled.push_back([event = event->second] { return event->signalled; });
    } else if (auto run = internal.processHandles.find(h); run != internal.processHandles.end()) {
      if (runMs > ms && !runs[run->second].ended) return M().tickMs += ms, win::WAIT_TIMEOUT;
      signalled.push_back([ended = &runs[run->second].ended] { return *ended; });
    } else {
      return SetError(win::ERROR_INVALID_HANDLE), win::WAIT_FAILED;
    }
  }
  auto first = [&] { return std::find_if(signalled.begin(), signalled.end(), [](auto& s) { return s(); }); };
  Block(lock, [&] { return first() != signalled.end(); });
  auto index = static_cast<std::size_t>(first() - signalled.begin());
  auto event = internal.events.find(handles[index]);  // the wait takes an auto-reset event's signal
  if (event != internal.events.end() && !event->second->manualReset) event->second->signalled = false;
  return win::WAIT_OBJECT_0 + static_cast<win::DWORD>(index);
}

}  // namespace sim

namespace win {

using sim::SetError;

// The programs start a program file they name by its full path, with
// parameters, for its process handle, and without any window of the shell's.
BOOL ShellExecuteExW(SHELLEXECUTEINFOW* pExecInfo) {
  SIM_CALL(FALSE);
  auto& s = m.services;
  SHELLEXECUTEINFOW& e = *pExecInfo;
  SIM_ONLY(e.cbSize == sizeof e && e.lpVerb == nullptr && e.lpDirectory == nullptr && e.lpParameters != nullptr &&
               (e.fMask & SEE_MASK_NOCLOSEPROCESS) != 0,
           "a verb, a directory, no parameters or no process handle");
  e.hProcess = nullptr;
  std::u16string path = sim::FileSystem::Resolve(e.lpFile, m.currentDirectory);
  if (!m.fs.Exists(path)) {
    // The shell tells the user in an error box, unless asked not to.
    SIM_ONLY((e.fMask & SEE_MASK_FLAG_NO_UI) != 0, "the shell's error box");
    e.hInstApp = reinterpret_cast<HINSTANCE>(std::uintptr_t{2});  // SE_ERR_FNF
    return SetError(ERROR_FILE_NOT_FOUND), FALSE;
  }
  sim::ProcessRun& run = s.runs.emplace_back(
      sim::ProcessRun{s.runs.size(), e.lpFile, e.lpParameters, m.currentDirectory, e.fMask, e.nShow});
  const sim::Program* program = s.ProgramFor(path);
  run.ended = program == nullptr;  // no program: it ends at once
  if (program != nullptr) {
    s.internal.runThreads.emplace_back([&s, &run, program = *program] {
      program(run);
      sim::Lock lock(sim::M().mutex);
      run.ended = true;
      s.internal.changed.notify_all();
    });
  }
  e.hInstApp = reinterpret_cast<HINSTANCE>(std::uintptr_t{42});
  e.hProcess = m.handles.Open(sim::HandleKind::Process);
  s.internal.processHandles[e.hProcess] = run.index;
  s.internal.changed.notify_all();
  return TRUE;
}

HANDLE CreateEventW(SECURITY_ATTRIBUTES*, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName) {
  SIM_CALL(nullptr, lpName == nullptr, "a named event");
  HANDLE h = m.handles.Open(sim::HandleKind::Event);
  m.services.internal.events[h] =
      std::make_shared<sim::Services::Event>(sim::Services::Event{bInitialState != FALSE, bManualReset != FALSE});
  return h;
}

BOOL SetEvent(HANDLE hEvent) {
  SIM_CALL(FALSE);
  auto it = m.services.internal.events.find(hEvent);
  if (it == m.services.internal.events.end()) return SetError(ERROR_INVALID_HANDLE), FALSE;
  it->second->signalled = true;
  m.services.internal.changed.notify_all();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  SIM_CALL(WAIT_FAILED);
  return m.services.Wait(call.lock, {hHandle}, dwMilliseconds);
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds) {
  SIM_CALL(WAIT_FAILED, !bWaitAll && dwMilliseconds == INFINITE, "a wait for all, or one that can time out");
  return m.services.Wait(call.lock, std::vector<HANDLE>(lpHandles, lpHandles + nCount), dwMilliseconds);
}

}  // namespace win
