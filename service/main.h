// The device-arrival service: process entry, service main, control handler
// and status reports.
#pragma once

#include "service/trace.h"
#include "win/api.h"

// The name in the dispatch table and in the handler registration.
inline constexpr char16_t kTMSvcServiceName[] = u"TovMouseService";

// The process entry's work: hands the process to the service control
// manager and returns 0 when it gives it back (or refuses it).
int TMSvcMain();

// The service main, run by the dispatcher on a thread of its own: registers
// the handler and the device notification, reports the start, waits for the
// stop request and reports SERVICE_STOPPED.
void TOV_WINAPI TMSvcServiceMain(win::DWORD argc, win::LPWSTR* argv);

// The control handler, called on the process's main thread, one control at a time.
win::DWORD TOV_WINAPI TMSvcControlHandlerEx(win::DWORD control, win::DWORD eventType, win::LPVOID eventData,
                                            win::LPVOID context);

// Reports `state` to the service control manager. The controls accepted
// follow from the state; a failed report is traced and ends the service.
win::BOOL TMSvcInternalStatusReportToScm(win::DWORD state, win::DWORD checkPoint, win::DWORD waitHint);
