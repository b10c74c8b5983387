# Delay-load import libraries for the system DLLs that are not "known DLLs"
# (gdiplus.dll, version.dll): the loader would otherwise resolve them at
# process start from the folder the installer was started from, before any
# code of ours could restrict the search. Delay-loaded, they are resolved on
# first use, after start-up has limited the DLL search to the system folder.
#
# si_delay_import(<out-var> <dll base name>...) builds lib<name>_delay.a from
# the toolchain's own import library and returns the list of libraries to link.
function(si_delay_import out)
  set(libs "")
  string(REGEX REPLACE "-(gcc|g\\+\\+)(-posix)?$" "" prefix "${CMAKE_CXX_COMPILER}")
  get_filename_component(prefix "${prefix}" NAME)
  foreach(name ${ARGN})
    set(def ${CMAKE_BINARY_DIR}/delayload/${name}.def)
    set(lib ${CMAKE_BINARY_DIR}/delayload/lib${name}_delay.a)
    set(kill_at "")
    if(SI_ARCH STREQUAL "i686")
      set(kill_at -k)  # exports are undecorated, the import symbols keep @N
    endif()
    add_custom_command(OUTPUT ${lib}
      COMMAND ${CMAKE_COMMAND} -DNM=${prefix}-nm -DIMPLIB=${CMAKE_FIND_ROOT_PATH}/lib/lib${name}.a
              -DDLL=${name}.dll -DOUT=${def} -P ${CMAKE_SOURCE_DIR}/cmake/make_def.cmake
      COMMAND ${prefix}-dlltool -d ${def} -D ${name}.dll -y ${lib} ${kill_at}
      DEPENDS ${CMAKE_SOURCE_DIR}/cmake/make_def.cmake
      COMMENT "Delay-load import library for ${name}.dll"
      VERBATIM)
    add_custom_target(si_delay_${name} DEPENDS ${lib})
    add_library(si_delay_${name}_lib STATIC IMPORTED GLOBAL)
    set_target_properties(si_delay_${name}_lib PROPERTIES IMPORTED_LOCATION ${lib})
    add_dependencies(si_delay_${name}_lib si_delay_${name})
    list(APPEND libs si_delay_${name}_lib)
  endforeach()
  list(APPEND libs delayimp)
  set(${out} ${libs} PARENT_SCOPE)
endfunction()
