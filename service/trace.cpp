#include "service/trace.h"

#include "common/debugline.h"

void TMSvcTraceWrite(std::u16string_view message) {
  static constexpr std::u16string_view kPrefix = u"TMSvc: ";
  // Prefix, message, line feed and terminator fit the line's buffer.
  WriteDebugLine(kPrefix, message, kTMSvcTraceBufferChars - kPrefix.size() - 2, u"\n");
}
