// Fuzzes the log file encoding and the trace routine that writes it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "setup/trace.h"
#include "sim/machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string message;
  for (std::size_t i = 0; i + 1 < size; i += 2) message.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  std::string bytes = LogEncode(message);
  // Every unit is one byte, every line feed two.
  std::size_t lineFeeds = 0;
  for (char16_t c : message) lineFeeds += (c == u'\n');
  if (bytes.size() != message.size() + lineFeeds) __builtin_trap();
  sim::Reset();
  TraceMask = TRACE_DEFAULT_MASK;
  TraceWrite(TRACE_ERROR, message);
  if (sim::M().LogBytes().value_or("") != bytes) __builtin_trap();
  return 0;
}
