// The setup tool's client of the service control manager.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "win/handle.h"

// The command "-ServiceCreate": registers the service `name` with the program
// "<tool directory>\<name>.exe" and starts it. Returns the exit code: 0 when
// the service is registered so (started, or the user asked to restart), 1
// when it is not.
int TMSCAMainInternalServiceCreate(const std::u16string& name);

// The command "-ServiceDelete": stops the service `name` (30 s at most) and
// deletes it. Returns the exit code, 0.
int TMSCAMainInternalServiceDelete(const std::u16string& name);

// One object serves one command: it holds the manager handle and the handle
// of the one service it works on, and closes both when destroyed.
class TMScmApi {
 public:
  // Service names are handed to the manager from a buffer of this many
  // characters, terminator included; longer names are refused, never cut.
  static constexpr std::size_t kServiceNameChars = 80;
  // The longest wait for a service to stop or to go, in seconds.
  static constexpr int kMaxWaits = 30;

  // The one rule for service names: 1 to 79 characters (the name buffer's
  // size), none of \ / : * ? " < > | % or a control character, no blank or
  // dot at either end, no reserved device name (CON, PRN, AUX, NUL, COM1-9,
  // LPT1-9, in any case, alone or before a dot). The service's program file
  // is "<tool directory>\<name>.exe": any other name could point elsewhere.
  static bool IsServiceName(std::u16string_view name);

  TMScmApi();  // opens the manager; a failure is traced and fails later calls
  TMScmApi(const TMScmApi&) = delete;
  TMScmApi& operator=(const TMScmApi&) = delete;

  // Registers the service `name` (one that IsServiceName takes: the command
  // refuses any other before the manager is asked anything), automatically
  // started and running `binaryPath` (a plain path: it is registered enclosed
  // in double quotes), and holds its handle. A service of that name that
  // exists already is given that configuration, and stopped when it runs; one
  // marked for deletion is waited for (30 s at most).
  bool ServiceCreate(std::u16string name, std::u16string binaryPath);
  // Opens the named service and holds its handle. On failure the object
  // holds no handle at all, the manager's included.
  bool ServiceEnableAccess(std::u16string name);
  bool ServiceStart();
  bool ServiceQueryStatus(win::SC_HANDLE service, win::DWORD& state);
  // Asks the service to stop (unless it is stopping already) and waits for
  // it, at most `maxWaits` seconds.
  bool ServiceStop(std::int32_t maxWaits);
  bool ServiceDelete();

 private:
  // Own process, and allowed to interact with the desktop.
  static constexpr win::DWORD kServiceType = win::SERVICE_WIN32_OWN_PROCESS | win::SERVICE_INTERACTIVE_PROCESS;

  // CreateServiceW; on failure `error` is its error.
  bool Create(const std::u16string& name, const std::u16string& quotedPath, win::DWORD& error);
  bool ServiceTakeOver(const std::u16string& name, const std::u16string& quotedPath);
  bool ServiceResetConfig2();

  // Closed in the reverse order: the service's handle, then the manager's.
  win::UniqueScHandle manager_;
  win::UniqueScHandle service_;
};
