#include "common/wstr.h"

namespace wstr {

std::size_t Length(const char16_t* s) {
  std::size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

std::size_t BoundedLength(const char16_t* s, std::size_t capacity) {
  std::size_t n = 0;
  while (n < capacity && s[n] != 0) ++n;
  return n;
}

bool EqualsAsciiNoCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && StartsWithAsciiNoCase(a, b);
}

bool StartsWithAsciiNoCase(std::u16string_view text, std::u16string_view prefix) {
  if (prefix.size() > text.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
  }
  return true;
}

void AsciiLowerInPlace(std::u16string& s) {
  for (char16_t& c : s) c = AsciiLower(c);
}

std::u16string AsciiLowered(std::u16string_view s) {
  std::u16string out(s);
  AsciiLowerInPlace(out);
  return out;
}

std::size_t CutLength(std::u16string_view text, std::size_t capacity) {
  if (text.size() <= capacity) return text.size();
  std::size_t keep = capacity;
  if (keep > 0 && text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
  return keep;
}

std::u16string Widen(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (char c : s) out.push_back(static_cast<unsigned char>(c));
  return out;
}

std::string ToUtf8(std::u16string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

bool CopyToBuffer(char16_t* buffer, std::size_t capacity, std::u16string_view src) {
  if (capacity == 0) return false;
  if (src.size() >= capacity) {
    buffer[0] = 0;
    return false;
  }
  src.copy(buffer, src.size());
  buffer[src.size()] = 0;
  return true;
}

}  // namespace wstr
