// One owner type for every kind of handle the programs open.
//
// An owner holds one handle and closes it exactly once: when it goes out of
// scope, when it is given another handle, or when told to. So no early
// return can leak a handle. Each kind is a one-line alias naming the handle
// type, the call that closes it and the value that means "no handle".
#pragma once

#include <utility>

#include "win/api.h"

namespace win {

template <class H, bool (*CloseFn)(H), H (*NoneFn)()>
class Unique {
 public:
  Unique() = default;
  explicit Unique(H handle) : handle_(handle) {}
  ~Unique() { Close(); }
  Unique(Unique&& other) noexcept : handle_(other.Release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;

  H Get() const { return handle_; }
  bool Valid() const { return handle_ != NoneFn(); }
  explicit operator bool() const { return Valid(); }

  // Gives the handle up without closing it.
  H Release() { return std::exchange(handle_, NoneFn()); }
  // Closes the handle held, if any, and holds `handle` instead.
  void Reset(H handle = NoneFn()) {
    Close();
    handle_ = handle;
  }
  // Closes the handle held now. False only when the close call failed.
  bool Close() { return !Valid() || CloseFn(std::exchange(handle_, NoneFn())); }

 private:
  H handle_ = NoneFn();
};

namespace close {
inline bool Handle(HANDLE h) { return CloseHandle(h) != FALSE; }
inline bool Find(HANDLE h) { return FindClose(h) != FALSE; }
inline bool Module(HMODULE h) { return FreeLibrary(h) != FALSE; }
inline bool DevInfo(HDEVINFO h) { return SetupDiDestroyDeviceInfoList(h) != FALSE; }
inline bool Key(HKEY h) { return RegCloseKey(h) == static_cast<LSTATUS>(ERROR_SUCCESS); }
inline bool Service(SC_HANDLE h) { return CloseServiceHandle(h) != FALSE; }
}  // namespace close

template <class H>
H Null() {
  return nullptr;
}
template <class H>
H Invalid() {
  return reinterpret_cast<H>(INVALID_HANDLE_VALUE);
}

using UniqueHandle = Unique<HANDLE, close::Handle, Null<HANDLE>>;           // processes, events
using UniqueFile = Unique<HANDLE, close::Handle, Invalid<HANDLE>>;          // CreateFileW
using UniqueFind = Unique<HANDLE, close::Find, Invalid<HANDLE>>;            // FindFirstFileW
using UniqueModule = Unique<HMODULE, close::Module, Null<HMODULE>>;         // LoadLibraryExW
using UniqueDevInfo = Unique<HDEVINFO, close::DevInfo, Invalid<HDEVINFO>>;  // SetupDiGetClassDevsW
using UniqueKey = Unique<HKEY, close::Key, Invalid<HKEY>>;                  // SetupDiOpenDevRegKey
using UniqueScHandle = Unique<SC_HANDLE, close::Service, Null<SC_HANDLE>>;  // OpenSCManagerW, OpenServiceW

}  // namespace win
