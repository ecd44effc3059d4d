#include "setup/setupapi.h"

#include "setup/trace.h"

namespace SetupApi {

bool DriverUpdate(std::u16string, std::u16string, bool*) {
  TracePrint(TRACE_ERROR, u"SetupApi::DriverUpdate is not available in this build\n");
  return false;
}

bool DeviceInstancesUninstall(std::u16string) {
  TracePrint(TRACE_ERROR, u"SetupApi::DeviceInstancesUninstall is not available in this build\n");
  return true;
}

}  // namespace SetupApi
