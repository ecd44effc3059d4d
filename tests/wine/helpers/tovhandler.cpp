// Test helper: the device-arrival service's own control handler, called the
// way the dispatcher thread calls it, one control after the other (Wine
// delivers no device events to services). Outside a service its status
// reports fail, which ends the service as a failed report does.
//
// Usage: tovhandler.exe CONTROL[:EVENT TYPE]...   prints, for each control,
//   "control=<code> start=<ms since the first> took=<ms>"
// Started with "-DriverUpdate..." (as the arrival handling starts the setup
// tool beside it, when copied there under its name), it stands in for a
// setup tool run that lasts 60 s.
#include <chrono>
#include <cstdio>
#include <cwchar>

#include "service/main.h"

namespace {

long long Ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && std::wcsncmp(argv[1], L"-DriverUpdate", 13) == 0) return win::Sleep(60000), 0;
  long long first = Ms();
  for (int i = 1; i < argc; ++i) {
    wchar_t* rest = nullptr;
    win::DWORD control = std::wcstoul(argv[i], &rest, 10);
    long long start = Ms();
    TMSvcControlHandlerEx(control, *rest == L':' ? std::wcstoul(rest + 1, nullptr, 10) : 0, nullptr, nullptr);
    std::printf("control=%lu start=%lld took=%lld\n", static_cast<unsigned long>(control), start - first, Ms() - start);
  }
  return 0;
}
