// What the forwarding files win/native*.cpp share; include it after
// <windows.h>, and nowhere else.
#pragma once

#include <cstddef>

// Our declaration of a structure has Windows' layout: same size, alignment
// and field offsets, so a pointer to one can be passed as the other.
#define TOV_SAME_LAYOUT(ours, theirs)                                  \
  static_assert(sizeof(win::ours) == sizeof(::theirs), #ours " size"); \
  static_assert(alignof(win::ours) == alignof(::theirs), #ours " alignment")
#define TOV_SAME_OFFSET(ours, theirs, field) \
  static_assert(offsetof(win::ours, field) == offsetof(::theirs, field), #ours "." #field)

namespace native {

// UTF-16 text is the same bytes as Windows' wchar_t text.
inline wchar_t* W(char16_t* p) { return reinterpret_cast<wchar_t*>(p); }
inline const wchar_t* W(const char16_t* p) { return reinterpret_cast<const wchar_t*>(p); }

// Our handle and structure pointers as Windows' own.
template <class To, class From>
To As(From p) {
  return reinterpret_cast<To>(p);
}

}  // namespace native
