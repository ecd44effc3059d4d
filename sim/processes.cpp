// Programs and processes: the programs tests register, processes started by
// ShellExecuteExW, and the end of every process's threads; see sim/service.h.
#include <cstdio>

#include "common/wstr.h"
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

// The programs start a program file they name by its full path, for its
// process handle, and without any window of the shell's.
BOOL ShellExecuteExW(SHELLEXECUTEINFOW* pExecInfo) {
  SIM_CALL(FALSE);
  auto& s = m.services;
  if (pExecInfo->cbSize != sizeof(SHELLEXECUTEINFOW) || pExecInfo->lpVerb != nullptr ||
      (pExecInfo->fMask & SEE_MASK_NOCLOSEPROCESS) == 0) {
    sim::Unmodelled(__func__, "a verb, or a start without the process's handle");
  }
  pExecInfo->hProcess = nullptr;
  std::u16string directory = pExecInfo->lpDirectory != nullptr ? pExecInfo->lpDirectory : m.currentDirectory;
  if (!m.fs.Exists(sim::FileSystem::Resolve(pExecInfo->lpFile, directory))) {
    // The shell tells the user in an error box, unless asked not to.
    if ((pExecInfo->fMask & SEE_MASK_FLAG_NO_UI) == 0) sim::Unmodelled(__func__, "the shell's error box");
    pExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(std::uintptr_t{2});  // SE_ERR_FNF
    return sim::SetError(ERROR_FILE_NOT_FOUND), FALSE;
  }
  sim::ProcessRun& run = s.runs.emplace_back();
  run.index = s.runs.size() - 1;
  run.file = pExecInfo->lpFile;
  if (pExecInfo->lpParameters != nullptr) run.parameters = pExecInfo->lpParameters;
  if (pExecInfo->lpDirectory != nullptr) run.directory = pExecInfo->lpDirectory;
  run.currentDirectory = directory;
  run.mask = pExecInfo->fMask;
  run.show = pExecInfo->nShow;
  if (const sim::Program* program = s.ProgramFor(sim::FileSystem::Resolve(run.file, directory))) {
    s.internal.runThreads.emplace_back([&s, &run, program = *program] {
      DWORD code = program(run);
      sim::Lock lock(sim::M().mutex);
      run.exitCode = code;
      run.ended = true;
      s.internal.changed.notify_all();
    });
  } else {
    run.exitCode = 0;
    run.ended = true;
  }
  pExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(std::uintptr_t{42});
  pExecInfo->hProcess = m.handles.Open(sim::HandleKind::Process);
  s.internal.processHandles[pExecInfo->hProcess] = run.index;
  s.internal.changed.notify_all();
  return TRUE;
}

}  // namespace win
