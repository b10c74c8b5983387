# Single-key edits of an INI file by cmake/ini_edit.py (INI_EDIT, run by
# PYTHON): set, add to a section, add a section, remove, line ends kept,
# brackets, quotes and backslashes in a value kept.
cmake_minimum_required(VERSION 3.20)
function(_si_ini_edit)
  execute_process(COMMAND "${PYTHON}" "${INI_EDIT}" ${ARGN} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "ini_edit.py ${ARGN}: ${failed}")
  endif()
endfunction()
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

# Compares bytes: file(READ) would drop the CR of CR LF.
function(expect_file path expected)
  file(WRITE "${path}.expected" "${expected}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${path}.expected" "${path}"
                  RESULT_VARIABLE different)
  if(different)
    file(READ "${path}" actual HEX)
    file(READ "${path}.expected" wanted HEX)
    message(FATAL_ERROR "${path}:\n${actual}\nexpected:\n${wanted}")
  endif()
endfunction()

# CR LF file: every kind of edit.
file(WRITE "${WORK_DIR}/crlf.ini" "[A]\r\nx=1\r\n y = 2\r\n\r\n[b]\r\nz=3\r\n")
_si_ini_edit("${WORK_DIR}/crlf.ini" "${WORK_DIR}/crlf.out.ini"
             "[A]y=5" "[B]w=7" "[C]k=v [x] \"q\\r\"" "[A]x")
expect_file("${WORK_DIR}/crlf.out.ini"
            "[A]\r\ny=5\r\n\r\n[b]\r\nz=3\r\nw=7\r\n\r\n[C]\r\nk=v [x] \"q\\r\"\r\n")

# LF file: the line ends stay LF; a key only in another section is added.
file(WRITE "${WORK_DIR}/lf.ini" "[A]\nx=1\n[B]\ny=2\n")
_si_ini_edit("${WORK_DIR}/lf.ini" "${WORK_DIR}/lf.out.ini" "[A]y=3")
expect_file("${WORK_DIR}/lf.out.ini" "[A]\nx=1\ny=3\n[B]\ny=2\n")

# The shipped file: one value changed, everything else byte for byte.
set(sample "${CMAKE_CURRENT_LIST_DIR}/../../payload/sample/SetupFiles/ConfigFile/FilesModifyConfig.ini")
_si_ini_edit("${sample}" "${WORK_DIR}/sample.out.ini" "[DriverInstall]DriverWHQL=2")
file(READ "${sample}" text)
string(REPLACE "\n" "\r\n" text "${text}")
string(REPLACE "DriverWHQL=1\r\n" "DriverWHQL=2\r\n" text "${text}")
expect_file("${WORK_DIR}/sample.out.ini" "${text}")

file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "INI edits as expected")
