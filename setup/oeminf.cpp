#include "setup/setupapi.h"
#include "setup/trace.h"

namespace SetupApi {

void OemInfFilesDelete(std::u16string) {
  TracePrint(TRACE_ERROR, u"SetupApi::OemInfFilesDelete is not available in this build\n");
}

}  // namespace SetupApi
