// The one writer of debugger output lines, for both programs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/wstr.h"
#include "win/api.h"

// Writes `prefix`, at most `room` units of `message` and `suffix` as one
// debugger output string. A longer message is cut, never between the two
// halves of a surrogate pair.
inline void WriteDebugLine(std::u16string_view prefix, std::u16string_view message, std::size_t room,
                           std::u16string_view suffix = {}) {
  std::u16string line(prefix);
  line.append(message.substr(0, wstr::CutLength(message, room)));
  line.append(suffix);
  win::OutputDebugStringW(line.c_str());
}
