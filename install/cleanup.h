// Removal of the unpack folder: in place at the end of the install, and in
// the background once the installer has ended.
#pragma once

#include <cstddef>

// Deletes gUnPackDirPath with everything in it; true when it is gone.
bool delTempFile();
// Starts a hidden, detached, idle-priority "<system folder>\cmd.exe /c rd /s
// /q" on gUnPackDirPath and returns at once; true when the process was
// started. Nothing is started when COMSPEC is not set. Before the start, it
// deletes in place whatever of the folder can go already.
bool delTempDirOnExit();

namespace si {
// The background removal's command line for `comspec` and `folder`; false
// when it would not fit 259 characters.
bool BuildRemovalCommand(const wchar_t* comspec, const wchar_t* folder, wchar_t* out, size_t capacity);
// The system's command interpreter, "<system folder>\cmd.exe".
bool SystemCommandInterpreter(wchar_t* out, size_t capacity);
}  // namespace si
