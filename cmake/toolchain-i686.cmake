# Shipped build: 32-bit, run under the 32-bit Wine loader.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SETUPINSTALL_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-common.cmake)
