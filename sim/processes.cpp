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

// On an event, or on a process started by ShellExecuteExW, which outlasts a
// wait shorter than the machine's `runMs`.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  SIM_CALL(WAIT_FAILED);
  auto& s = m.services;
  std::function<bool()> ready;
  if (auto event = s.internal.events.find(hHandle); event != s.internal.events.end()) {
    SIM_ONLY(dwMilliseconds == INFINITE, "a wait for an event that can time out");
    ready = [signalled = event->second] { return *signalled; };
  } else if (auto run = s.internal.processHandles.find(hHandle); run != s.internal.processHandles.end()) {
    if (s.runMs > dwMilliseconds && !s.runs[run->second].ended) return WAIT_TIMEOUT;
    ready = [ended = &s.runs[run->second].ended] { return *ended; };
  } else {
    return SetError(ERROR_INVALID_HANDLE), WAIT_FAILED;
  }
  s.Block(call.lock, ready);
  return WAIT_OBJECT_0;
}

}  // namespace win
