#include "service/main.h"

#include <mutex>
#include <string>

#include "service/arrival.h"
#include "win/handle.h"

namespace {

// State shared by the dispatcher's thread (the control handler) and the
// service main's thread. One lock keeps each status report whole: its fields
// are filled and sent under it, and the stop event is signalled, stored and
// withdrawn under it.
std::mutex statusLock;
win::SERVICE_STATUS_HANDLE statusHandle = nullptr;
win::SERVICE_STATUS status{};
win::HANDLE stopEvent = nullptr;
bool stopRequested = false;

// Asks the service main to end: signals the stop event, or, before it
// exists, leaves the request for the service main to find. Called under statusLock.
void RequestStopLocked() {
  stopRequested = true;
  if (stopEvent != nullptr && !win::SetEvent(stopEvent)) {
    TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcControlHandlerEx SetEvent failed! %d", win::GetLastError());
  }
}

win::DWORD CurrentState() {
  std::lock_guard<std::mutex> lock(statusLock);
  return status.dwCurrentState;
}

bool Stopping() {
  std::lock_guard<std::mutex> lock(statusLock);
  return stopRequested;
}

}  // namespace

win::BOOL TMSvcInternalStatusReportToScm(win::DWORD state, win::DWORD checkPoint, win::DWORD waitHint) {
  std::lock_guard<std::mutex> lock(statusLock);
  // Once the service is stopping, the manager hears of nothing but the stop.
  if (stopRequested && state != win::SERVICE_STOP_PENDING && state != win::SERVICE_STOPPED) return win::TRUE;
  status.dwControlsAccepted =
      state == win::SERVICE_START_PENDING ? 0 : win::SERVICE_ACCEPT_STOP | win::SERVICE_ACCEPT_PAUSE_CONTINUE;
  status.dwCurrentState = state;
  status.dwCheckPoint = checkPoint;
  status.dwWaitHint = waitHint;
  status.dwWin32ExitCode = win::NO_ERROR;
  win::BOOL ok = win::SetServiceStatus(statusHandle, &status);
  if (!ok) {
    TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcInternalStatusReportToScm SetServiceStatus failed! %d", win::GetLastError());
    RequestStopLocked();
  }
  return ok;
}

win::DWORD TOV_WINAPI TMSvcControlHandlerEx(win::DWORD control, win::DWORD eventType, win::LPVOID, win::LPVOID) {
  // A stop taken up (or a failed report) ends the service: a later control,
  // an arrival queued behind it among them, reports nothing and starts no
  // setup tool run. A second STOP only signals the stop again, in case the
  // first signal failed.
  bool stopping = Stopping();
  if (control == win::SERVICE_CONTROL_STOP) {
    if (!stopping) TMSvcInternalStatusReportToScm(win::SERVICE_STOP_PENDING, 1, 3000);
    std::lock_guard<std::mutex> lock(statusLock);
    RequestStopLocked();
    return win::NO_ERROR;
  }
  if (stopping) return win::NO_ERROR;
  switch (control) {
    case win::SERVICE_CONTROL_PAUSE:
      // PAUSE toggles: the paused state is a reported state only.
      if (CurrentState() == win::SERVICE_RUNNING) {
        TMSvcInternalStatusReportToScm(win::SERVICE_PAUSED, 0, 0);
        return win::NO_ERROR;
      }
      break;
    case win::SERVICE_CONTROL_DEVICEEVENT:
      if (eventType == win::DBT_DEVICEARRIVAL) {
        TMSvcTrace(TMSVC_TRACE_DEVICE_EVENT, u"SERVICE_CONTROL_DEVICEEVENT, DBT_DEVICEARRIVAL");
        TMSvcNotificationDeviceInterfaceArrival();
      }
      break;
    default:
      break;
  }
  TMSvcInternalStatusReportToScm(win::SERVICE_RUNNING, 0, 0);
  return win::NO_ERROR;
}

void TOV_WINAPI TMSvcServiceMain(win::DWORD, win::LPWSTR*) {
  // "\n" plus the trace's own line feed, kept on purpose: the line has always ended in two.
  TMSvcTrace(TMSVC_TRACE_ENTRY, u">>> TMSvcServiceMain\n");
  win::SERVICE_STATUS_HANDLE handle =
      win::RegisterServiceCtrlHandlerExW(kTMSvcServiceName, TMSvcControlHandlerEx, nullptr);
  if (handle == nullptr) {
    TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcServiceMain RegisterServiceCtrlHandlerEx failed! %d", win::GetLastError());
    return;  // without a status handle nothing can be reported
  }
  {
    std::lock_guard<std::mutex> lock(statusLock);
    statusHandle = handle;
    status.dwServiceType = win::SERVICE_WIN32_OWN_PROCESS;
    status.dwServiceSpecificExitCode = 0;
  }
  TMSvcNotificationDeviceRegister(handle);

  if (!TMSvcInternalStatusReportToScm(win::SERVICE_START_PENDING, 1, 3000)) {
    TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcServiceMain TMSvcInternalStatusReportToScm failed!");
  } else if (win::UniqueHandle event(win::CreateEventW(nullptr, win::TRUE, win::FALSE, nullptr)); !event) {
    TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcServiceMain CreateEvent failed! %d", win::GetLastError());
  } else {
    bool stopAlready = false;
    {
      std::lock_guard<std::mutex> lock(statusLock);
      stopEvent = event.Get();
      stopAlready = stopRequested;  // a stop asked for while the start was pending
    }
    if (!stopAlready && TMSvcInternalStatusReportToScm(win::SERVICE_RUNNING, 0, 0)) {
      if (win::WaitForSingleObject(event.Get(), win::INFINITE) == win::WAIT_FAILED) {
        TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcServiceMain WaitForSingleObject failed! %d", win::GetLastError());
      }
    }
    {
      // Withdrawn before it is closed: no control signals a closed handle.
      std::lock_guard<std::mutex> lock(statusLock);
      stopEvent = nullptr;
    }
    event.Close();
  }
  TMSvcInternalStatusReportToScm(win::SERVICE_STOPPED, 0, 0);
}

int TMSvcMain() {
  // Before anything can load a library: a load that names no directories of
  // its own searches the system directory only.
  bool dllSearchSet = win::SetDefaultDllDirectories(win::LOAD_LIBRARY_SEARCH_SYSTEM32) != win::FALSE;
  win::DWORD dllSearchError = dllSearchSet ? 0 : win::GetLastError();
  {
    // The state of a fresh process (the tests run the service more than once).
    std::lock_guard<std::mutex> lock(statusLock);
    statusHandle = nullptr;
    status = win::SERVICE_STATUS{};
    stopEvent = nullptr;
    stopRequested = false;
  }
  // "\n" plus the trace's own line feed, kept on purpose: the line has always ended in two.
  TMSvcTrace(TMSVC_TRACE_ENTRY, u">>> main\n");
  if (!dllSearchSet) TMSvcTrace(TMSVC_TRACE_ERROR, u"main SetDefaultDllDirectories failed! %d", dllSearchError);
  static std::u16string name = kTMSvcServiceName;  // the table takes a writable name
  const win::SERVICE_TABLE_ENTRYW table[] = {{name.data(), TMSvcServiceMain}, {nullptr, nullptr}};
  if (!win::StartServiceCtrlDispatcherW(table)) {
    TMSvcTrace(TMSVC_TRACE_ERROR, u"main StartServiceCtrlDispatcher failed! %d", win::GetLastError());
  }
  return 0;
}
