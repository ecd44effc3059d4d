// The machine itself: the current machine, the call prologue, handles, and
// the calls of errors, debugger output, time and system messages.
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

Call::Call(const char* name) {
  Machine& m = M();
  std::function<void(const char*)> hook;
  {
    Lock guard(m.mutex);
    m.calls.emplace_back(name);
    unsigned n = ++m.callCounts[name];
    for (const Fault& f : m.faults) {
      if (f.call == name && (f.nth == 0 || f.nth == n) && !fault) fault = f.error;
    }
    hook = m.services.onCall;
  }
  if (fault) SetError(*fault);
  if (!fault && hook) hook(name);  // without the lock: the hook may drive the service area
  if (!fault) lock = Lock(m.mutex);
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
}

DWORD FormatMessageW(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD, LPWSTR lpBuffer, DWORD nSize, va_list*) {
  SIM_CALL(0, (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) != 0, "a message not from the system");
  auto it = m.systemMessages.find(dwMessageId);
  if (it == m.systemMessages.end()) return sim::SetError(ERROR_MR_MID_NOT_FOUND), 0;
  if (!wstr::CopyToBuffer(lpBuffer, nSize, it->second)) return sim::SetError(ERROR_INSUFFICIENT_BUFFER), 0;
  return static_cast<DWORD>(it->second.size());
}

}  // namespace win
