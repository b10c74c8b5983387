# Stages a setup payload and packs it into a setup archive (run as a script
# at build time by the rules of cmake/Payload.cmake):
#
#   cmake -DPAYLOAD_DIR=<folder holding SetupFiles> -DSTAGE_DIR=<work folder>
#         -DMANIFEST=<file> -DARCHIVE=<output> -DSEVENZIP=<7zz> -P stage.cmake
#
# STAGE_DIR is emptied and gets a copy of PAYLOAD_DIR/SetupFiles (without
# ".gitkeep" files); then the manifest's lines, tab-separated, are applied in
# order, paths relative to the staged SetupFiles folder:
#   copy    <destination>  <source file>    a file put into place (made or replaced)
#   remove  <path>                          a file or folder taken out; it must exist
#   input   <path>                          a payload input, listed only for the build's bookkeeping
# With CHECK (a command line, its words separated by "|"), the staged folder
# is checked by "<command> STAGE_DIR" first: no archive from a payload that fails.
# Finally STAGE_DIR/SetupFiles becomes ARCHIVE: solid 7z, LZMA with BCJ2, no
# times and no attributes stored, so the same inputs always give the same bytes.

cmake_minimum_required(VERSION 3.20)

foreach(var PAYLOAD_DIR STAGE_DIR MANIFEST ARCHIVE SEVENZIP)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "stage.cmake: ${var} is not set")
  endif()
endforeach()

# STAGE_DIR is emptied: it must be a folder of its own, never one that holds
# the payload's sources.
get_filename_component(stage_real "${STAGE_DIR}" REALPATH)
get_filename_component(payload_real "${PAYLOAD_DIR}" REALPATH)
string(FIND "${payload_real}/" "${stage_real}/" inside)
if(NOT IS_ABSOLUTE "${STAGE_DIR}" OR inside EQUAL 0)
  message(FATAL_ERROR "stage.cmake: STAGE_DIR '${STAGE_DIR}' is not a work folder of its own")
endif()

set(root "${STAGE_DIR}/SetupFiles")
if(NOT IS_DIRECTORY "${PAYLOAD_DIR}/SetupFiles")
  message(FATAL_ERROR "The payload folder ${PAYLOAD_DIR} holds no SetupFiles folder")
endif()

file(REMOVE_RECURSE "${STAGE_DIR}")
file(MAKE_DIRECTORY "${STAGE_DIR}")
file(COPY "${PAYLOAD_DIR}/SetupFiles" DESTINATION "${STAGE_DIR}" PATTERN ".gitkeep" EXCLUDE)

file(STRINGS "${MANIFEST}" lines)
foreach(line IN LISTS lines)
  string(REPLACE "\t" ";" fields "${line}")
  list(GET fields 0 op)
  if(op STREQUAL "copy")
    list(GET fields 1 dest)
    list(GET fields 2 src)
    if(NOT EXISTS "${src}" OR IS_DIRECTORY "${src}")
      message(FATAL_ERROR "Payload file ${src} (for SetupFiles/${dest}) is missing")
    endif()
    file(REMOVE_RECURSE "${root}/${dest}")
    configure_file("${src}" "${root}/${dest}" COPYONLY)
  elseif(op STREQUAL "remove")
    list(GET fields 1 path)
    if(NOT EXISTS "${root}/${path}")
      message(FATAL_ERROR "SetupFiles/${path} cannot be removed from the payload: it is not there")
    endif()
    file(REMOVE_RECURSE "${root}/${path}")
  elseif(NOT op STREQUAL "input")
    message(FATAL_ERROR "stage.cmake: unknown manifest line '${line}'")
  endif()
endforeach()

if(NOT EXISTS "${root}/ConfigFile/FilesModifyConfig.ini")
  message(FATAL_ERROR "The staged payload has no SetupFiles/ConfigFile/FilesModifyConfig.ini")
endif()

if(CHECK)
  string(REPLACE "|" ";" check "${CHECK}")
  execute_process(COMMAND ${check} "${STAGE_DIR}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    file(REMOVE "${ARCHIVE}")
    message(FATAL_ERROR "The payload ${PAYLOAD_DIR} fails its check (lines above); see payload/README.md")
  endif()
endif()

# 7-Zip sorts the entries itself; the locale only matters for non-ASCII names.
file(REMOVE "${ARCHIVE}" "${ARCHIVE}.tmp")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8
          "${SEVENZIP}" a -t7z -mx=9 -ms=on -mf=BCJ2 -m0=LZMA -mtm- -mtc- -mta- -mtr-
          -bso0 -bsp0 "${ARCHIVE}.tmp" SetupFiles
  WORKING_DIRECTORY "${STAGE_DIR}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE "${ARCHIVE}.tmp")
  message(FATAL_ERROR "7zz failed (${result}) to pack ${root}")
endif()
file(RENAME "${ARCHIVE}.tmp" "${ARCHIVE}")
