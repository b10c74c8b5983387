# Shared by both toolchain files: mingw-w64's posix-thread compilers for the
# target named by SETUPINSTALL_PREFIX, and its sysroot.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${SETUPINSTALL_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SETUPINSTALL_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${SETUPINSTALL_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${SETUPINSTALL_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test programs run under Wine; scripts/wine-run.sh picks the loader that
# matches the build tree (wine64 for x86_64, the 32-bit loader for i686).
get_filename_component(_si_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${_si_root}/scripts/wine-run.sh)
