# The installer's code in layers, one static library per folder, bottom up:
# framework and diag, state, unpack, install, ui, app. A layer's headers are
# reachable as "<folder>/<name>.h" only by the targets that link it, directly
# or through a layer above: each layer publishes an include root of its own in
# the build tree, holding a single link to its source folder. The repository
# root is on no layer's include path, so an include that reaches up a layer
# fails to build.

# si_layer_headers(<folder>): the INTERFACE target si_<folder>_headers that
# makes "<folder>/..." reachable, and nothing else.
function(si_layer_headers folder)
  set(root "${CMAKE_BINARY_DIR}/layers/${folder}")
  if(NOT EXISTS "${root}/${folder}")
    file(MAKE_DIRECTORY "${root}")
    file(CREATE_LINK "${CMAKE_SOURCE_DIR}/${folder}" "${root}/${folder}" SYMBOLIC)
  endif()
  add_library(si_${folder}_headers INTERFACE)
  target_include_directories(si_${folder}_headers INTERFACE "${root}")
endfunction()

# si_add_layer(<folder> SOURCES <file>... [USES <target>...]): the static
# library si_<folder> of the folder's sources; USES names the layers (and
# header targets) below it that it may include and link.
function(si_add_layer folder)
  cmake_parse_arguments(L "" "" "SOURCES;USES" ${ARGN})
  si_layer_headers(${folder})
  add_library(si_${folder} STATIC ${L_SOURCES})
  si_lean_code(si_${folder})
  target_link_libraries(si_${folder} PUBLIC si_${folder}_headers ${L_USES})
endfunction()

# The proof that the layers hold: a source of <layer> that includes <header>
# of a layer above must fail to compile for want of the header, while one
# that includes <allowed> of its own reach compiles.
function(si_add_layer_check layer header allowed)
  foreach(kind up ok)
    set(source "${CMAKE_BINARY_DIR}/layers/check_${layer}_${kind}.cpp")
    if(kind STREQUAL up)
      file(WRITE "${source}" "#include \"${header}\"\n")
    else()
      file(WRITE "${source}" "#include \"${allowed}\"\n")
    endif()
    add_library(si_layer_check_${layer}_${kind} OBJECT EXCLUDE_FROM_ALL "${source}")
    target_link_libraries(si_layer_check_${layer}_${kind} PRIVATE si_${layer})
    add_test(NAME layers.${layer}_${kind}
             COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target si_layer_check_${layer}_${kind})
  endforeach()
  set_tests_properties(layers.${layer}_up PROPERTIES LABELS artifact
                       PASS_REGULAR_EXPRESSION "${header}: No such file or directory")
  set_tests_properties(layers.${layer}_ok PROPERTIES LABELS artifact)
endfunction()
