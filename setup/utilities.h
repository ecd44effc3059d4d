// Path operations of the setup tool.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "win/api.h"

namespace Utilities {

// The directory of the setup tool's program file, without a trailing
// backslash. On failure traces it, leaves `path` as it was and returns false.
bool GetCurrentModulePath(std::u16string& path);

// The path of `parts` (up to the first null) appended one after the other to
// the Windows directory, in `path`. A step that fails is traced under the
// caller's name in the log, `traceName`: "GetWindowsDirectory failed", then
// "PathAppend I", "II" or "III" for the parts in turn. A Windows directory that
// does not fit the buffer is a failure too, never an empty (relative) path.
bool WindowsPath(const char16_t* traceName, const std::array<const char16_t*, 3>& parts,
                 win::WCHAR (&path)[win::MAX_PATH]);

// Appends the full path of every "OEM*.INF" file of the Windows INF
// directory to `list`, in the order of the directory search. Returns true
// when the search ran to its end.
bool GetOemInfFilePathNamesList(std::vector<std::u16string>& list);

// True when a user can see the windows of this process: it runs outside
// session 0 and its window station is visible. A custom action that runs
// without impersonation, a service and every program a service starts run in
// session 0, where nobody can see or answer a window, even on a visible
// station. A query that fails counts as no user; it is traced.
bool IsInteractiveSession();

// Whether this run of the tool may show a window or wait for a user's answer:
// decided once per run, by the entry before the command's first Setup API
// call, and read by the operations. False until decided.
extern bool InteractiveRun;

// The INF file that a package token names: a bare file name (no directory,
// drive or wildcard; not empty, "." or ".."), with ".inf" added when the
// token leaves it off. False, with `infName` unchanged, for any other token:
// a destructive command must name exactly one package.
bool InfNameFromToken(std::u16string_view token, std::u16string& infName);

// The file name of `path`: what follows its last "\" or "/".
std::u16string_view FileNameOf(std::u16string_view path);

// True when the file name of `path` is `fileName`, with only A-Z folded.
bool FileNameIs(std::u16string_view path, std::u16string_view fileName);

// True for a device ID: an enumerator, a backslash and a device part. A bare
// enumerator ("HID", "HID\") would select every device under it.
bool IsDeviceIdToken(std::u16string_view token);

}  // namespace Utilities
