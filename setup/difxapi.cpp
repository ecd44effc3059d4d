#include "setup/difxapi.h"

#include "setup/trace.h"

std::int32_t TMSCAMainInternalDriverPackageInstall(const win::WCHAR*) {
  TracePrint(TRACE_ERROR, u"TMSCAMainInternalDriverPackageInstall is not available in this build\n");
  return -1;
}

std::int32_t TMSCAMainInternalDriverPackageUninstall(std::u16string) {
  TracePrint(TRACE_ERROR, u"TMSCAMainInternalDriverPackageUninstall is not available in this build\n");
  return 0;
}
