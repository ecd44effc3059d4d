// What the forwarding files win/native*.cpp share; include it after
// <windows.h>, and nowhere else.
//
// Every pointer the forwarding passes between the seam's types and Windows'
// own goes through native::Win (ours to Windows') or native::Seam (back).
// They convert only between a pair of types that a TOV_SAME_* declaration
// below has made twins, and those declarations prove at compile time that
// the two have the same size, alignment and field offsets: a cast that no
// layout check covers does not compile.
#pragma once

#include <cstddef>
#include <type_traits>

namespace native {

template <class Ours>
struct Twin;  // Twin<Ours>::type: the Windows type it stands for
template <class Theirs>
struct Back;  // Back<Theirs>::type: the seam type that stands for it

// `p` as a pointer to `To`, const when `p` is.
template <class To, class From>
auto* PointerAs(From* p) {
  if constexpr (std::is_const_v<From>) {
    return reinterpret_cast<const To*>(p);
  } else {
    return reinterpret_cast<To*>(p);
  }
}

template <class T>
auto* Win(T* p) {
  return PointerAs<typename Twin<std::remove_const_t<T>>::type>(p);
}

template <class T>
auto* Seam(T* p) {
  return PointerAs<typename Back<std::remove_const_t<T>>::type>(p);
}

}  // namespace native

// Declares `ours` and `theirs` twins. Only the checking declarations below use it.
#define TOV_TWIN(ours, theirs)  \
  template <>                   \
  struct native::Twin<ours> {   \
    using type = theirs;        \
  };                            \
  template <>                   \
  struct native::Back<theirs> { \
    using type = ours;          \
  };                            \
  static_assert(sizeof(ours*) == sizeof(theirs*))

