// Test helper: runs a program with an exact command line and prints its full
// 32-bit exit code ("exit=<signed decimal>"), which wine itself cuts to 8 bits.
//
// Usage: tovlaunch.exe "<command line of the program, its name first>"
// wine quotes an argument that holds blanks or quotes, so the command line
// comes as one argument and is used exactly as it was given. The program
// inherits the launcher's current directory.
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::printf("usage: tovlaunch.exe \"<command line>\"\n");
    return 2;
  }
  wchar_t* line = argv[1];

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
