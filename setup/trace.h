// The setup tool's trace: every message goes to the log file
// "TovMouseSetup.log" in the current directory and, when its level shares a
// bit with the trace mask, to the debugger output with the prefix "RVSET: ".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/format.h"

using TraceLevel = std::uint32_t;

constexpr TraceLevel TRACE_ERROR = 0x00010000;
constexpr TraceLevel TRACE_FUNCTION = 0x00020000;
constexpr TraceLevel TRACE_INVOCATION = 0x00040000;
constexpr TraceLevel TRACE_DIFXAPI = 0x00080000;
constexpr TraceLevel TRACE_SETUPAPI = 0x00100000;
constexpr TraceLevel TRACE_SCMAPI = 0x00200000;
constexpr TraceLevel TRACE_VERBOSE = 0x00800000;
// The levels that reach the debugger output unless told otherwise.
constexpr TraceLevel TRACE_DEFAULT_MASK =
    TRACE_ERROR | TRACE_INVOCATION | TRACE_DIFXAPI | TRACE_SETUPAPI | TRACE_VERBOSE;

// The levels that reach the debugger output; set once at start.
extern TraceLevel TraceMask;

// Adds the default levels to the mask.
void TraceMaskInit();

// Starts the log file afresh for a run: a file that failed the last run is
// tried again, and the run's short allowance for waiting on it is whole.
void TraceLogReset();

// Writes one finished message: appended to the log file, and to the debugger
// output when `level` shares a bit with the mask.
void TraceWrite(TraceLevel level, std::u16string_view message);

// Formats and writes one message. The format is checked against the arguments
// at compile time; a ready text is written with the format u"%s".
template <class... Args>
void TracePrint(TraceLevel level, text::FormatString<std::type_identity_t<Args>...> format, const Args&... args) {
  TraceWrite(level, text::Format<Args...>(format, args...));
}

// The code in signed decimal, followed by the system's message for it in
// parentheses when there is one.
std::u16string ErrorCodeText(std::uint32_t code);

// Traces the symbolic name of a few codes, "<Unknown Error>" for the rest.
void TraceErrorName(TraceLevel level, std::uint32_t code);

// The bytes a message takes in the log file: one byte per UTF-16 unit below
// 256, "?" for every other unit, CR LF for each line feed.
std::string LogEncode(std::u16string_view message);

// The name of the log file, relative to the current directory.
inline constexpr char16_t kLogFileName[] = u"TovMouseSetup.log";

// Capacity, terminator included, of the buffer that a debugger line's
// message is formatted into; longer messages are cut on the debugger output.
inline constexpr std::size_t kDebugBufferChars = 4096;
