// Extraction of the two payload archives through the decoder library.
#pragma once

#include <windows.h>

#include "decoder/7zdec.h"

// The language pack ("Lang7z") into the unpack folder; no progress.
// 1 when the decoder was called, 0 when it could not be loaded.
int ExtractLangFiles();
// The setup payload ("SetupFiles7z") into the unpack folder, `onEntry`
// (optional) called for each entry. 1 when the whole archive was extracted,
// 0 otherwise.
int ExtractSetupFiles(ExtractProgressFn onEntry);
