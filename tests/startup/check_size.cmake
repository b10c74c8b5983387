# The shipped build's bytes stay within their budgets: the stub (the
# executable without its payload resources, PAYLOAD: the files they are made
# from, each followed by |) and the decoder library.
file(SIZE "${EXE}" total)
set(payload 0)
string(REPLACE "|" ";" files "${PAYLOAD}")
foreach(file ${files})
  file(SIZE "${file}" size)
  math(EXPR payload "${payload} + ${size}")
endforeach()
math(EXPR stub "${total} - ${payload}")
file(SIZE "${DLL}" dll)
message(STATUS "stub ${stub} bytes (at most ${MAX_STUB}), 7zDec.dll ${dll} bytes (at most ${MAX_DLL})")
if(stub GREATER MAX_STUB OR dll GREATER MAX_DLL)
  message(FATAL_ERROR "over budget")
endif()
