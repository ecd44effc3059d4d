#include "setup/utilities.h"

#include "setup/trace.h"

namespace Utilities {

bool GetCurrentModulePath(win::HMODULE module, std::u16string& path) {
  win::WCHAR buffer[win::MAX_PATH] = {};
  win::DWORD length = win::GetModuleFileNameW(module, buffer, win::MAX_PATH);
  // A path that does not fit comes back cut short and is no directory to use.
  if (length == 0 || length >= win::MAX_PATH) {
    win::DWORD error = length == 0 ? win::GetLastError() : win::DWORD{win::ERROR_INSUFFICIENT_BUFFER};
    TracePrint(TRACE_ERROR, u"GetModuleFileNameW failed with 0x%x\n", error);
    return false;
  }
  if (!win::PathRemoveFileSpecW(buffer)) {
    TracePrint(TRACE_ERROR, u"Utilities::AppendFileNameToCurrentModulePath PathRemoveFileSpec failed with 0x%x\n",
               win::GetLastError());
    return false;
  }
  path = buffer;
  return true;
}

bool GetOemInfFilePathNamesList(std::vector<std::u16string>& list) {
  (void)list;
  TracePrint(TRACE_ERROR, u"Utilities::GetOemInfFilePathNamesList is not available in this build\n");
  return false;
}

}  // namespace Utilities
