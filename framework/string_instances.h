// Force-included into the installer's own code (si_lean_code in
// cmake/SetupInstall.cmake). The standard library declares std::string and
// std::wstring as instantiated in its archive; that archive's string module
// brings every member, with exception handling, whether used or not. Without
// the declaration each member the code uses is compiled here, without
// exceptions like the rest, and the linker keeps only those.
// The library's own switch: -1 turns off the declarations for the strings
// alone (the value its assertion mode uses), leaving the others as they are.
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
