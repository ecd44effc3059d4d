// The device-arrival service's own trace: one line per message on the
// debugger output, "TMSvc: " and the message, for the levels inside the
// output mask.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/format.h"

// Trace levels of the service; a message is written when its level shares a
// bit with TMSVC_TRACE_OUTPUT_MASK.
using TMSvcTraceLevel = std::uint32_t;
constexpr TMSvcTraceLevel TMSVC_TRACE_ERROR = 0x0100;
constexpr TMSvcTraceLevel TMSVC_TRACE_ENTRY = 0x0200;
constexpr TMSvcTraceLevel TMSVC_TRACE_DEVICE_EVENT = 0x8000;
constexpr TMSvcTraceLevel TMSVC_TRACE_OUTPUT_MASK = 0xff00;

// Capacity, terminator included, of a debugger line: prefix, message, line end.
inline constexpr std::size_t kTMSvcTraceBufferChars = 4096;

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
