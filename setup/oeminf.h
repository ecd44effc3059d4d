// The OEM INF files of the Windows INF directory that Windows made from a
// driver package's INF file: their packages and the files themselves.
#pragma once

#include <string>

namespace SetupApi {

// Takes out of the driver store, with SetupUninstallOEMInfW, the package of
// every OEM INF file of the Windows INF directory whose original INF name is
// `infName` (only A-Z folded); Windows deletes the OEM INF and PNF files with
// it. Failures are traced.
void OemInfPackagesUninstall(std::u16string infName);

// Deletes every OEM INF file (and its PNF twin) of the Windows INF directory
// whose original INF name is `infName` (only A-Z folded).
void OemInfFilesDelete(std::u16string infName);

}  // namespace SetupApi
