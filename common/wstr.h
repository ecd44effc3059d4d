// Small UTF-16 helpers shared by both programs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace wstr {

// Folds only the ASCII letters A-Z to a-z; every other unit is kept.
constexpr char16_t AsciiLower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

// A control character (C0, DEL or C1): a line end, among others, in a viewer of a log.
constexpr bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Length of a zero-terminated UTF-16 string.
std::size_t Length(const char16_t* s);

// Length of a string in a fixed buffer: up to the first zero, at most `capacity`.
std::size_t BoundedLength(const char16_t* s, std::size_t capacity);

// Whole strings equal with only A-Z folded.
bool EqualsAsciiNoCase(std::u16string_view a, std::u16string_view b);

// `prefix` is the start of `text`, with only A-Z folded.
bool StartsWithAsciiNoCase(std::u16string_view text, std::u16string_view prefix);

// Lowers A-Z in place.
void AsciiLowerInPlace(std::u16string& s);

// A copy with A-Z lowered: a key under which names that differ only in the
// case of ASCII letters are one.
std::u16string AsciiLowered(std::u16string_view s);

// How much of `text` fits in `capacity` units without splitting a surrogate
// pair at the cut.
std::size_t CutLength(std::u16string_view text, std::size_t capacity);

// Widens ASCII / Latin-1 bytes one to one.
std::u16string Widen(std::string_view s);

// UTF-8 for diagnostics (tests, tools); unpaired surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view s);

// Copies `src` into a fixed buffer of `capacity` units, always terminating it.
// Returns false, leaving the buffer empty, when `src` does not fit.
bool CopyToBuffer(char16_t* buffer, std::size_t capacity, std::u16string_view src);

}  // namespace wstr
