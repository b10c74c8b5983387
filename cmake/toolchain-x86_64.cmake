# Test twin: the same sources for x86_64, run under wine64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SETUPINSTALL_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-common.cmake)
