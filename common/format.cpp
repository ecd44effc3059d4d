#include "common/format.h"

namespace text {
namespace {

void AppendAscii(std::u16string& out, const char* s) {
  while (*s != '\0') out.push_back(static_cast<char16_t>(*s++));
}

void AppendDecimal(std::u16string& out, std::uint32_t magnitude, bool negative) {
  char16_t digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) out.push_back(u'-');
  while (n > 0) out.push_back(digits[--n]);
}

void AppendHex(std::u16string& out, std::uint32_t v) {
  char16_t digits[8];
  int n = 0;
  do {
    digits[n++] = u"0123456789abcdef"[v & 0xF];
    v >>= 4;
  } while (v != 0);
  while (n > 0) out.push_back(digits[--n]);
}

}  // namespace

void FormatTo(std::u16string& out, std::u16string_view fmt, const Arg* args, std::size_t count) {
  std::size_t next = 0;
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    char16_t c = fmt[i];
    if (c != u'%') {
      out.push_back(c);
      continue;
    }
    if (i + 1 >= fmt.size()) {  // a lone percent sign at the end
      out.push_back(u'%');
      continue;
    }
    std::size_t start = i;
    c = fmt[++i];
    if (c == u'l' && i + 1 < fmt.size() && fmt[i + 1] == u'd') c = fmt[++i];
    if (c == u'%') {
      out.push_back(u'%');
      continue;
    }
    if (c != u's' && c != u'S' && c != u'd' && c != u'u' && c != u'x') {
      out.append(fmt.substr(start, i - start + 1));
      continue;
    }
    if (next >= count) continue;
    const Arg& a = args[next++];
    switch (c) {
      case u's':
      case u'S':
        if (a.kind == Arg::Kind::Number) {
          AppendAscii(out, "(?)");
        } else if (a.null) {
          AppendAscii(out, "(null)");
        } else if (a.kind == Arg::Kind::Wide) {
          out.append(a.wide);
        } else {
          for (char b : a.narrow) out.push_back(static_cast<unsigned char>(b));
        }
        break;
      default:
        if (a.kind != Arg::Kind::Number) {
          AppendAscii(out, "(?)");
        } else if (c == u'd') {
          bool negative = (a.number & 0x80000000u) != 0;
          AppendDecimal(out, negative ? 0u - a.number : a.number, negative);
        } else if (c == u'u') {
          AppendDecimal(out, a.number, false);
        } else {
          AppendHex(out, a.number);
        }
        break;
    }
  }
}

}  // namespace text
