// The simulated machine's service area; see sim/machine.h.
//
// The service control manager (scm.cpp) keeps a database of services with
// Windows' rules for names, rights and deletion. Starting a service runs its
// program file: the Program a test registered for it, as a service process on
// a thread of its own, whose StartServiceCtrlDispatcherW runs the service main
// on another and hands controls to its handler one at a time
// (dispatcher.cpp); for a file without one, a stand-in, RUNNING at once and
// after a stop request STOP_PENDING for `stopPendingQueries` status queries.
// A process started by ShellExecuteExW runs its file's Program, if any, on a
// thread of its own (processes.cpp); a timed wait for it sees it take `runMs`.
//
// Time passes in the simulator only in Sleep and in waits that time out (the
// machine's `tickMs`). Where
// Windows would let a service process run while the caller waits (a status
// query, a control request), the manager waits until every thread of that
// process is blocked in a simulated wait or the process has ended
// (processes.cpp, with events).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <latch>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "win/api.h"

namespace sim {

using Lock = std::unique_lock<std::recursive_mutex>;

// A door that a test opens (once or more) to let a simulated program go on.
struct Gate : std::latch {
  Gate() : std::latch(1) {}
  void Open() {
    if (!try_wait()) count_down();
  }
};

// One run of a program file: a process started by ShellExecuteExW, or a
// service process started by the service control manager.
struct ProcessRun {
  std::size_t index = 0;            // in Services::runs (a shell's run)
  std::u16string file;              // the program file (lpFile, or the service's resolved image)
  std::u16string parameters{};      // lpParameters ("" for none)
  std::u16string currentDirectory;  // the directory the process starts in
  win::ULONG mask = 0;
  int show = 0;
  bool ended = false;
};

// What a program does; runs on the process's own thread and returns the exit code.
using Program = std::function<win::DWORD(const ProcessRun&)>;

struct ServiceRecord {
  std::u16string name;
  win::DWORD type = win::SERVICE_WIN32_OWN_PROCESS;
  std::u16string imagePath;
  win::DWORD startType = win::SERVICE_DEMAND_START, errorControl = win::SERVICE_ERROR_NORMAL;
  std::u16string displayName{}, account = u"LocalSystem";
  win::SERVICE_STATUS status{win::SERVICE_WIN32_OWN_PROCESS, win::SERVICE_STOPPED, 0, 0, 0, 0, 0};
  bool markedForDelete = false;
  // The stand-in service (no Program for its image): status queries after a
  // stop request that still see STOP_PENDING; the next one sees STOPPED.
  unsigned stopPendingQueries = 0;

  // The load-order group, first dependency, and from ChangeServiceConfig2W: failure actions (how many, and
  // the program one may run), delayed automatic start, the first required privilege (none: all of them).
  std::u16string group{}, dependencies{}, failureCommand{}, privileges{};
  unsigned failureActions = 0;
  bool delayedAutoStart = false;

  // Bookkeeping of the manager.
  unsigned openHandles = 0;
};

struct Services {
  ~Services();  // waits for the threads of every process (tests end them first)

  // --- Arranged by tests -----------------------------------------------------
  // Adds a service with a default configuration (own process, demand start,
  // LocalSystem) in `state`; a running one is a stand-in.
  ServiceRecord& Add(std::u16string name, std::u16string imagePath, win::DWORD state = win::SERVICE_STOPPED);
  // The program that runs when `path` (a full path) is started.
  void SetProgram(std::u16string_view path, Program program);
  // False: the caller has no administrative rights; the manager then grants
  // only the rights to connect, enumerate and query the lock.
  bool admin = true;
  // How long, in the machine's time, each process started by ShellExecuteExW
  // runs: a wait with a shorter time-out times out (INFINITE: it never ends),
  // and moves the machine's clock on by its time-out.
  win::DWORD runMs = 0;
  // Called at the start of each recorded call (after fault injection),
  // without the machine's lock, on the calling thread.
  std::function<void(const char* call)> onCall;

  // --- Seen by tests ---------------------------------------------------------
  std::list<ServiceRecord> database;  // in order of creation
  ServiceRecord* Find(std::u16string_view name);
  std::vector<win::SERVICE_STATUS> reports;  // every accepted SetServiceStatus, in order
  std::vector<std::uint64_t> reportTimes;    // the machine's clock (tickMs) at each of them
  std::deque<ProcessRun> runs;               // processes started by ShellExecuteExW
  std::size_t RunsStarted();
  std::size_t RunsEnded();

