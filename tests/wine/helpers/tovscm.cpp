// Test helper: a small service control manager client for the service tests
// (Wine's sc.exe knows neither qc nor pause, continue or interrogate).
//
// Usage:
//   tovscm.exe config <name>                     the registered configuration
//   tovscm.exe status <name>                     the current status
//   tovscm.exe control <name> <code>             sends a control; the status it returns
//   tovscm.exe wait <name> <state> <seconds>     polls until the state is reached
// Every answer is printed as key=value lines; a failed call prints error=<code>.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

int Fail(const char* what) {
  std::printf("error=%lu\ncall=%s\n", GetLastError(), what);
  return 1;
}

void PrintStatus(const SERVICE_STATUS_PROCESS& s) {
  std::printf("state=%lu\ncontrols=%lu\nexit=%lu\ncheckpoint=%lu\nhint=%lu\npid=%lu\n", s.dwCurrentState,
              s.dwControlsAccepted, s.dwWin32ExitCode, s.dwCheckPoint, s.dwWaitHint, s.dwProcessId);
}

bool Query(SC_HANDLE service, SERVICE_STATUS_PROCESS& s) {
  DWORD needed = 0;
  return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&s), sizeof(s), &needed);
}

}  // namespace

// The process ends after one answer, and its handles are closed with it.
int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::printf("usage: tovscm.exe config|status|control|wait <name> ...\n");
    return 2;
  }
  const std::wstring command = argv[1];
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!manager) return Fail("OpenSCManagerW");
  SC_HANDLE service = OpenServiceW(manager, argv[2], SERVICE_ALL_ACCESS);
  if (!service) return Fail("OpenServiceW");
  SERVICE_STATUS_PROCESS s{};
  if (command == L"config") {
    alignas(QUERY_SERVICE_CONFIGW) BYTE buffer[8192];  // the documented largest configuration
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
    DWORD needed = 0;
    if (!QueryServiceConfigW(service, config, sizeof buffer, &needed)) return Fail("QueryServiceConfigW");
    std::printf("type=0x%lx\nstart=%lu\nerror=%lu\npath=%ls\naccount=%ls\ndisplay=%ls\n", config->dwServiceType,
                config->dwStartType, config->dwErrorControl, config->lpBinaryPathName,
                config->lpServiceStartName ? config->lpServiceStartName : L"",
                config->lpDisplayName ? config->lpDisplayName : L"");
    // The load-order group and the first dependency, when it has them.
    if (config->lpLoadOrderGroup && *config->lpLoadOrderGroup) std::printf("group=%ls\n", config->lpLoadOrderGroup);
    if (config->lpDependencies && *config->lpDependencies) std::printf("depend=%ls\n", config->lpDependencies);
  } else if (command == L"status") {
    if (!Query(service, s)) return Fail("QueryServiceStatusEx");
    PrintStatus(s);
  } else if (command == L"control" && argc == 4) {
    SERVICE_STATUS status{};
    if (!ControlService(service, static_cast<DWORD>(_wtoi(argv[3])), &status)) return Fail("ControlService");
    std::printf("state=%lu\ncontrols=%lu\n", status.dwCurrentState, status.dwControlsAccepted);
  } else if (command == L"wait" && argc == 5) {
    DWORD want = static_cast<DWORD>(_wtoi(argv[3]));
    for (int tenths = _wtoi(argv[4]) * 10;; --tenths) {
      if (!Query(service, s)) return Fail("QueryServiceStatusEx");
      if (s.dwCurrentState == want || tenths <= 0) break;
      Sleep(100);
    }
    PrintStatus(s);
    return s.dwCurrentState == want ? 0 : 1;
  } else {
    std::printf("unknown command\n");
    return 2;
  }
  return 0;
}
