// Test helper: runs a program with an exact command line and prints its full
// 32-bit exit code ("exit=<signed decimal>"), which wine itself cuts to 8 bits,
// after the run's wall time ("ms=<milliseconds>").
//
// Usage: tovlaunch.exe [option FILE-OR-NAME]... "<command line, program first>"
//   --lock FILE    holds FILE open read-only with a shared 1-byte lock during the run
//   --share0 FILE  holds FILE open with share mode 0 during the run
//   --for MS       lets go of the held FILE MS milliseconds after the start
//   --station NAME starts the program on the desktop Default of a new window
//                  station NAME, one without WSF_VISIBLE
// wine quotes an argument that holds blanks or quotes, so the command line
// comes as one argument and is used exactly as it was given. The program
// inherits the launcher's current directory. It writes with WriteFile, not
// printf: under arm64 Wine, whose C runtime is an ELF library, a va_list
// handed to it crashes.
#include <windows.h>

#include <string>

static int Say(const char* key, long long value) {
  std::string text = key + std::to_string(value) + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  return 2;
}

int wmain(int argc, wchar_t** argv) {
  HANDLE held = INVALID_HANDLE_VALUE;
  DWORD holdMs = INFINITE;
  std::wstring desktop;
  int i = 1;
  for (; i + 2 < argc && argv[i][0] == L'-' && argv[i][1] == L'-'; i += 2) {
    std::wstring option = argv[i], value = argv[i + 1];
    if (option == L"--station") {
      if (CreateWindowStationW(value.c_str(), 0, WINSTA_ALL_ACCESS, nullptr) == nullptr) {
        return Say("station-failed=", GetLastError());
      }
      desktop = value + L"\\Default";
      continue;
    }
    if (option == L"--for") {
      holdMs = static_cast<DWORD>(_wtoi(value.c_str()));
      continue;
    }
    bool lock = option == L"--lock";
    if (!lock && option != L"--share0") break;
    held = CreateFileW(value.c_str(), GENERIC_READ, lock ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED first{};
    if (held == INVALID_HANDLE_VALUE || (lock && !LockFileEx(held, LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &first))) {
      return Say("hold-failed=", GetLastError());
    }
  }
  if (i != argc - 1) {
    return Say(
        "usage: tovlaunch.exe [--lock FILE|--share0 FILE|--for MS|--station NAME]... \"<command line>\" arguments=",
        argc - 1);
  }
  wchar_t* line = argv[i];

  STARTUPINFOW si{};
  si.cb = sizeof(si);
  if (!desktop.empty()) si.lpDesktop = desktop.data();
  PROCESS_INFORMATION pi{};
  ULONGLONG start = GetTickCount64();
  if (!CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return Say("launch-failed=", GetLastError());
  }
  if (WaitForSingleObject(pi.hProcess, holdMs) == WAIT_TIMEOUT) CloseHandle(held);
  WaitForSingleObject(pi.hProcess, INFINITE);
  ULONGLONG elapsed = GetTickCount64() - start;
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  Say("ms=", static_cast<long long>(elapsed));
  Say("exit=", static_cast<LONG>(code));
  return 0;  // the held file and the process handles are closed with this process
}
