// The simulated Windows machine behind win/api.h in the Linux builds.
//
// A test builds a machine (sim::Reset), arranges it through the public
// members, runs the programs' code, and looks at what a user of the real
// system would see. Each area keeps its calls' bookkeeping apart, in a member
// `internal` that tests neither arrange nor read. Every recorded call starts
// with SIM_CALL: it is recorded and can be made to fail on its n-th use, by
// Windows' conventions (return value plus GetLastError, or a returned code).
// What the programs never ask for is not modelled and stops the run. The
// calls are in sim/*.cpp, one topic a file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/wstr.h"
#include "sim/devices.h"
#include "sim/service.h"
#include "sim/store.h"
#include "win/api.h"

namespace sim {

// The first element of `range` whose `key` is `name`, compared without ASCII
// case; null when there is none.
template <class Range, class Key = std::identity>
auto* FindNamed(Range&& range, std::u16string_view name, Key key = {}) {
  auto it = std::find_if(std::begin(range), std::end(range),
                         [&](auto& e) { return wstr::EqualsAsciiNoCase(std::invoke(key, e), name); });
  return it == std::end(range) ? nullptr : &*it;
}

// Kinds of handle the machine hands out; every open one is counted.
enum class HandleKind {
  File,
  Find,
  Event,
  Process,
  Module,
  DeviceInfoSet,
  RegistryKey,
  ScManager,
  Service,
  DeviceNotification
};

class Handles {
 public:
  // A fresh handle value of `kind`; never null or INVALID_HANDLE_VALUE.
  win::HANDLE Open(HandleKind kind) {
    return open_.emplace(reinterpret_cast<win::HANDLE>(next_ += 8), kind).first->first;
  }
  // True when `h` was open as a `kind`; it is closed now.
  bool Close(win::HANDLE h, HandleKind kind) {
    auto it = open_.find(h);
    return it != open_.end() && it->second == kind && (open_.erase(it), true);
  }
  std::size_t Count(HandleKind kind) const {
    return std::count_if(open_.begin(), open_.end(), [&](auto& o) { return o.second == kind; });
  }
  std::size_t CountAll() const { return open_.size(); }

 private:
  std::uintptr_t next_ = 0x1000;
  std::map<win::HANDLE, HandleKind> open_;
};

// One file of the simulated file system. Directories are implicit in paths,
// except those listed as unwritable.
struct File {
  std::u16string path;  // full path, as created (the case is kept)
  std::string data{};
  win::DWORD deleteError = 0;  // DeleteFileW fails with this when non-zero
  // FILE_ATTRIBUTE_DIRECTORY: a directory, which opens only with
  // FILE_FLAG_BACKUP_SEMANTICS. FILE_ATTRIBUTE_REPARSE_POINT: a symbolic link,
  // never followed: the programs open the name itself.
  win::DWORD attributes = 0;
  win::DWORD links = 1;  // its names; more than one: a hard link to a file elsewhere
};

class FileSystem {
 public:
  // Full path of `name`: relative names are taken from `currentDirectory`.
  static std::u16string Resolve(std::u16string_view name, std::u16string_view currentDirectory);
  static std::u16string DirectoryOf(std::u16string_view path);
  static std::u16string NameOf(std::u16string_view path);

  File* Find(std::u16string_view fullPath);
  File& Put(std::u16string_view fullPath, std::string data = {});
  bool Remove(std::u16string_view fullPath);
  bool Exists(std::u16string_view fullPath) { return Find(fullPath) != nullptr; }
  // The names of the files directly in `directory` that match `pattern`,
  // which has one "*" (case-insensitive), in creation order.
  std::vector<std::u16string> List(std::u16string_view directory, std::u16string_view pattern);
  bool IsWritableDirectory(std::u16string_view directory) const;

  // Directories in which no file can be created, written or deleted.
  std::vector<std::u16string> unwritableDirectories;
  std::vector<File> files;  // creation order: the order of a directory search
};

// A library file that LoadLibraryExW can find, with its exports.
struct Library {
  std::u16string path;  // full path
  std::map<std::string, win::FARPROC> exports;
};

// A function of the simulator as GetProcAddress hands it out.
template <class Function>
win::FARPROC AsExport(Function* f) {
  return reinterpret_cast<win::FARPROC>(reinterpret_cast<void (*)()>(f));
}

struct MessageBoxShown {
  std::u16string text, caption;
  win::UINT type = 0;
  win::HWND owner = nullptr;
};

struct Fault {
  std::string call;  // the call's published name, e.g. "SetupDiEnumDeviceInfo"
  unsigned nth = 1;  // 1 for its first use in the run, 2 for the second...; 0 for every use
  win::DWORD error = win::ERROR_GEN_FAILURE;
};

struct Machine {
  std::recursive_mutex mutex;  // serialises the threads of a test

