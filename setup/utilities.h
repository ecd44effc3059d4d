// Path operations of the setup tool.
#pragma once

#include <string>
#include <vector>

#include "win/api.h"

namespace Utilities {

// The directory of `module`'s program file (null: the setup tool itself),
// without a trailing backslash. On failure traces it, leaves `path` as it
// was and returns false.
bool GetCurrentModulePath(win::HMODULE module, std::u16string& path);

// Appends the full path of every "OEM*.INF" file of the Windows INF
// directory to `list`, in the order of the directory search. Returns true
// when the search ran to its end.
bool GetOemInfFilePathNamesList(std::vector<std::u16string>& list);

// True when a user can see the windows of this process: its window station
// is visible. A custom action that runs without impersonation, and a
// service, run where nobody can see or answer a message box.
bool IsInteractiveSession();

}  // namespace Utilities