// A scalar type of the same size on both sides (UTF-16 text is the same bytes
// as Windows' wchar_t text; DWORD is 32 bits on both).
#define TOV_SAME_SCALAR(ours, theirs) \
  TOV_TWIN(ours, theirs);             \
  static_assert(sizeof(ours) == sizeof(theirs) && alignof(ours) == alignof(theirs), #ours)

// A handle type: a pointer to an opaque structure on both sides.
#define TOV_SAME_HANDLE(name) TOV_TWIN(win::name##__, ::name##__)

// A function type whose pointers are passed across (a callback, an export).
#define TOV_SAME_FUNCTION(ours, theirs) TOV_TWIN(std::remove_pointer_t<win::ours>, std::remove_pointer_t<::theirs>)

// A structure with Windows' layout: the same size and alignment, and every
// field listed at the same offset. List every field.
#define TOV_SAME_STRUCT(ours, theirs, ...)                                    \
  TOV_TWIN(win::ours, ::theirs);                                              \
  static_assert(sizeof(win::ours) == sizeof(::theirs), #ours " size");        \
  static_assert(alignof(win::ours) == alignof(::theirs), #ours " alignment"); \
  TOV_FOR_EACH(TOV_SAME_OFFSET, ours, theirs, __VA_ARGS__)

#define TOV_SAME_OFFSET(ours, theirs, field) \
  static_assert(offsetof(win::ours, field) == offsetof(::theirs, field), #ours "." #field);

// TOV_FOR_EACH(m, a, b, x1, x2 ...) is m(a, b, x1) m(a, b, x2) ..., for up to 16 items.
#define TOV_FE1(m, a, b, x) m(a, b, x)
#define TOV_FE2(m, a, b, x, ...) m(a, b, x) TOV_FE1(m, a, b, __VA_ARGS__)
#define TOV_FE3(m, a, b, x, ...) m(a, b, x) TOV_FE2(m, a, b, __VA_ARGS__)
#define TOV_FE4(m, a, b, x, ...) m(a, b, x) TOV_FE3(m, a, b, __VA_ARGS__)
#define TOV_FE5(m, a, b, x, ...) m(a, b, x) TOV_FE4(m, a, b, __VA_ARGS__)
#define TOV_FE6(m, a, b, x, ...) m(a, b, x) TOV_FE5(m, a, b, __VA_ARGS__)
#define TOV_FE7(m, a, b, x, ...) m(a, b, x) TOV_FE6(m, a, b, __VA_ARGS__)
#define TOV_FE8(m, a, b, x, ...) m(a, b, x) TOV_FE7(m, a, b, __VA_ARGS__)
#define TOV_FE9(m, a, b, x, ...) m(a, b, x) TOV_FE8(m, a, b, __VA_ARGS__)
#define TOV_FE10(m, a, b, x, ...) m(a, b, x) TOV_FE9(m, a, b, __VA_ARGS__)
#define TOV_FE11(m, a, b, x, ...) m(a, b, x) TOV_FE10(m, a, b, __VA_ARGS__)
#define TOV_FE12(m, a, b, x, ...) m(a, b, x) TOV_FE11(m, a, b, __VA_ARGS__)
#define TOV_FE13(m, a, b, x, ...) m(a, b, x) TOV_FE12(m, a, b, __VA_ARGS__)
#define TOV_FE14(m, a, b, x, ...) m(a, b, x) TOV_FE13(m, a, b, __VA_ARGS__)
#define TOV_FE15(m, a, b, x, ...) m(a, b, x) TOV_FE14(m, a, b, __VA_ARGS__)
#define TOV_FE16(m, a, b, x, ...) m(a, b, x) TOV_FE15(m, a, b, __VA_ARGS__)
#define TOV_FE_PICK(_1, _2, _3, _4, _5, _6, _7, _8, _9, _10, _11, _12, _13, _14, _15, _16, name, ...) name
#define TOV_FOR_EACH(m, a, b, ...)                                                                                 \
  TOV_FE_PICK(__VA_ARGS__, TOV_FE16, TOV_FE15, TOV_FE14, TOV_FE13, TOV_FE12, TOV_FE11, TOV_FE10, TOV_FE9, TOV_FE8, \
              TOV_FE7, TOV_FE6, TOV_FE5, TOV_FE4, TOV_FE3, TOV_FE2, TOV_FE1)                                       \
  (m, a, b, __VA_ARGS__)

// The twins every forwarding file needs.
TOV_SAME_SCALAR(char16_t, wchar_t);
TOV_SAME_SCALAR(win::DWORD, ::DWORD);
TOV_SAME_SCALAR(win::LPWSTR, ::LPWSTR);
TOV_SAME_SCALAR(win::LPCWSTR, ::LPCWSTR);
static_assert(sizeof(win::LONG) == sizeof(::LONG) && sizeof(win::BOOL) == sizeof(::BOOL));
static_assert(sizeof(win::UINT) == sizeof(::UINT) && sizeof(win::ULONG_PTR) == sizeof(::ULONG_PTR));
static_assert(sizeof(win::HANDLE) == sizeof(::HANDLE));
TOV_SAME_HANDLE(HINSTANCE);
TOV_SAME_HANDLE(HWND);
TOV_SAME_HANDLE(HKEY);
TOV_SAME_HANDLE(HWINSTA);
TOV_SAME_HANDLE(SC_HANDLE);
TOV_SAME_HANDLE(SERVICE_STATUS_HANDLE);
TOV_SAME_STRUCT(GUID, GUID, Data1, Data2, Data3, Data4);
TOV_SAME_STRUCT(SECURITY_ATTRIBUTES, SECURITY_ATTRIBUTES, nLength, lpSecurityDescriptor, bInheritHandle);
TOV_SAME_FUNCTION(FARPROC, FARPROC);
TOV_SAME_FUNCTION(LPHANDLER_FUNCTION_EX, LPHANDLER_FUNCTION_EX);
// Both sides of the service control manager pass it.
TOV_SAME_STRUCT(SERVICE_STATUS, SERVICE_STATUS, dwServiceType, dwCurrentState, dwControlsAccepted, dwWin32ExitCode,
                dwServiceSpecificExitCode, dwCheckPoint, dwWaitHint);
