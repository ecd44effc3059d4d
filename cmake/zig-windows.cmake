# Cross build for Windows with clang and lld from the Zig toolchain, pinned
# in cmake/zig/package.json and installed by scripts/install-deps.sh. The
# target is TOV_ZIG_TARGET (a preset sets it): aarch64-windows-gnu or
# x86_64-windows-gnu. Zig brings the mingw-w64 headers and import libraries
# and builds libc++ for the target; the resource compiler is Debian's
# llvm-windres (package llvm). An optimised build (Release) is reproducible:
# lld writes a hash of the contents as the PE time stamp (a Debug build
# writes the link time).
set(TOV_ZIG_TARGET "x86_64-windows-gnu" CACHE STRING "Zig target triple: <arch>-windows-gnu")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TOV_ZIG_TARGET)
string(REGEX MATCH "^[^-]+" tov_zig_arch "${TOV_ZIG_TARGET}")

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${tov_zig_arch})
set(CMAKE_C_COMPILER ${CMAKE_CURRENT_LIST_DIR}/zig/cc)
set(CMAKE_CXX_COMPILER ${CMAKE_CURRENT_LIST_DIR}/zig/c++)
set(CMAKE_C_COMPILER_TARGET ${TOV_ZIG_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${TOV_ZIG_TARGET})
set(CMAKE_AR ${CMAKE_CURRENT_LIST_DIR}/zig/ar CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${CMAKE_CURRENT_LIST_DIR}/zig/ranlib CACHE FILEPATH "Ranlib")
find_program(CMAKE_RC_COMPILER NAMES llvm-windres llvm-windres-14 llvm-windres-15 llvm-windres-16 REQUIRED)
set(CMAKE_RC_FLAGS_INIT "--target=${tov_zig_arch}-w64-mingw32")
