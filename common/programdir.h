// The directory of the running program's file, for both programs: what ships
// with a program lies beside it.
#pragma once

#include <string>

#include "win/api.h"

// The program's directory, without a trailing backslash, or the step that
// failed with its error (the directory is then empty).
struct ProgramDirectory {
  enum class Failed { Nothing, GetModuleFileName, PathRemoveFileSpec };
  std::u16string path;
  Failed failed = Failed::Nothing;
  win::DWORD error = 0;
};

inline ProgramDirectory GetProgramDirectory() {
  win::WCHAR buffer[win::MAX_PATH] = {};
  win::DWORD length = win::GetModuleFileNameW(nullptr, buffer, win::MAX_PATH);
  // A path that does not fit comes back cut short and names no directory.
  if (length == 0 || length >= win::MAX_PATH) {
    win::DWORD error = length == 0 ? win::GetLastError() : win::DWORD{win::ERROR_INSUFFICIENT_BUFFER};
    return {{}, ProgramDirectory::Failed::GetModuleFileName, error};
  }
  if (!win::PathRemoveFileSpecW(buffer)) return {{}, ProgramDirectory::Failed::PathRemoveFileSpec, win::GetLastError()};
  return {buffer};
}
