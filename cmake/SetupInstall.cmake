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

# The 17 language folders: of the language pack and of the uninstaller's languages.
set(SI_LANGUAGE_FOLDERS
  "Chinese(Traditional)" "Dutch(Netherlands)" "English(United_States)" "French(France)"
  "German(Germany)" "Indonesian(Indonesia)" "Italian(Standard)" "Japanese(Japan)"
  "Korean(Korea)" "Polish(Poland)" "Portuguese(Brazil)" "Russian(Russia)" "Spanish(Latin)"
  "Spanish(Spain)" "Thai(Thailand)" "Ukrainian(Ukraine)" "Vietnamese(Vietnam)")

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
