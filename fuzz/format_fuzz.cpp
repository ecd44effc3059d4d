// Fuzzes the run-time formatter with any format text and argument list.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // First byte: how many arguments; then the arguments' kinds and values from
  // the bytes that follow; the rest is the format as UTF-16.
  std::size_t count = data[0] % 8;
  std::size_t pos = 1;
  std::vector<text::Arg> args;
  std::u16string wide = u"wide text";
  std::string narrow = "narrow text";
  for (std::size_t i = 0; i < count && pos + 4 < size; ++i, pos += 5) {
    text::Arg a;
    switch (data[pos] % 4) {
      case 0:
        a = text::MakeArg(wide);
        break;
      case 1:
        a = text::MakeArg(narrow);
        break;
      case 2:
        a = text::MakeArg(static_cast<const char16_t*>(nullptr));
        break;
      default:
        a = text::MakeArg(static_cast<std::uint32_t>(data[pos + 1] | data[pos + 2] << 8 | data[pos + 3] << 16 |
                                                     static_cast<std::uint32_t>(data[pos + 4]) << 24));
        break;
    }
    args.push_back(a);
  }
  std::u16string format;
  for (; pos + 1 < size; pos += 2) format.push_back(static_cast<char16_t>(data[pos] | (data[pos + 1] << 8)));
  std::u16string out;
  text::FormatTo(out, format, args.data(), args.size());
  return 0;
}
