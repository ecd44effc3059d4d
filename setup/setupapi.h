// Device setup through the Windows Setup API.
#pragma once

#include <string>

#include "win/api.h"

namespace SetupApi {

// Installs the filter's driver on every present matching device under
// `deviceId` that lacks it. False when the walk stopped on a failure;
// `accessDenied` is set when that failure was a lack of rights.
bool DriverUpdate(std::u16string deviceId, std::u16string unused, bool* accessDenied);

// Removes every device instance, present or not, under `deviceId` whose
// first hardware ID begins with it. Always true; failures are traced.
bool DeviceInstancesUninstall(std::u16string deviceId);

// Deletes every OEM INF file (and its PNF twin) of the Windows INF directory
// whose original INF name begins with `infName`.
void OemInfFilesDelete(std::u16string infName);

}  // namespace SetupApi
