// Programs and processes: the programs tests register, processes started by
// ShellExecuteExW, and the end of every process's threads; see sim/service.h.
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

}  // namespace sim

namespace win {

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
    return sim::SetError(ERROR_FILE_NOT_FOUND), FALSE;
  }
  sim::ProcessRun& run = s.runs.emplace_back(sim::ProcessRun{s.runs.size(), e.lpFile, e.lpParameters, std::nullopt,
                                                             std::nullopt, m.currentDirectory, e.fMask, e.nShow});
  if (const sim::Program* program = s.ProgramFor(path)) {
    s.internal.runThreads.emplace_back([&s, &run, program = *program] {
      program(run);
      sim::Lock lock(sim::M().mutex);
      run.ended = true;
      s.internal.changed.notify_all();
    });
  } else {  // no program: it ends at once
    run.ended = true;
  }
  e.hInstApp = reinterpret_cast<HINSTANCE>(std::uintptr_t{42});
  e.hProcess = m.handles.Open(sim::HandleKind::Process);
  s.internal.processHandles[e.hProcess] = run.index;
  s.internal.changed.notify_all();
  return TRUE;
}

}  // namespace win
