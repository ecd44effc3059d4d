// Test helper, "tovhandler.exe INTERVAL CONTROL[:EVENT TYPE]...": the service's
// own program with a stand-in dispatcher (Wine delivers no device events to
// services), which runs the service main on a thread and, from RUNNING to
// STOPPED, delivers the controls in order on its own, one every INTERVAL ms.
// It prints "report state= checkpoint= hint= at=" for each status report and
// "control= at= took=" for each control handled, in ms since its start. Run
// with "-DriverUpdate...", it stands in for a setup tool run of 60 s.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <thread>
#include <vector>

#include "service/main.h"

namespace {

const auto start = std::chrono::steady_clock::now();
long long Ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

std::atomic<win::DWORD> state = 0;  // the last one reported
win::LPHANDLER_FUNCTION_EX handler = nullptr;
void* context = nullptr;
long long interval = 0;
std::vector<std::pair<win::DWORD, win::DWORD>> controls;  // code, event type

}  // namespace

// In place of the forwarding of these calls to Windows.
namespace win {

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerExW(LPCWSTR, LPHANDLER_FUNCTION_EX proc, LPVOID ctx) {
  return handler = proc, context = ctx, reinterpret_cast<SERVICE_STATUS_HANDLE>(&handler);
}

HDEVNOTIFY RegisterDeviceNotificationW(HANDLE, DEV_BROADCAST_DEVICEINTERFACE_W*, DWORD) { return &handler; }

BOOL SetServiceStatus(SERVICE_STATUS_HANDLE, SERVICE_STATUS* s) {
  std::printf("report state=%lu checkpoint=%lu hint=%lu at=%lld\n", static_cast<unsigned long>(s->dwCurrentState),
              static_cast<unsigned long>(s->dwCheckPoint), static_cast<unsigned long>(s->dwWaitHint), Ms());
  std::fflush(stdout);
  state = s->dwCurrentState;
  return TRUE;
}

BOOL StartServiceCtrlDispatcherW(const SERVICE_TABLE_ENTRYW* table) {
  std::thread serviceMain(table[0].lpServiceProc, 0, nullptr);
  while (state != SERVICE_RUNNING && state != SERVICE_STOPPED) Sleep(10);
  long long first = Ms();
  for (std::size_t i = 0; i < controls.size() && state != SERVICE_STOPPED; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(first + static_cast<long long>(i) * interval - Ms()));
    long long at = Ms();
    handler(controls[i].first, controls[i].second, nullptr, context);
    std::printf("control=%lu at=%lld took=%lld\n", static_cast<unsigned long>(controls[i].first), at, Ms() - at);
    std::fflush(stdout);
  }
  serviceMain.join();  // it returns once it has reported SERVICE_STOPPED
  return TRUE;
}

}  // namespace win

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && std::wcsncmp(argv[1], L"-DriverUpdate", 13) == 0) return win::Sleep(60000), 0;
  interval = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 0;
  for (int i = 2; i < argc; ++i) {
    wchar_t* rest = nullptr;
    win::DWORD control = std::wcstoul(argv[i], &rest, 10);
    controls.emplace_back(control, *rest == L':' ? std::wcstoul(rest + 1, nullptr, 10) : 0);
  }
  return TMSvcMain();
}
