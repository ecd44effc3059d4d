// Calls resolved at run time: a table binding each export's published name
// to the typed function pointer it fills.
#pragma once

#include <initializer_list>
#include <type_traits>

#include "win/api.h"

namespace win {

// One entry of an export table.
struct Export {
  template <class Fn>
  Export(const char* exportName, Fn& slot)
      : name(exportName), target(&slot), assign([](void* to, FARPROC proc) {
          // The detour through void (*)() is the conversion that compilers
          // accept between unrelated function types without a warning.
          *static_cast<Fn*>(to) = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
        }) {
    static_assert(std::is_function_v<std::remove_pointer_t<Fn>>, "an export fills a function pointer");
  }
  const char* name;
  void* target;
  void (*assign)(void* to, FARPROC proc);
};

// Looks every export of `table` up in `module` and fills its pointer. For
// each one that is missing, `missing(name, error)` is called with the error
// of GetProcAddress and its pointer is left as it was. True when none was
// missing.
template <class OnMissing>
bool GetProcAddresses(HMODULE module, std::initializer_list<Export> table, OnMissing missing) {
  bool complete = true;
  for (const Export& e : table) {
    if (FARPROC proc = GetProcAddress(module, e.name); proc != nullptr) {
      e.assign(e.target, proc);
    } else {
      missing(e.name, GetLastError());
      complete = false;
    }
  }
  return complete;
}

}  // namespace win
