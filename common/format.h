// Type-checked formatting of the programs' trace texts.
//
// The trace texts follow the Windows wide printf conventions: %s a wide
// (UTF-16) string, %S a narrow string, %d and %ld a signed 32-bit number,
// %u an unsigned one, %x an unsigned one in lower-case hexadecimal, %% a
// percent sign. Nothing else (no width, flags or precision) is used.
//
// Format() checks a literal format against its arguments at compile time:
// a wrong count or type of argument does not compile. The bytes produced are
// the same on every platform, because no C library printf is involved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace text {

// One argument, reduced to what a directive can print.
struct Arg {
  enum class Kind : std::uint8_t { Wide, Narrow, Number };
  Kind kind = Kind::Number;
  bool null = false;  // a null string pointer, printed as "(null)"
  std::u16string_view wide;
  std::string_view narrow;
  std::uint32_t number = 0;  // 32 bits, read as signed or unsigned by the directive
};

// Formats at run time. Never reads past `fmt` or `args`: a directive without
// an argument prints nothing, an argument of the wrong kind prints "(?)", and
// an unknown directive is copied as it stands.
void FormatTo(std::u16string& out, std::u16string_view fmt, const Arg* args, std::size_t count);

namespace detail {

enum class Class { Wide, Narrow, Number, Invalid };

template <class T>
consteval Class ClassOf() {
  using U = std::remove_cvref_t<std::decay_t<T>>;
  if constexpr (std::is_same_v<U, char16_t*> || std::is_same_v<U, const char16_t*> ||
                std::is_same_v<U, std::u16string> || std::is_same_v<U, std::u16string_view>) {
    return Class::Wide;
  } else if constexpr (std::is_same_v<U, char*> || std::is_same_v<U, const char*> || std::is_same_v<U, std::string> ||
                       std::is_same_v<U, std::string_view>) {
    return Class::Narrow;
  } else if constexpr (std::is_integral_v<U> && !std::is_same_v<U, bool> && !std::is_same_v<U, char> &&
                       !std::is_same_v<U, char16_t> && !std::is_same_v<U, char32_t> && !std::is_same_v<U, wchar_t> &&
                       sizeof(U) <= 4) {
    return Class::Number;
  } else {
    return Class::Invalid;
  }
}

// Called only when a check fails; not being constexpr, it stops compilation.
void FormatDoesNotMatchItsArguments();

// The class each directive of `fmt` expects, in order; false for an unknown directive.
consteval bool Directives(std::u16string_view fmt, Class* out, std::size_t& count) {
  count = 0;
  for (std::size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != u'%') continue;
    if (++i >= fmt.size()) return false;
    char16_t c = fmt[i];
    if (c == u'l') {
      if (++i >= fmt.size() || fmt[i] != u'd') return false;
      c = u'd';
    }
    switch (c) {
      case u'%':
        break;
      case u's':
        out[count++] = Class::Wide;
        break;
      case u'S':
        out[count++] = Class::Narrow;
        break;
      case u'd':
      case u'u':
      case u'x':
        out[count++] = Class::Number;
        break;
      default:
        return false;
    }
    if (count == 16) return false;
  }
  return true;
}

}  // namespace detail

// A literal format checked against the argument types Args.
template <class... Args>
struct FormatString {
  std::u16string_view text;

  template <std::size_t N>
  consteval FormatString(const char16_t (&s)[N]) : text(s, N - 1) {
    detail::Class want[16] = {};
    std::size_t count = 0;
    if (!detail::Directives(text, want, count)) detail::FormatDoesNotMatchItsArguments();
    constexpr detail::Class have[] = {detail::ClassOf<Args>()..., detail::Class::Invalid};
    if (count != sizeof...(Args)) detail::FormatDoesNotMatchItsArguments();
    for (std::size_t i = 0; i < count; ++i) {
      if (want[i] != have[i]) detail::FormatDoesNotMatchItsArguments();
    }
  }
};

template <class T>
Arg MakeArg(const T& v) {
  Arg a;
  if constexpr (detail::ClassOf<T>() == detail::Class::Wide) {
    a.kind = Arg::Kind::Wide;
    if constexpr (std::is_pointer_v<std::remove_cvref_t<T>>) {
      if (v == nullptr) {
        a.null = true;
      } else {
        a.wide = std::u16string_view(v);
      }
    } else {
      a.wide = std::u16string_view(v);
    }
  } else if constexpr (detail::ClassOf<T>() == detail::Class::Narrow) {
    a.kind = Arg::Kind::Narrow;
    if constexpr (std::is_pointer_v<std::remove_cvref_t<T>>) {
      if (v == nullptr) {
        a.null = true;
      } else {
        a.narrow = std::string_view(v);
      }
    } else {
      a.narrow = std::string_view(v);
    }
  } else {
    static_assert(detail::ClassOf<T>() == detail::Class::Number, "argument type cannot be formatted");
    a.kind = Arg::Kind::Number;
    a.number = static_cast<std::uint32_t>(v);
  }
  return a;
}

template <class... Args>
std::u16string Format(FormatString<std::type_identity_t<Args>...> fmt, const Args&... args) {
  std::u16string out;
  if constexpr (sizeof...(Args) == 0) {
    FormatTo(out, fmt.text, nullptr, 0);
  } else {
    const Arg list[] = {MakeArg(args)...};
    FormatTo(out, fmt.text, list, sizeof...(Args));
  }
  return out;
}

}  // namespace text
