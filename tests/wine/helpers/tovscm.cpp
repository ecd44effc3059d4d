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
#include <cwchar>
#include <vector>

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

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::printf("usage: tovscm.exe config|status|control|wait <name> ...\n");
    return 2;
  }
  const wchar_t* command = argv[1];
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!manager) return Fail("OpenSCManagerW");
  SC_HANDLE service = OpenServiceW(manager, argv[2], SERVICE_ALL_ACCESS);
  if (!service) return Fail("OpenServiceW");
  int result = 0;
  if (std::wcscmp(command, L"config") == 0) {
    DWORD needed = 0;
    QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed ? needed : 1);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!QueryServiceConfigW(service, config, needed, &needed)) return Fail("QueryServiceConfigW");
    std::printf("type=0x%lx\nstart=%lu\nerror=%lu\n", config->dwServiceType, config->dwStartType,
                config->dwErrorControl);
    std::printf("path=%ls\naccount=%ls\ndisplay=%ls\n", config->lpBinaryPathName,
                config->lpServiceStartName ? config->lpServiceStartName : L"",
                config->lpDisplayName ? config->lpDisplayName : L"");
  } else if (std::wcscmp(command, L"status") == 0) {
    SERVICE_STATUS_PROCESS s{};
    if (!Query(service, s)) return Fail("QueryServiceStatusEx");
    PrintStatus(s);
  } else if (std::wcscmp(command, L"control") == 0 && argc == 4) {
    SERVICE_STATUS status{};
    if (!ControlService(service, static_cast<DWORD>(_wtoi(argv[3])), &status)) return Fail("ControlService");
    std::printf("state=%lu\ncontrols=%lu\n", status.dwCurrentState, status.dwControlsAccepted);
  } else if (std::wcscmp(command, L"wait") == 0 && argc == 5) {
    DWORD want = static_cast<DWORD>(_wtoi(argv[3]));
    int tenths = _wtoi(argv[4]) * 10;
    SERVICE_STATUS_PROCESS s{};
    for (int i = 0; i <= tenths; ++i) {
      if (!Query(service, s)) return Fail("QueryServiceStatusEx");
      if (s.dwCurrentState == want) break;
      Sleep(100);
    }
    PrintStatus(s);
    result = s.dwCurrentState == want ? 0 : 1;
  } else {
    std::printf("unknown command\n");
    result = 2;
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return result;
}
