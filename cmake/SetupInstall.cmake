# Helpers shared by every part of the build.

# GoogleTest from Debian's sources, built once per tree.
macro(si_add_googletest)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/_googletest" EXCLUDE_FROM_ALL)
  include(GoogleTest)
endmacro()

# The Wine test areas of this tree: one throwaway prefix and its Xvfb, made
# fresh by the first test of a ctest run and removed by the last. The i686
# tree has a second one, a 32-bit prefix (x86 Windows), for the tests
# labelled x86.
set(SI_WINE_DIR "${CMAKE_BINARY_DIR}/wine" CACHE INTERNAL "")
set(SI_WINE32_DIR "${CMAKE_BINARY_DIR}/wine32" CACHE INTERNAL "")

# Every test carries one of these ctest labels (the i686 tree's x86 cases also x86):
#   unit      in-process tests of the code (no installer run): the fast lane
#   e2e       runs the installer or another built program end to end under Wine
#   artifact  checks of built files: archives, imports, resources, reproducibility, signing
#   bench     benchmarks (registered only with -DSETUPINSTALL_BENCH=ON)
set(SI_TEST_LABELS unit e2e artifact bench)
function(si_test_label label)
  if(NOT label IN_LIST SI_TEST_LABELS)
    message(FATAL_ERROR "test label '${label}' is none of: ${SI_TEST_LABELS}")
  endif()
endfunction()

# si_add_test(NAME n LABEL unit|e2e|artifact|bench COMMAND ...)
# A test that is no GoogleTest program (a script, a CMake check); further
# properties are set on it afterwards.
function(si_add_test)
  cmake_parse_arguments(T "" "NAME;LABEL" "COMMAND" ${ARGN})
  si_test_label("${T_LABEL}")
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  set_tests_properties(${T_NAME} PROPERTIES LABELS ${T_LABEL})
endfunction()

# si_add_gtest(NAME n LABEL l SOURCES ... [LIBS ...] [ENV k=v ...] [SERIAL] [TIMEOUT s] [X86 filter])
# A GoogleTest program of this tree, run under Wine with the shared prefix;
# every test it holds is labelled LABEL (default unit). The tests that match
# the gtest filter X86 run only in the i686 tree, in the 32-bit prefix, with
# the label x86 as well.
function(si_add_gtest)
  cmake_parse_arguments(T "SERIAL" "NAME;LABEL;TIMEOUT;X86" "SOURCES;LIBS;ENV;DEPENDS" ${ARGN})
  if(NOT SETUPINSTALL_TESTS)
    return()
  endif()
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  si_test_label("${T_LABEL}")
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE gtest gtest_main ${T_LIBS})
  target_compile_options(${T_NAME} PRIVATE -Wno-missing-field-initializers)
  if(T_DEPENDS)
    add_dependencies(${T_NAME} ${T_DEPENDS})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(props ENVIRONMENT "SETUPINSTALL_WINE_DIR=${SI_WINE_DIR};${T_ENV}"
            FIXTURES_REQUIRED wine_prefix LABELS ${T_LABEL})
  # The 32-bit prefix is made by its fixture (wine_prefix32_init); a prefix
  # keeps the architecture it was made with.
  set(x86_props ENVIRONMENT "SETUPINSTALL_WINE_DIR=${SI_WINE32_DIR};${T_ENV}"
                FIXTURES_REQUIRED wine_prefix32 LABELS x86)
  if(T_SERIAL)
    list(APPEND props RESOURCE_LOCK installer)
    list(APPEND x86_props RESOURCE_LOCK installer)
  endif()
  set(filter "")
  if(T_X86)
    set(filter TEST_FILTER "-${T_X86}")
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 TEST_PREFIX "${T_NAME}."
                       NO_PRETTY_VALUES ${filter} PROPERTIES ${props} TIMEOUT ${T_TIMEOUT})
  if(T_X86 AND NOT SI_IS_TWIN)
    gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 TEST_PREFIX "${T_NAME}."
                         NO_PRETTY_VALUES TEST_FILTER "${T_X86}" PROPERTIES ${x86_props} TIMEOUT ${T_TIMEOUT}
                         TEST_LIST ${T_NAME}_x86_tests)
    # The discovery passes no property value that is a list: the second label
    # is set once the x86 cases are known, by a file ctest reads after them.
    set(labels_file "${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_x86_labels.cmake")
    file(WRITE "${labels_file}" "foreach(test IN LISTS ${T_NAME}_x86_tests)\n"
         "  set_tests_properties(\"\${test}\" PROPERTIES LABELS \"x86;${T_LABEL}\")\nendforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${labels_file}")
  endif()
