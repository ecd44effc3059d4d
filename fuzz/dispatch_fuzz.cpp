// Fuzzes the setup tool's whole run (argument splitting, command choice and
// the operations behind it) against a fresh simulated machine per input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "setup/main.h"
#include "sim/machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The input is the argument as UTF-16 (little-endian pairs of bytes).
  std::u16string argument;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (c == 0) break;  // the argument ends at its first null, as it does on Windows
    argument.push_back(c);
  }
  sim::Reset();
  TMSCAMain(argument.data());
  return 0;
}
