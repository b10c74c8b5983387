# Setup archives: the payload folder, plus the stand-in programs when it is
# the sample, packed into "SetupFiles7z". payload/README.md describes the
# payload folder; payload/stage.cmake does the packing at build time.

set(SI_PAYLOAD_SAMPLE_DIR "${CMAKE_SOURCE_DIR}/payload/sample" CACHE INTERNAL "")
set(SI_PAYLOAD_STAGE_SCRIPT "${CMAKE_SOURCE_DIR}/payload/stage.cmake" CACHE INTERNAL "")
set(SI_PAYLOAD_BINARY_DIR "${CMAKE_BINARY_DIR}/payload" CACHE INTERNAL "")
set(SI_INI_EDIT_SCRIPT "${CMAKE_SOURCE_DIR}/cmake/ini_edit.py" CACHE INTERNAL "")
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(SI_PYTHON3 "${Python3_EXECUTABLE}" CACHE INTERNAL "The Python 3 that runs the build's scripts")

# The manifest lines that put the stand-in programs (payload/CMakeLists.txt)
# into the payload, named as the programs of chip supplier 1 or 2 in
# install/suppliers.inc.
function(_si_payload_standin_lines supplier out_var)
  si_read_rows("${CMAKE_SOURCE_DIR}/install/suppliers.inc" SI_SUPPLIER rows)
  set(tool32 "")
  foreach(row IN LISTS rows)
    string(REPLACE "|" ";" fields "${row}")
    list(GET fields 0 code)
    if(code STREQUAL supplier)
      list(GET fields 1 tool32)
      list(GET fields 2 tool64)
      list(GET fields 3 service)
    endif()
  endforeach()
  if(tool32 STREQUAL "")
    message(FATAL_ERROR "The payload's programs are those of a chip supplier of "
                        "install/suppliers.inc, not '${supplier}'")
  endif()
  set(exe "$<TARGET_FILE:si_standin>")
  set(dll "$<TARGET_FILE:si_standin_difxapi>")
  set(lines
    "copy\tDriverTool/x86/${tool32}\t${exe}"
    "copy\tDriverTool/x86/difxapi.dll\t${dll}"
    "copy\tDriverTool/x64/${tool64}\t${exe}"
    "copy\tDriverTool/x64/difxapi.dll\t${dll}"
    "copy\tAutoInstSvc/${service}\t${exe}"
    "copy\tUninst/Uninstall.exe\t$<TARGET_FILE:si_standin_uninstall>")
  set(index 0)
  foreach(lang IN LISTS SI_LANGUAGE_FOLDERS)
    math(EXPR index "${index} + 1")
    list(APPEND lines "copy\tUninst/UnLang/${lang}/UninstallLan.dll\t$<TARGET_FILE:si_standin_unlang_${index}>")
  endforeach()
  set(${out_var} "${lines}" PARENT_SCOPE)
endfunction()

# _si_payload_archive(TARGET t PAYLOAD_DIR dir OUTPUT_DIR out [STANDINS 1|2]
#                     [INI file] [REMOVE path ...] [COPY dest src ...] [CHECK])
# Rule and target for OUTPUT_DIR/SetupFiles7z, staged in OUTPUT_DIR/stage.
# CHECK: the staged folder passes scripts/check-payload.sh before it is packed.
function(_si_payload_archive)
  cmake_parse_arguments(A "CHECK" "TARGET;PAYLOAD_DIR;OUTPUT_DIR;STANDINS;INI" "REMOVE;COPY" ${ARGN})
  if(NOT EXISTS "${A_PAYLOAD_DIR}/SetupFiles/ConfigFile/FilesModifyConfig.ini")
    message(FATAL_ERROR "The payload folder '${A_PAYLOAD_DIR}' must hold "
                        "SetupFiles/ConfigFile/FilesModifyConfig.ini (see payload/README.md)")
  endif()
  # Every file and folder. The build lists them again each time and the
  # manifest names them all, so an entry added or removed rebuilds the
  # archive through the manifest, a changed file through its dependency.
  # Make reads a name ending in ")" as an archive member: such a path cannot
  # be a dependency (folders need not be ones).
  file(GLOB_RECURSE inputs CONFIGURE_DEPENDS LIST_DIRECTORIES true "${A_PAYLOAD_DIR}/SetupFiles/*")
  list(SORT inputs)
  set(depends "${SI_PAYLOAD_STAGE_SCRIPT}")
  foreach(path IN LISTS inputs)
    if(IS_DIRECTORY "${path}")
      continue()
    elseif(path MATCHES "\\)$")
      message(WARNING "${path}: a change of this file alone does not rebuild the setup archive")
    else()
      list(APPEND depends "${path}")
    endif()
  endforeach()

  set(lines "")
  if(A_STANDINS)
    _si_payload_standin_lines(${A_STANDINS} lines)
    list(APPEND depends si_standin si_standin_difxapi si_standin_uninstall)
    list(LENGTH SI_LANGUAGE_FOLDERS count)
    foreach(index RANGE 1 ${count})
      list(APPEND depends si_standin_unlang_${index})
    endforeach()
  endif()
  if(A_INI)
    list(APPEND lines "copy\tConfigFile/FilesModifyConfig.ini\t${A_INI}")
    list(APPEND depends "${A_INI}")
  endif()
  foreach(path IN LISTS A_REMOVE)
    list(APPEND lines "remove\t${path}")
  endforeach()
  while(A_COPY)
    list(POP_FRONT A_COPY dest src)
    list(APPEND lines "copy\t${dest}\t${src}")
    list(APPEND depends "${src}")
  endwhile()
  foreach(path IN LISTS inputs)
    list(APPEND lines "input\t${path}")
  endforeach()
  list(JOIN lines "\n" content)
  set(manifest "${A_OUTPUT_DIR}/stage.manifest")
  file(GENERATE OUTPUT "${manifest}" CONTENT "${content}\n")

  set(check "")
  if(A_CHECK)
    set(check "${CMAKE_SOURCE_DIR}/scripts/check-payload.sh|--checker|$<TARGET_FILE:si_payload_check>")
    if(A_STANDINS)
      string(APPEND check "|--standins")
    endif()
    list(APPEND depends si_payload_check "${CMAKE_SOURCE_DIR}/scripts/check-payload.sh")
  endif()

  set(archive "${A_OUTPUT_DIR}/SetupFiles7z")
  add_custom_command(
    OUTPUT "${archive}"
    COMMAND ${CMAKE_COMMAND} "-DPAYLOAD_DIR=${A_PAYLOAD_DIR}" "-DSTAGE_DIR=${A_OUTPUT_DIR}/stage"
            "-DMANIFEST=${manifest}" "-DARCHIVE=${archive}" "-DSEVENZIP=${SI_7ZZ}" "-DCHECK=${check}"
            -P "${SI_PAYLOAD_STAGE_SCRIPT}"
    DEPENDS ${depends} "${manifest}"
    COMMENT "Packing the setup archive ${archive}"
    VERBATIM)
  add_custom_target(${A_TARGET} ALL DEPENDS "${archive}")
