#include "install/install_common.h"

#include "state/messages.h"

namespace si {

void ShowErrorBox(MessageBoxFn messageBox, const wchar_t* text) {
    messageBox(nullptr, text, kErrorCaption, MB_SYSTEMMODAL);
}

}  // namespace si
