// Test helper: runs a program with an exact command line and prints its full
// 32-bit exit code ("exit=<signed decimal>"), which wine itself cuts to 8 bits.
//
// Usage: tovlaunch.exe <command line of the program, its name first>
// The program inherits the launcher's current directory.
#include <windows.h>

#include <cstdio>

int wmain() {
  // Everything after the launcher's own name (and the blanks after it) is the
  // child's command line, byte for byte.
  wchar_t* line = GetCommandLineW();
  bool quoted = false;
  while (*line != 0 && (quoted || *line > L' ')) {
    if (*line == L'"') quoted = !quoted;
    ++line;
  }
  while (*line != 0 && *line <= L' ') ++line;

  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("launch-failed=%lu\n", GetLastError());
    return 2;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  std::printf("exit=%ld\n", static_cast<long>(code));
  std::fflush(stdout);
  return 0;
}