endfunction()

# si_read_rows(<file> <macro> <out_var>)
# The rows "<macro>(field, field, ...)" of a data file that the C++ code
# includes as an X-macro list (one row per line, a trailing // comment
# allowed): one entry per row in file order, its fields joined by "|", the
# quotes of string fields removed. A change of the file reconfigures.
function(si_read_rows file macro out_var)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
  file(STRINGS "${file}" lines REGEX "^${macro}\\(")
  set(rows "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "[ \t]*//.*$" "" line "${line}")
    if(NOT line MATCHES "^${macro}\\((.*)\\)$")
      message(FATAL_ERROR "${file}: '${line}' is not a row ${macro}(...)")
    endif()
    string(REPLACE ", " "|" row "${CMAKE_MATCH_1}")
    string(REPLACE "\"" "" row "${row}")
    list(APPEND rows "${row}")
  endforeach()
  set(${out_var} "${rows}" PARENT_SCOPE)
endfunction()

# The 17 language folders of lang/languages.inc, in their order (of the
# language pack and of the uninstaller's languages): SI_LANGUAGE_FOLDERS, and
# the resource LANGUAGE ("primary, sub") of each folder's library at the same
# place in SI_LANGUAGE_RESOURCE_LANGUAGES.
function(_si_read_languages)
  si_read_rows("${CMAKE_SOURCE_DIR}/lang/languages.inc" SI_LANGUAGE_FOLDER rows)
  set(folders "")
  set(languages "")
  foreach(row IN LISTS rows)
    string(REPLACE "|" ";" fields "${row}")
    list(GET fields 0 folder)
    list(GET fields 1 primary)
    list(GET fields 2 sub)
    list(APPEND folders "${folder}")
    list(APPEND languages "${primary}, ${sub}")
  endforeach()
  set(SI_LANGUAGE_FOLDERS "${folders}" PARENT_SCOPE)
  set(SI_LANGUAGE_RESOURCE_LANGUAGES "${languages}" PARENT_SCOPE)
endfunction()
_si_read_languages()

# si_lean_code(<target>): the installer's own code, compiled for size. None of
# it is a hot loop (the 7z decoding runs in 7zDec.dll, built for speed), so -Os;
# no exceptions (nothing throws or catches: what the library would throw ends
# the process, framework/lean_runtime.cpp); the strings' members compiled in
# place of the library's whole string modules (framework/string_instances.h).
function(si_lean_code target)
  set(options -Os -fno-exceptions ${SI_NO_UNWIND_TABLES} -include ${CMAKE_SOURCE_DIR}/framework/string_instances.h)
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${options}>")
endfunction()
# On i686 the unwind tables (.eh_frame) serve C++ exceptions only, so code
# without them needs none; x86_64 Windows requires its unwind data (.pdata)
# for every stack walk, so the twin keeps it.
if(SI_ARCH STREQUAL "i686")
  set(SI_NO_UNWIND_TABLES -fno-asynchronous-unwind-tables)
else()
  set(SI_NO_UNWIND_TABLES "")
endif()

# Registers a file as payload resource 130 (decoder), 131 (setup archive) or
# 132 (language pack), built by `target`; SetupInstall.exe embeds it.
function(si_register_payload id file target)
  set_property(GLOBAL PROPERTY SI_PAYLOAD_${id}_FILE "${file}")
  set_property(GLOBAL PROPERTY SI_PAYLOAD_${id}_TARGET "${target}")
endfunction()

# Release signing: SETUPINSTALL_SIGN_COMMAND is a program run as
# "<command> <file>" on each library SetupInstall.exe carries (the decoder and
# the language libraries) right after it is linked, so the archives and
# resources are packed from the signed files (scripts/sign.sh). Empty: no
# signing, and the build stays byte-for-byte reproducible.
set(SETUPINSTALL_SIGN_COMMAND "" CACHE STRING
    "Program that signs one file in place, run on every carried library before it is packed")
function(si_sign_after_build target)
  if(SETUPINSTALL_SIGN_COMMAND)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${SETUPINSTALL_SIGN_COMMAND} "$<TARGET_FILE:${target}>"
      COMMENT "Signing the library of ${target}"
      VERBATIM)
  endif()
