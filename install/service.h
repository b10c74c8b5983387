// The auto-install service: copied to gTargetDir\AutoInstSvc and run once,
// hidden, with its install argument.
#pragma once

#include <windows.h>

#include "install/install_common.h"

// True once the service program was launched and has ended; false for an
// unknown chip supplier (after its error box) or a program that could not be
// launched.
bool installAutoService();

namespace si {

// installAutoService with the box behind a seam.
bool InstallAutoServiceWith(MessageBoxFn messageBox);

}  // namespace si
