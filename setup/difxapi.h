// The driver package store, through the Driver Install Frameworks API.
#pragma once

#include <cstdint>
#include <string>

#include "win/api.h"

// Deletes the old filter driver file and installs the package of `infPath`
// into the driver store: 0 on success, -1 when the package install failed.
std::int32_t TMSCAMainInternalDriverPackageInstall(const win::WCHAR* infPath);

// Removes every store package whose store INF path contains `token`, then
// the matching OEM INF files. Always 0.
std::int32_t TMSCAMainInternalDriverPackageUninstall(std::u16string token);