endfunction()

# si_add_installer(<target> OUTPUT_DIR <dir> [SETUP_VARIANT <name>])
# A SetupInstall.exe in OUTPUT_DIR (named so wherever it is built: Wine's
# per-program Windows version goes by name): the installer's code (si_core),
# the xp_compat module, resources/SetupInstall.rc with the payload entries
# registered by si_register_payload (130 decoder, 131 setup archive, 132
# language pack). SETUP_VARIANT puts the setup archive of si_payload_variant
# <name> in the place of entry 131: the tests' installers.
function(si_add_installer target)
  cmake_parse_arguments(I "" "OUTPUT_DIR;SETUP_VARIANT" "" ${ARGN})
  set(res_src "${CMAKE_SOURCE_DIR}/resources")
  set(res_bin "${CMAKE_BINARY_DIR}/resources")
  if(SI_ARCH STREQUAL "i686")
    set(SI_MANIFEST_ARCH x86)
  else()
    set(SI_MANIFEST_ARCH amd64)
  endif()
  configure_file("${res_src}/SetupInstall.manifest.in" "${res_bin}/SetupInstall.manifest" @ONLY)

  # The payload entries, each recorded with its file and target in the
  # global properties SI_PAYLOAD_<id>_FILE / _TARGET; the script that names
  # them is the installer's own, found first on the include path.
  set(payload_rc "")
  set(payload_files "")
  set(payload_targets "")
  foreach(entry 130 131 132)
    get_property(file GLOBAL PROPERTY SI_PAYLOAD_${entry}_FILE)
    get_property(file_target GLOBAL PROPERTY SI_PAYLOAD_${entry}_TARGET)
    if(entry EQUAL 131 AND I_SETUP_VARIANT)
      get_property(file GLOBAL PROPERTY SI_PAYLOAD_VARIANT_${I_SETUP_VARIANT}_FILE)
      get_property(file_target GLOBAL PROPERTY SI_PAYLOAD_VARIANT_${I_SETUP_VARIANT}_TARGET)
      if(NOT file)
        message(FATAL_ERROR "si_add_installer: no payload variant '${I_SETUP_VARIANT}'")
      endif()
    endif()
    if(file)
      string(APPEND payload_rc "${entry} SETUPFILES \"${file}\"\n")
      list(APPEND payload_files "${file}")
      list(APPEND payload_targets ${file_target})
    endif()
  endforeach()
  set(rc_dir "${CMAKE_CURRENT_BINARY_DIR}/rc/${target}")
  file(GENERATE OUTPUT "${rc_dir}/payload_files.rc" CONTENT "${payload_rc}")

  # xp_compat and lean_runtime stand in the executable itself, not in si_core:
  # what they define must be there before the runtime libraries are searched.
  set(rc "${res_src}/SetupInstall.rc")
  add_executable(${target} WIN32 "${CMAKE_SOURCE_DIR}/app/main.cpp"
                 "${CMAKE_SOURCE_DIR}/framework/xp_compat.cpp" "${CMAKE_SOURCE_DIR}/framework/lean_runtime.cpp" "${rc}")
  si_lean_code(${target})
  target_link_libraries(${target} PRIVATE si_core)
  target_link_options(${target} PRIVATE -municode)
  target_include_directories(${target} BEFORE PRIVATE "${rc_dir}" "${res_src}" "${res_bin}")
  # The resource script of every installer of this folder rebuilds when any
  # of their payload files changes.
  set_property(SOURCE "${rc}" APPEND PROPERTY OBJECT_DEPENDS
    ${payload_files} "${res_src}/skin.png" "${res_src}/SetupInstall.ico" "${res_bin}/SetupInstall.manifest"
    "${res_src}/strings_config.rc" "${res_src}/strings_en.rc" "${res_src}/ui_common.rc")
  if(payload_targets)
    add_dependencies(${target} ${payload_targets})
  endif()
  set_target_properties(${target} PROPERTIES OUTPUT_NAME SetupInstall RUNTIME_OUTPUT_DIRECTORY "${I_OUTPUT_DIR}")
endfunction()
