// The machine itself: the current machine, the call prologue, handles, and
// the calls of errors, debugger output, time and system messages.
#include "sim/machine.h"

#include <cstdio>
#include <cstdlib>

#include "common/wstr.h"

namespace sim {
namespace {

std::unique_ptr<Machine> current;
thread_local win::DWORD lastError = 0;

}  // namespace

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
    std::lock_guard<std::recursive_mutex> guard(m.mutex);
    m.calls.emplace_back(name);
    unsigned n = ++m.callCounts[name];
    for (const Fault& f : m.faults) {
      if (f.call == name && (f.nth == 0 || f.nth == n) && !fault) fault = f.error;
    }
    hook = m.services.onCall;
  }
  if (fault) {
    SetError(*fault);
    return;
  }
  if (hook) hook(name);  // without the lock: the hook may drive the service area
  lock = std::unique_lock<std::recursive_mutex>(m.mutex);
}

void Unmodelled(const char* call, const char* what) {
  std::fprintf(stderr, "sim: %s was asked for %s, which the simulated machine does not model\n", call, what);
  std::abort();
}

win::HANDLE Handles::Open(HandleKind kind) {
  next_ += 8;
  open_[next_] = kind;
  return reinterpret_cast<win::HANDLE>(next_);
}

bool Handles::Close(win::HANDLE h, HandleKind kind) {
  auto it = open_.find(reinterpret_cast<std::uintptr_t>(h));
  if (it == open_.end() || it->second != kind) return false;
  open_.erase(it);
  return true;
}

std::size_t Handles::Count(HandleKind kind) const {
  return static_cast<std::size_t>(
      std::count_if(open_.begin(), open_.end(), [kind](const auto& h) { return h.second == kind; }));
}

Machine::Machine() {
  systemMessages = {
      {2, u"The system cannot find the file specified.\r\n"},
      {5, u"Access is denied.\r\n"},
      {87, u"The parameter is incorrect.\r\n"},
      {1630, u"Data of this type is not supported.\r\n"},
  };
}

void Machine::FailCall(std::string call, unsigned nth, win::DWORD error) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  faults.push_back(Fault{std::move(call), nth, error});
}

std::optional<std::string> Machine::LogBytes(std::u16string_view name) {
  std::lock_guard<std::recursive_mutex> lock(mutex);
  File* f = fs.Find(FileSystem::Resolve(name, currentDirectory));
  if (f == nullptr) return std::nullopt;
  return f->data;
}

Library& Machine::AddLibrary(std::u16string path, std::map<std::string, win::FARPROC> exports) {
  return libraries.emplace_back(Library{std::move(path), std::move(exports)});
}

}  // namespace sim

namespace win {

DWORD GetLastError() { return sim::lastError; }
void SetLastError(DWORD dwErrCode) { sim::lastError = dwErrCode; }

// Neither time, debugger output nor sleeping is recorded as a call: every run
// makes them, and nothing can make them fail.
void GetLocalTime(SYSTEMTIME* lpSystemTime) {
  std::lock_guard<std::recursive_mutex> lock(sim::M().mutex);
  *lpSystemTime = sim::M().localTime;
}

void OutputDebugStringW(LPCWSTR lpOutputString) {
  std::lock_guard<std::recursive_mutex> lock(sim::M().mutex);
  if (lpOutputString != nullptr) sim::M().debugOutput.emplace_back(lpOutputString);
}

void Sleep(DWORD dwMilliseconds) {
  std::lock_guard<std::recursive_mutex> lock(sim::M().mutex);
  sim::M().sleeps.push_back(dwMilliseconds);
}

DWORD FormatMessageW(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD, LPWSTR lpBuffer, DWORD nSize, va_list*) {
  SIM_CALL(0);
  if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0) sim::Unmodelled(__func__, "a message not from the system");
  auto it = sim::M().systemMessages.find(dwMessageId);
  if (it == sim::M().systemMessages.end()) return sim::SetError(ERROR_MR_MID_NOT_FOUND), 0;
  if (!wstr::CopyToBuffer(lpBuffer, nSize, it->second)) return sim::SetError(ERROR_INSUFFICIENT_BUFFER), 0;
  return static_cast<DWORD>(it->second.size());
}

}  // namespace win
