// The device-arrival service: process entry, service main, control handler
// and status reports.
#pragma once

#include <mutex>

#include "service/trace.h"
#include "win/api.h"

// The name in the dispatch table and in the handler registration.
inline constexpr char16_t kTMSvcServiceName[] = u"TovMouseService";

// The wait hint of every SERVICE_STOP_PENDING report: the next report, or
// SERVICE_STOPPED, comes well within it.
inline constexpr win::DWORD kTMSvcStopWaitHintMs = 3000;

// The process entry's work: hands the process to the service control manager
// and returns 0 when it gives it back (or refuses it).
int TMSvcMain();

// The service main, run by the dispatcher on a thread of its own: the work of
// the process entry's TMSvcService.
void TOV_WINAPI TMSvcServiceMain(win::DWORD argc, win::LPWSTR* argv);

// The control handler, called on the dispatcher's thread, one control at a
// time, with the TMSvcService as its context.
win::DWORD TOV_WINAPI TMSvcControlHandlerEx(win::DWORD control, win::DWORD eventType, win::LPVOID eventData,
                                            win::LPVOID context);

// One run of the service: its status, its events and what its handler has
// asked for. The handler, on the dispatcher's thread, only records a request
// and wakes the service main's thread, which does the work: one setup tool
// run at a time, and the stop. One lock guards every field, and keeps each
// status report whole and in order with the requests; it is never held
// during a wait.
class TMSvcService {
 public:
  // Registers the handler (with this object as its context) and the device
  // notification, reports the start, runs the setup tool whenever arrivals
  // ask for it until a stop is requested, and reports SERVICE_STOPPED.
  void Main();
  // A control or device event: returns at once.
  win::DWORD Control(win::DWORD control, win::DWORD eventType);

 private:
  // Reports `state` to the service control manager, under the lock (Locked:
  // the caller holds it). The controls accepted follow from the state; a
  // failed report is traced and ends the service. Once a stop is requested,
  // nothing but the stop is reported.
  win::BOOL StatusReport(win::DWORD state, win::DWORD checkPoint, win::DWORD waitHint);
  win::BOOL StatusReportLocked(win::DWORD state, win::DWORD checkPoint, win::DWORD waitHint);
  void RequestStopLocked();
  // Runs the setup tool for each request until a stop is requested; `stop`
  // and `wake` are the two events.
  void Work(win::HANDLE stop, win::HANDLE wake);

  std::mutex lock_;
  win::SERVICE_STATUS_HANDLE statusHandle_ = nullptr;
  win::SERVICE_STATUS status_{};
  // Manual reset, signalled once, at the stop request; auto reset, signalled
  // at each arrival. Null while they do not exist.
  win::HANDLE stopEvent_ = nullptr, wakeEvent_ = nullptr;
  bool stopRequested_ = false, runWanted_ = false;
};
