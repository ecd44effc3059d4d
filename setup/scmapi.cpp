#include "setup/scmapi.h"

#include "setup/trace.h"

TMScmApi::TMScmApi() { TracePrint(TRACE_ERROR, u"TMScmApi is not available in this build\n"); }

TMScmApi::~TMScmApi() = default;

bool TMScmApi::ServiceCreate(std::u16string, std::u16string) { return false; }
bool TMScmApi::ServiceEnableAccess(std::u16string) { return false; }
bool TMScmApi::ServiceStart() { return false; }
bool TMScmApi::ServiceQueryStatus(win::SC_HANDLE, win::DWORD& state) {
  state = 0;
  return false;
}
bool TMScmApi::ServiceStop(std::int32_t) { return false; }
bool TMScmApi::ServiceDelete() { return false; }