endfunction()

# si_payload_variant(NAME <name> [INI <file>] [SET <edit>...] [TOOLS 1|2]
#                    [REMOVE <path>...] [COPY <dest> <src>...]
#                    [FILE_VARIABLE <var>] [TARGET_VARIABLE <var>])
#
# A setup archive made from the sample payload and its stand-ins with changes,
# for tests: <build>/payload/variants/<name>/SetupFiles7z, made by the target
# si_payload_variant_<name> (part of the default build); the staged folder is
# <build>/payload/variants/<name>/stage/SetupFiles.
#   INI     replaces ConfigFile/FilesModifyConfig.ini with <file>.
#   SET     changes single keys of the configuration file (the sample's, or
#           INI's) through cmake/ini_edit.py: "[CurrentCard]Chip_Supplier=2" sets a key,
#           "[DriverInstall]DriverWHQL" removes it. A value cannot hold ";" (CMake lists).
#   TOOLS   whose programs the tool and service folders hold: chip supplier 1
#           (default) or 2, named as in install/suppliers.inc; difxapi.dll is
#           beside the tools either way.
#   REMOVE  paths below SetupFiles to leave out, e.g. "Uninst/UnLang/Korean(Korea)".
#   COPY    pairs: a path below SetupFiles and the file put there.
# The archive's path and target are also in the global properties
# SI_PAYLOAD_VARIANT_<name>_FILE and SI_PAYLOAD_VARIANT_<name>_TARGET. Asking
# again for a variant with the same name and arguments gives the same one.
function(si_payload_variant)
  cmake_parse_arguments(V "" "NAME;INI;TOOLS;FILE_VARIABLE;TARGET_VARIABLE" "SET;REMOVE;COPY" ${ARGN})
  if(NOT V_NAME MATCHES "^[A-Za-z0-9_]+$")
    message(FATAL_ERROR "si_payload_variant: NAME '${V_NAME}' must be letters, digits and _")
  endif()
  if(NOT V_TOOLS)
    set(V_TOOLS 1)
  endif()
  set(dir "${SI_PAYLOAD_BINARY_DIR}/variants/${V_NAME}")
  set(target si_payload_variant_${V_NAME})
  set(archive "${dir}/SetupFiles7z")

  get_property(known GLOBAL PROPERTY SI_PAYLOAD_VARIANT_${V_NAME}_ARGS SET)
  if(known)
    get_property(args GLOBAL PROPERTY SI_PAYLOAD_VARIANT_${V_NAME}_ARGS)
    if(NOT args STREQUAL "${ARGN}")
      message(FATAL_ERROR "si_payload_variant: '${V_NAME}' exists with other arguments")
    endif()
  else()
    set_property(GLOBAL PROPERTY SI_PAYLOAD_VARIANT_${V_NAME}_ARGS "${ARGN}")
    set(ini "${V_INI}")
    if(V_SET)
      set(base "${SI_PAYLOAD_SAMPLE_DIR}/SetupFiles/ConfigFile/FilesModifyConfig.ini")
      if(V_INI)
        set(base "${V_INI}")
      endif()
      set(ini "${dir}/FilesModifyConfig.ini")
      add_custom_command(OUTPUT "${ini}"
        COMMAND "${SI_PYTHON3}" "${SI_INI_EDIT_SCRIPT}" "${base}" "${ini}" ${V_SET}
        DEPENDS "${base}" "${SI_INI_EDIT_SCRIPT}"
        COMMENT "Editing the configuration file of the payload variant ${V_NAME}"
        VERBATIM)
    endif()
    _si_payload_archive(TARGET ${target} PAYLOAD_DIR "${SI_PAYLOAD_SAMPLE_DIR}" OUTPUT_DIR "${dir}"
                        STANDINS ${V_TOOLS} INI "${ini}" REMOVE ${V_REMOVE} COPY ${V_COPY})
    set_property(GLOBAL PROPERTY SI_PAYLOAD_VARIANT_${V_NAME}_FILE "${archive}")
    set_property(GLOBAL PROPERTY SI_PAYLOAD_VARIANT_${V_NAME}_TARGET ${target})
  endif()
  if(V_FILE_VARIABLE)
    set(${V_FILE_VARIABLE} "${archive}" PARENT_SCOPE)
  endif()
  if(V_TARGET_VARIABLE)
    set(${V_TARGET_VARIABLE} ${target} PARENT_SCOPE)
  endif()
endfunction()
