// Every constant of the seam compared with Windows' own headers, at compile
// time: a wrong value in win/api*.h would otherwise pass every unit test,
// since the simulator reads the same wrong value.
//
// The build generates seam_constants.def from the headers: one
// TOV_CONSTANT(name) per constant. The seam's values are taken first, under
// names of their own; <windows.h> then turns the published names into its
// macros, and each is compared, converted to the seam's type.
#include <type_traits>

#include "win/api.h"

#define TOV_CONSTANT(name) constexpr auto seam_##name = win::name;
#include "seam_constants.def"
#undef TOV_CONSTANT

// clang-format off
#include <windows.h>
// clang-format on
#include <cfgmgr32.h>
#include <dbt.h>
#include <setupapi.h>
#include <shellapi.h>

#define TOV_CONSTANT(name)                                                                    \
  static_assert(seam_##name == static_cast<std::remove_const_t<decltype(seam_##name)>>(name), \
                #name " differs from Windows' value");
#include "seam_constants.def"
#undef TOV_CONSTANT

// Not in any header the build has: difxapi.h ships with the driver kit's
// redistributable only. Its published values.
static_assert(win::DRIVER_PACKAGE_SILENT == 0x2 && win::DRIVER_PACKAGE_FORCE == 0x4);
static_assert(win::DRIVER_PACKAGE_LEGACY_MODE == 0x10 && win::DRIVER_PACKAGE_DELETE_FILES == 0x20);
static_assert(win::ERROR_DRIVER_PACKAGE_NOT_IN_STORE == 0xE0000302);
static_assert(win::DIFXAPI_SUCCESS == 0 && win::DIFXAPI_INFO == 1 && win::DIFXAPI_WARNING == 2 &&
              win::DIFXAPI_ERROR == 3);

// Values that are no macros in Windows' headers.
static_assert(win::SC_STATUS_PROCESS_INFO == static_cast<int>(::SC_STATUS_PROCESS_INFO));
static_assert(win::GUID_DEVINTERFACE_MOUSE.Data1 == 0x378DE44C && win::GUID_DEVINTERFACE_MOUSE.Data2 == 0x56EF &&
              win::GUID_DEVINTERFACE_MOUSE.Data3 == 0x11D1 && win::GUID_DEVINTERFACE_MOUSE.Data4[0] == 0xBC &&
              win::GUID_DEVINTERFACE_MOUSE.Data4[7] == 0xDD);
