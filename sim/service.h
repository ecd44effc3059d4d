// The simulated machine's service control manager, processes and events; see sim/machine.h.
#pragma once

namespace sim {

struct Services {
  // Called by CloseHandle for a handle that is not a file: closes it and
  // returns true when it belongs to this area.
  bool OnClose(void* /*handle*/) { return false; }
};

}  // namespace sim
