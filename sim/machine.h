// The simulated Windows machine behind win/api.h in the Linux builds.
//
// A test builds a machine (sim::Reset), arranges its state through the public
// members below, runs code of the programs, and looks at what a user of the
// real system would see: debugger output, files, devices, packages, services.
//
// Every simulated call starts with sim::Enter("Name"): that records the call
// and applies fault injection, so each call can be made to fail on its n-th
// use with a chosen error. Failure conventions are Windows' own (return value
// plus GetLastError, or a returned code).
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/devices.h"
#include "sim/service.h"
#include "sim/store.h"
#include "win/api.h"

namespace sim {

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
  DeviceNotification,
  Thread,
};

class Handles {
 public:
  // A fresh handle value of `kind`; never null or INVALID_HANDLE_VALUE.
  win::HANDLE Open(HandleKind kind);
  // True when `h` was open (and of `kind`, when given); it is closed now.
  bool Close(win::HANDLE h, std::optional<HandleKind> kind = std::nullopt);
  bool IsOpen(win::HANDLE h, HandleKind kind) const;
  std::size_t Count(HandleKind kind) const;
  std::size_t CountAll() const;

 private:
  std::uintptr_t next_ = 0x1000;
  std::map<std::uintptr_t, HandleKind> open_;
};

// One file of the simulated file system. Directories are implicit in paths,
// except those listed as unwritable.
struct File {
  std::u16string path;  // full path, as created (the case is kept)
  std::string data;
  bool readOnly = false;       // opening for writing fails with ERROR_ACCESS_DENIED
  win::DWORD deleteError = 0;  // DeleteFileW fails with this when non-zero
  // FILE_ATTRIBUTE_DIRECTORY: a directory, which opens only with
  // FILE_FLAG_BACKUP_SEMANTICS. FILE_ATTRIBUTE_REPARSE_POINT: a symbolic link
  // to `linkTarget`, which an open follows unless FILE_FLAG_OPEN_REPARSE_POINT.
  win::DWORD attributes = 0;
  std::u16string linkTarget;
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
  // Files directly in `directory` whose names match the wildcard `pattern`
  // (* and ?, case-insensitive), in creation order.
  std::vector<File*> List(std::u16string_view directory, std::u16string_view pattern);

  // Directories in which no file can be created or written.
  std::vector<std::u16string> unwritableDirectories;
  bool IsWritableDirectory(std::u16string_view directory) const;

  std::vector<File> files;  // creation order: the order of a directory search
};

// A library file that LoadLibraryExW can find, with its exports.
struct Library {
  std::u16string path;  // full path
  std::map<std::string, win::FARPROC> exports;
};

struct MessageBoxShown {
  std::u16string text;
  std::u16string caption;
  win::UINT type = 0;
  win::HWND owner = nullptr;
};

struct Fault {
  std::string call;  // the call's published name, e.g. "SetupDiEnumDeviceInfo"
  unsigned nth = 1;  // 1 for its first use in the run, 2 for the second...; 0 for every use
  win::DWORD error = win::ERROR_GEN_FAILURE;
};

struct Machine {
  // Serialises access to the machine's state across the threads of a test.
  std::recursive_mutex mutex;
  std::condition_variable_any changed;  // notified when a file lock is released

  // Platform calls in the order made, and faults to inject.
  std::vector<std::string> calls;
  std::map<std::string, unsigned> callCounts;
  std::vector<Fault> faults;

  Handles handles;

  // Debugger output: every OutputDebugStringW string, in order.
  std::vector<std::u16string> debugOutput;

  win::SYSTEMTIME localTime{2026, 12, 0, 6, 9, 5, 7, 0};

  FileSystem fs;
  std::u16string currentDirectory = u"C:\\Users\\Setup";
  std::u16string windowsDirectory = u"C:\\Windows";
  std::u16string systemDirectory = u"C:\\Windows\\System32";
  std::u16string modulePath = u"C:\\Program Files\\Tov Mouse\\TovMouseSetupCustomAction.exe";

  // Loadable libraries, and the paths of the libraries loaded, in order.
  std::vector<Library> libraries;
  std::vector<std::u16string> libraryLoads;

  // System messages that FormatMessageW knows, by code.
  std::map<win::DWORD, std::u16string> systemMessages;

  // The root of the device tree, and the re-enumerations asked of it.
  win::CONFIGRET locateRootResult = win::CR_SUCCESS;
  std::vector<std::pair<win::DEVINST, win::ULONG>> reenumerations;

  std::vector<MessageBoxShown> messageBoxes;
  int messageBoxAnswer = win::IDOK;
  // The process's session (0: services and non-impersonated custom actions)
  // and whether its window station has WSF_VISIBLE (WinSta0 has it, also in
  // session 0 where interactive services are allowed; other stations lack it).
  win::DWORD sessionId = 1;
  bool stationVisible = true;
  // What SetDefaultDllDirectories was given last (LoadLibraryExW does not
  // look at it: the programs name their directories in every load).
  win::DWORD defaultDllDirectories = 0;
  std::vector<win::DWORD> sleeps;  // milliseconds of each Sleep; nobody really sleeps

  // Objects behind open handles; the calls keep them.
  struct OpenFile {
    std::u16string path;
    std::uint64_t position = 0;
    bool writable = false;
  };
  std::map<win::HANDLE, OpenFile> openFiles;
  std::map<std::u16string, win::HANDLE> fileLocks;  // folded path -> handle holding the lock
  struct OpenSearch {
    std::vector<std::u16string> names;
    std::size_t next = 0;
  };
  std::map<win::HANDLE, OpenSearch> openSearches;
  std::map<win::HANDLE, std::size_t> loadedLibraries;  // module handle -> index in libraries

  // The areas of the machine.
  Devices devices;
  Store store;
  Services services;

  Machine();
  // Registers a library with exports at a full path.
  Library& AddLibrary(std::u16string path, std::map<std::string, win::FARPROC> exports = {});
  // Makes the n-th use of `call` fail with `error`.
  void FailCall(std::string call, unsigned nth, win::DWORD error);
  // Text of the log file in the current directory (raw bytes), if it exists.
  std::optional<std::string> LogBytes(std::u16string_view name = u"TovMouseSetup.log");
};

inline bool SameGuid(const win::GUID& a, const win::GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::equal(std::begin(a.Data4), std::end(a.Data4), std::begin(b.Data4));
}

// The current machine. Reset() replaces it with a fresh one.
Machine& M();
void Reset();

// Records `call` and answers whether it must fail now, and with which error.
std::optional<win::DWORD> Enter(const char* call);

// Sets the calling thread's last error.
void SetError(win::DWORD error);

}  // namespace sim