  // --- Driving a service process ---------------------------------------------
  // Queues a control for the running service process of `name`, as the
  // manager would after accepting it; false when no such process runs.
  bool PostControl(std::u16string_view name, win::DWORD control, win::DWORD eventType = 0);
  // Queues SERVICE_CONTROL_DEVICEEVENT with `eventType` and a
  // DEV_BROADCAST_DEVICEINTERFACE_W for each service process registered for
  // `interfaceClass`. Returns how many processes it was queued for.
  std::size_t PostDeviceInterfaceEvent(win::DWORD eventType, const win::GUID& interfaceClass,
                                       std::u16string_view symbolicLink = u"\\\\?\\HID#VID_0430&PID_0005&MI_01#1");
  // Controls queued for, and handled by, the process of `name`.
  std::size_t ControlsPending(std::u16string_view name);
  std::size_t ControlsHandled(std::u16string_view name);
  // Blocks until `ready` holds (checked under the machine's lock); false after
  // a generous watchdog, so that a broken test fails instead of hanging.
  bool WaitUntil(const std::function<bool()>& ready);
  // Until the process of `name` is idle: every thread blocked in a simulated
  // wait with nothing to do, or ended.
  bool WaitIdle(std::u16string_view name);
  // Until the (last) process of `name` has ended; its threads are joined.
  bool WaitForExit(std::u16string_view name);

  // --- The calls' bookkeeping -------------------------------------------------
  struct Control {
    win::DWORD code = 0, eventType = 0;
    std::vector<std::uint8_t> data;
    std::uint64_t id = 0;
  };
  struct Registration {
    win::HANDLE handle = nullptr;
    win::GUID interfaceClass{};
  };
  struct Process {
    std::u16string service;
    std::thread thread, mainThread;  // the program; the service main, once the dispatcher runs
    std::thread::id dispatcher;      // the thread in StartServiceCtrlDispatcherW
    // The dispatcher was called, and hands out controls; SERVICE_STOPPED was
    // reported; the program has returned.
    bool connected = false, dispatching = false, stopped = false, ended = false;
    int alive = 0;                                      // threads of the process that have not returned
    std::vector<const std::function<bool()>*> waiters;  // what its threads blocked in a wait wait for
    // Once registered, the process's address is its status handle.
    win::LPHANDLER_FUNCTION_EX handler = nullptr;
    void* context = nullptr;
    std::deque<Control> queue;
    std::uint64_t nextControl = 1, handledControls = 0;
    // The answer to each control handled: the last status its handler reported.
    std::map<std::uint64_t, win::SERVICE_STATUS> answers;
    win::SERVICE_STATUS handlerStatus{};
    std::vector<Registration> registrations;
  };
  struct Event {
    bool signalled, manualReset;
  };
  struct Internal {
    std::condition_variable_any changed;  // notified at every change of this area
    std::list<Process> processes;
    std::map<win::HANDLE, ServiceRecord*> scHandles;  // null: the manager
    std::map<win::HANDLE, std::shared_ptr<Event>> events;
    std::map<win::HANDLE, std::size_t> processHandles;  // -> index in runs
    std::map<std::u16string, Program> programs;         // by folded path
    std::list<std::thread> runThreads;
  };
  Internal internal;

  // Closes `handle` when it is an event or a process of this area.
  bool Close(void* handle);
  Process* ProcessOf(std::u16string_view service);
  Process* Registered(win::SERVICE_STATUS_HANDLE handle);  // the process with this status handle
  bool Idle(const Process& p) const;
  // Blocks the calling thread (holding `lock` once) until `ready` holds.
  void Block(Lock& lock, const std::function<bool()>& ready);
  // A wait for any one of `handles`: events, and processes started by
  // ShellExecuteExW; the result of WaitForMultipleObjects.
  win::DWORD Wait(Lock& lock, const std::vector<win::HANDLE>& handles, win::DWORD ms);
  void RemoveIfDone(ServiceRecord& record);
  void ProcessEnded(Process& p);
  const Program* ProgramFor(std::u16string_view path);
};

// The service process whose thread is calling, if any.
inline thread_local Services::Process* currentProcess = nullptr;

}  // namespace sim
