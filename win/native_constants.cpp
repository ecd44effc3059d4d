// Every constant of the seam compared with Windows' own headers, at compile
// time: a wrong value in win/constants.inc would otherwise pass every unit
// test, since the simulator reads the same wrong value.
//
// The seam's values are taken first, under names of their own; <windows.h>
// then turns the published names into its macros, and each row of the list
// is compared with the value of its name. A name that Windows' headers lack
// does not compile: it belongs to the list's exceptions. An exception whose
// name Windows' headers define does not compile either: it is compared.
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "win/api.h"

#define TOV_CONSTANT(type, name, ...) constexpr auto seam_##name = win::name;
#define TOV_HANDLE(name, value) constexpr std::intptr_t seam_##name = value;
#define TOV_PUBLISHED(type, name, ...)
#include "win/constants.inc"
#undef TOV_CONSTANT
#undef TOV_HANDLE
#undef TOV_PUBLISHED

// clang-format off
#include <windows.h>
// clang-format on
#include <cfgmgr32.h>
#include <dbt.h>
#include <setupapi.h>
#include <shellapi.h>

// The GUIDs of a header as constants that can be compared at compile time
// (DEFINE_GUID declares extern objects otherwise). A header included before
// this point would leave its GUIDs undefined here, which fails the build.
#undef DEFINE_GUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  constexpr ::GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}};
#include <ntddmou.h>

namespace {

// True when Windows' value, converted to the seam's type, is the seam's and
// survives the conversion back (no bits lost); a GUID compares every byte.
template <class Ours, class Theirs>
constexpr bool Same(const Ours& ours, const Theirs& theirs) {
  if constexpr (std::is_same_v<Ours, win::GUID>) {
    bool same = ours.Data1 == theirs.Data1 && ours.Data2 == theirs.Data2 && ours.Data3 == theirs.Data3;
    for (int i = 0; i < 8; ++i) same = same && ours.Data4[i] == theirs.Data4[i];
    return same;
  } else {
    return ours == static_cast<Ours>(theirs) && static_cast<Theirs>(static_cast<Ours>(theirs)) == theirs;
  }
}

}  // namespace

// A handle value is Windows' expression, ((HANDLE)(LONG_PTR)-1), read with
// HANDLE and LONG_PTR as integers, which makes it a constant expression.
namespace handle_values {
using HANDLE = std::intptr_t;
using LONG_PTR = std::intptr_t;
}  // namespace handle_values

// An exception's name must be unknown to Windows' headers: as a macro it
// would expand (the texts differ); as an enumerator, variable or function of
// the global namespace it makes the name ambiguous beside published::name.
#define TOV_TEXT(...) #__VA_ARGS__
#define TOV_CONSTANT(type, name, ...) static_assert(Same(seam_##name, name), #name " differs from Windows' value");
#define TOV_HANDLE(name, value)                                               \
  namespace handle_values {                                                   \
  static_assert(seam_##name == (name), #name " differs from Windows' value"); \
  }
#define TOV_PUBLISHED(type, name, ...)                                                                           \
  static_assert(std::string_view(#name) == TOV_TEXT(name), #name " is a macro of Windows' headers: compare it"); \
  namespace published {                                                                                          \
  inline constexpr bool name = true;                                                                             \
  }                                                                                                              \
  using namespace published;                                                                                     \
  static_assert(name, #name " is declared by Windows' headers: compare it");
#include "win/constants.inc"
#undef TOV_CONSTANT
#undef TOV_HANDLE
#undef TOV_PUBLISHED
