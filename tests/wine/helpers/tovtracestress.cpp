// Test helper: the setup tool's own trace code, writing many lines into the
// log file of the current directory as one run of the tool, so that several
// processes can be made to trace at the same time.
//
// Usage: tovtracestress.exe <writer number> <lines>
#include <cstdlib>

#include "setup/trace.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  int writer = static_cast<int>(std::wcstol(argv[1], nullptr, 10));
  int lines = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
  for (int i = 0; i < lines; ++i) {
    TracePrint(TRACE_VERBOSE, u"writer %d line %d of %d: the quick brown fox jumps over the lazy dog\n", writer, i,
               lines);
  }
  return 0;
}
