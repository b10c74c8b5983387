# Shipped build: 32-bit. Nothing of it runs on this machine, so no emulator.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(SETUPINSTALL_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-common.cmake)
