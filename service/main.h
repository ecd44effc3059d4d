// The device-arrival service: process entry, service main, control handler,
// status reports and the service's own trace on the debugger output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/format.h"
#include "win/api.h"

// Trace levels of the service; a message is written when its level shares a
// bit with TMSVC_TRACE_OUTPUT_MASK.
using TMSvcTraceLevel = std::uint32_t;
constexpr TMSvcTraceLevel TMSVC_TRACE_ERROR = 0x0100;
constexpr TMSvcTraceLevel TMSVC_TRACE_ENTRY = 0x0200;
constexpr TMSvcTraceLevel TMSVC_TRACE_DEVICE_EVENT = 0x8000;
constexpr TMSvcTraceLevel TMSVC_TRACE_OUTPUT_MASK = 0xff00;

// The name in the dispatch table and in the handler registration.
inline constexpr char16_t kTMSvcServiceName[] = u"TovMouseService";

// Capacity, terminator included, of a debugger line: prefix, message, line end.
inline constexpr std::size_t kTMSvcTraceBufferChars = 4096;

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

// The status handle of the handler registration (null before it).
win::SERVICE_STATUS_HANDLE TMSvcInternalStatusHandle();

// Writes one finished message to the debugger output: "TMSvc: ", the message
// and a line feed, cut to the line's buffer.
void TMSvcTraceWrite(std::u16string_view message);

// Formats and writes one message when `level` is inside the output mask. The
// format is checked against the arguments at compile time.
template <class... Args>
void TMSvcTrace(TMSvcTraceLevel level, text::FormatString<std::type_identity_t<Args>...> format, const Args&... args) {
  if ((level & TMSVC_TRACE_OUTPUT_MASK) == 0) return;
  TMSvcTraceWrite(text::Format<Args...>(format, args...));
}