  // --- Arranged by tests -----------------------------------------------------
  std::vector<Fault> faults;
  void FailCall(std::string call, unsigned nth, win::DWORD error);  // the n-th use of `call` fails with `error`
  FileSystem fs;
  // Locks on files, by ASCII-folded full path: the handle that holds each
  // (a test may hold one for another process, with any value).
  std::map<std::u16string, win::HANDLE> fileLocks;
  std::u16string currentDirectory = u"C:\\Users\\Setup";
  std::u16string windowsDirectory = u"C:\\Windows";
  std::u16string systemDirectory = u"C:\\Windows\\System32";
  std::u16string modulePath = u"C:\\Program Files\\Tov Mouse\\TovMouseSetupCustomAction.exe";
  std::vector<Library> libraries;  // loadable libraries
  win::SYSTEMTIME localTime{2026, 12, 0, 6, 9, 5, 7, 0};
  std::map<win::DWORD, std::u16string> systemMessages = {  // what FormatMessageW knows, by code
      {2, u"The system cannot find the file specified.\r\n"},
      {5, u"Access is denied.\r\n"}};
  // The process's session (0: services, deferred custom actions) and whether
  // its window station is visible (WinSta0's is, even in session 0).
  win::DWORD sessionId = 1;
  bool stationVisible = true;

  // --- Seen by tests ---------------------------------------------------------
  std::vector<std::string> calls;  // recorded calls, in order
  std::map<std::string, unsigned> callCounts;
  Handles handles;
  std::vector<std::u16string> debugOutput;   // every OutputDebugStringW string, in order
  std::vector<std::u16string> libraryLoads;  // paths of the libraries loaded, in order
  std::vector<std::pair<win::DEVINST, win::ULONG>> reenumerations;
  std::vector<MessageBoxShown> messageBoxes;
  // SetDefaultDllDirectories's last flags (LoadLibraryExW ignores them).
  win::DWORD defaultDllDirectories = 0;
  std::vector<win::DWORD> sleeps;  // milliseconds of each Sleep; nobody really sleeps
  std::uint64_t tickMs = 0;        // the clock: it moves only by Sleep and waits that time out
  // The log file's bytes in the current directory, if it exists.
  std::optional<std::string> LogBytes(std::u16string_view name = u"TovMouseSetup.log");

  // --- The areas --------------------------------------------------------------
  Devices devices;
  Store store;
  Services services;

  // --- The calls' bookkeeping -------------------------------------------------
  struct Internal {
    struct OpenFile {
      std::u16string path;
      std::uint64_t position = 0;
    };
    std::map<win::HANDLE, OpenFile> openFiles;
    std::map<win::HANDLE, std::vector<std::u16string>> searches;  // names still to be found
    std::map<win::HANDLE, std::size_t> loadedLibraries;           // module handle -> index in libraries
  };
  Internal internal;
  // The file open under `h` and its open state; nulls with the error set.
  std::pair<File*, Internal::OpenFile*> FileOf(win::HANDLE h);
};

// The current machine. Reset() replaces it with a fresh one.
Machine& M();
void Reset();
void SetError(win::DWORD error);  // the calling thread's last error

// Records the call `name`, applies fault injection (setting the last error)
// and the service area's hook, then holds the machine's lock.
struct Call {
  explicit Call(const char* name);
  std::optional<win::DWORD> fault;
  std::unique_lock<std::recursive_mutex> lock;
};

// The prologue of a call named as its function: returns `failed` when a fault
// is injected; then `call` is its Call and `m` the machine. What the call
// models may follow, as SIM_ONLY's arguments.
#define SIM_CALL(failed, ...)        \
  sim::Call call(__func__);          \
  if (call.fault) return failed;     \
  __VA_OPT__(SIM_ONLY(__VA_ARGS__);) \
  [[maybe_unused]] sim::Machine& m = sim::M()

// Stops the test run: `call` was asked for `what`, which the machine does not
// model because the programs never ask for it.
[[noreturn]] void Unmodelled(const char* call, const char* what);

// In a call: stops the run unless `modelled` holds; `what` is what else was asked for.
#define SIM_ONLY(modelled, what) \
  if (!(modelled)) sim::Unmodelled(__func__, what)

}  // namespace sim
