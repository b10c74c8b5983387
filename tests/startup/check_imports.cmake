# The shipped executable imports only libraries the loader never takes from
# the folder it was started from (known DLLs, and common controls through the
# side-by-side manifest); gdiplus.dll and version.dll are delay-loaded.
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot read ${EXE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(allowed advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll shlwapi.dll user32.dll)
foreach(line ${imports})
  string(REPLACE "DLL Name: " "" name "${line}")
  string(TOLOWER "${name}" name)
  list(FIND allowed "${name}" at)
  if(at LESS 0)
    message(FATAL_ERROR "${EXE} imports ${name} at load time: a library that is no known DLL is "
                        "looked for in the program's own folder before any code of ours runs")
  endif()
endforeach()
if(NOT DEFINED DELAYED)
  set(DELAYED gdiplus.dll version.dll)
endif()
file(READ ${EXE} bytes HEX)
foreach(name ${DELAYED})
  string(HEX "${name}" hex)
  string(FIND "${bytes}" "${hex}" at)
  if(at LESS 0)
    message(FATAL_ERROR "${EXE} has no delay import of ${name}")
  endif()
endforeach()
# Windows XP is the oldest target: nothing newer may be imported, by our code
# or by the runtime libraries linked in (newer calls are looked up at run time).
set(newer GetTickCount64 ConditionVariable SRWLock InitOnce FlsAlloc GetCurrentProcessorNumber
          CreateSymbolicLink GetFinalPathNameByHandle SetDefaultDllDirectories AddDllDirectory
          LocaleName GetLocaleInfoEx LCMapStringEx CompareStringEx InitializeCriticalSectionEx
          CreateEventEx CreateMutexEx GetFileInformationByHandleEx K32Get RegGetValue RegDeleteTree
          RegSetKeyValue SHGetKnownFolderPath TaskDialog CreateFile2 QueryFullProcessImageName
          SetDllDirectory)  # Windows XP SP1
foreach(name ${newer})
  string(FIND "${dump}" "${name}" at)
  if(at GREATER_EQUAL 0)
    message(FATAL_ERROR "${EXE} imports ${name}, which Windows XP does not have")
  endif()
endforeach()
message(STATUS "${EXE}: ${imports}")
