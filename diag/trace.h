// The Win32 error code of a failed step, kept for whoever debugs it: one line
// to the debugger output (OutputDebugStringW; under Wine 8 a warning of the
// seh channel, WINEDEBUG=warn+seh) with the code, the source file and line
// and a short tag. The install log is left alone, and so is the thread's
// last error.
#pragma once

#include <windows.h>

// Right after the failed call (before anything else that may set the last
// error), next to the step's own log line:
//     if (!::CopyFileW(from, to, FALSE)) { SI_TRACE_LAST_ERROR(L"CopyFileW"); ... }
#define SI_TRACE_LAST_ERROR(tag) ::si::TraceError(::GetLastError(), SI_TRACE_FILE, __LINE__, tag)
// For calls that return their error code (the registry functions).
#define SI_TRACE_ERROR(code, tag) ::si::TraceError(static_cast<DWORD>(code), SI_TRACE_FILE, __LINE__, tag)

// The file's own name only: build folders stay out of the binary.
#ifdef __FILE_NAME__
#define SI_TRACE_FILE __FILE_NAME__
#else
#define SI_TRACE_FILE __FILE__
#endif

namespace si {

// Sends "SetupInstall: <tag> failed, error <code> (<file>:<line>)" to the
// debugger output; the thread's last error is what it was before the call.
void TraceError(DWORD code, const char* file, int line, const wchar_t* tag) noexcept;

}  // namespace si
