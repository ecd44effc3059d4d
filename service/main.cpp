#include "service/main.h"

#include <string>
#include <utility>

#include "service/arrival.h"
#include "win/handle.h"

namespace {

// The service of this process while the dispatcher runs. The process entry
// owns it, so it outlives the service main and every handler call; the
// service main, which the dispatcher calls without a context, finds it here.
TMSvcService* dispatchedService = nullptr;

}  // namespace

win::BOOL TMSvcService::StatusReport(win::DWORD state, win::DWORD checkPoint, win::DWORD waitHint) {
  std::lock_guard<std::mutex> lock(lock_);
  return StatusReportLocked(state, checkPoint, waitHint);
}

win::BOOL TMSvcService::StatusReportLocked(win::DWORD state, win::DWORD checkPoint, win::DWORD waitHint) {
  // Once the service is stopping, the manager hears of nothing but the stop.
  if (stopRequested_ && state != win::SERVICE_STOP_PENDING && state != win::SERVICE_STOPPED) return win::TRUE;
  status_.dwControlsAccepted =
      state == win::SERVICE_START_PENDING ? 0 : win::SERVICE_ACCEPT_STOP | win::SERVICE_ACCEPT_PAUSE_CONTINUE;
  status_.dwCurrentState = state;
  status_.dwCheckPoint = checkPoint;
  status_.dwWaitHint = waitHint;
  status_.dwWin32ExitCode = win::NO_ERROR;
  win::BOOL ok = win::SetServiceStatus(statusHandle_, &status_);
  if (!ok) {
    TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcInternalStatusReportToScm SetServiceStatus failed! %d", win::GetLastError());
    RequestStopLocked();
  }
  return ok;
}

// Asks the service main's thread to end: signals the stop event, or, before
// it exists, leaves the request for the service main to find.
void TMSvcService::RequestStopLocked() {
  stopRequested_ = true;
  if (stopEvent_ != nullptr && !win::SetEvent(stopEvent_)) {
    TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcControlHandlerEx SetEvent failed! %d", win::GetLastError());
  }
}

win::DWORD TMSvcService::Control(win::DWORD control, win::DWORD eventType) {
  // Under the one lock, a stop and its report are one step: no report of
  // another state can come between them or after them. A stop taken up (or
  // a failed report) ends the service: a later control, an arrival among
  // them, reports nothing and asks for no run. A second STOP only signals the
  // stop again, in case the first signal failed.
  std::lock_guard<std::mutex> lock(lock_);
  if (control == win::SERVICE_CONTROL_STOP) {
    if (!stopRequested_) StatusReportLocked(win::SERVICE_STOP_PENDING, 1, kTMSvcStopWaitHintMs);
    RequestStopLocked();
    return win::NO_ERROR;
  }
  if (stopRequested_) return win::NO_ERROR;
  if (control == win::SERVICE_CONTROL_PAUSE && status_.dwCurrentState == win::SERVICE_RUNNING) {
    // PAUSE toggles: the paused state is a reported state only.
    StatusReportLocked(win::SERVICE_PAUSED, 0, 0);
    return win::NO_ERROR;
  }
  if (control == win::SERVICE_CONTROL_DEVICEEVENT && eventType == win::DBT_DEVICEARRIVAL) {
    // The run itself is the service main's work: arrivals before it starts
    // fold into it (it walks every present device), and one during a run
    // asks for one more after it.
    TMSvcTrace(TMSVC_TRACE_DEVICE_EVENT, u"SERVICE_CONTROL_DEVICEEVENT, DBT_DEVICEARRIVAL");
    runWanted_ = true;
    if (wakeEvent_ != nullptr && !win::SetEvent(wakeEvent_)) {
      TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcControlHandlerEx SetEvent failed! %d", win::GetLastError());
    }
  }
  StatusReportLocked(win::SERVICE_RUNNING, 0, 0);
  return win::NO_ERROR;
}

void TMSvcService::Work(win::HANDLE stop, win::HANDLE wake) {
  // While a stop waits for a run still going, each slice of the wait tells
  // the manager that the stop goes on.
  auto stopGoesOn = [this] {
    std::lock_guard<std::mutex> lock(lock_);
    StatusReportLocked(win::SERVICE_STOP_PENDING, status_.dwCheckPoint + 1, kTMSvcStopWaitHintMs);
  };
  const win::HANDLE wakers[] = {stop, wake};
  for (;;) {
    bool run = false;
    {
      std::lock_guard<std::mutex> lock(lock_);
      if (stopRequested_) return;
      run = std::exchange(runWanted_, false);
    }
    if (run) {
      TMSvcNotificationDeviceInterfaceArrival(stop, stopGoesOn);
    } else if (win::WaitForMultipleObjects(2, wakers, win::FALSE, win::INFINITE) == win::WAIT_FAILED) {
      TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcServiceMain WaitForMultipleObjects failed! %d", win::GetLastError());
      return;
    }
  }
}

