#include "ui/progress.h"

// The progress window is not built yet: reports go nowhere.
void UpdateProgress(const std::wstring&, int, bool) {}