void TMSvcService::Main() {
  // "\n" plus the trace's own line feed, kept on purpose: the line has always ended in two.
  TMSvcTrace(TMSVC_TRACE_ENTRY, u">>> TMSvcServiceMain\n");
  win::SERVICE_STATUS_HANDLE handle =
      win::RegisterServiceCtrlHandlerExW(kTMSvcServiceName, TMSvcControlHandlerEx, this);
  if (handle == nullptr) {
    TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcServiceMain RegisterServiceCtrlHandlerEx failed! %d", win::GetLastError());
    return;  // without a status handle nothing can be reported
  }
  {
    std::lock_guard<std::mutex> lock(lock_);
    statusHandle_ = handle;
    status_.dwServiceType = win::SERVICE_WIN32_OWN_PROCESS;
    status_.dwServiceSpecificExitCode = 0;
  }
  TMSvcNotificationDeviceRegister(handle);

  if (!StatusReport(win::SERVICE_START_PENDING, 1, 3000)) {
    TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcServiceMain TMSvcInternalStatusReportToScm failed!");
  } else if (win::UniqueHandle stop(win::CreateEventW(nullptr, win::TRUE, win::FALSE, nullptr)); !stop) {
    TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcServiceMain CreateEvent failed! %d", win::GetLastError());
  } else if (win::UniqueHandle wake(win::CreateEventW(nullptr, win::FALSE, win::FALSE, nullptr)); !wake) {
    TMSvcTrace(TMSVC_TRACE_ERROR, u"TMSvcServiceMain CreateEvent failed! %d", win::GetLastError());
  } else {
    {
      // A stop asked for while the start was pending is kept in stopRequested_.
      std::lock_guard<std::mutex> lock(lock_);
      stopEvent_ = stop.Get();
      wakeEvent_ = wake.Get();
    }
    if (StatusReport(win::SERVICE_RUNNING, 0, 0)) Work(stop.Get(), wake.Get());
    // Withdrawn before they are closed: no control signals a closed handle.
    std::lock_guard<std::mutex> lock(lock_);
    stopEvent_ = wakeEvent_ = nullptr;
  }
  // However the work ended, the service is stopping now: a control still
  // coming reports nothing.
  std::lock_guard<std::mutex> lock(lock_);
  stopRequested_ = true;
  StatusReportLocked(win::SERVICE_STOPPED, 0, 0);
}

win::DWORD TOV_WINAPI TMSvcControlHandlerEx(win::DWORD control, win::DWORD eventType, win::LPVOID,
                                            win::LPVOID context) {
  return static_cast<TMSvcService*>(context)->Control(control, eventType);
}

void TOV_WINAPI TMSvcServiceMain(win::DWORD, win::LPWSTR*) {
  if (dispatchedService != nullptr) dispatchedService->Main();
}

int TMSvcMain() {
  // Before anything can load a library: a load that names no directories of
  // its own searches the system directory only.
  bool dllSearchSet = win::SetDefaultDllDirectories(win::LOAD_LIBRARY_SEARCH_SYSTEM32) != win::FALSE;
  win::DWORD dllSearchError = dllSearchSet ? 0 : win::GetLastError();
  TMSvcService service;
  dispatchedService = &service;
  // "\n" plus the trace's own line feed, kept on purpose: the line has always ended in two.
  TMSvcTrace(TMSVC_TRACE_ENTRY, u">>> main\n");
  if (!dllSearchSet) TMSvcTrace(TMSVC_TRACE_ERROR, u"main SetDefaultDllDirectories failed! %d", dllSearchError);
  static std::u16string name = kTMSvcServiceName;  // the table takes a writable name
  const win::SERVICE_TABLE_ENTRYW table[] = {{name.data(), TMSvcServiceMain}, {nullptr, nullptr}};
  if (!win::StartServiceCtrlDispatcherW(table)) {
    TMSvcTrace(TMSVC_TRACE_ERROR, u"main StartServiceCtrlDispatcher failed! %d", win::GetLastError());
  }
  dispatchedService = nullptr;
  return 0;
}
