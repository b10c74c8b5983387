# Small archives the mutation test starts from: a few entries each (a text, a
# piece of an executable so BCJ2 has work, an empty file, an empty folder), in
# the methods the installer's archives use and a few others.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT}/tree/sub ${OUT}/tree/emptydir)
string(REPEAT "KALVERON driver payload line\r\n" 40 text)
file(WRITE ${OUT}/tree/a.txt "${text}")
file(WRITE ${OUT}/tree/empty.txt "")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy ${EXE_SAMPLE} ${OUT}/tree/sub/tool.exe)
set(variants
  "solid_bcj2|-ms=on,-mf=BCJ2,-m0=LZMA"
  "lzma2|-ms=off,-m0=LZMA2"
  "plain_header|-ms=on,-mhc=off,-m0=LZMA"
  "copy|-m0=Copy,-mhc=off")
foreach(v ${variants})
  string(REPLACE "|" ";" parts "${v}")
  string(REPLACE "," ";" parts "${parts}")
  list(GET parts 0 name)
  list(SUBLIST parts 1 -1 options)
  execute_process(COMMAND ${SEVENZIP} a -t7z -mx=9 ${options} -mtm- -mtc- -mta- ${OUT}/${name}.7z .
                  WORKING_DIRECTORY ${OUT}/tree OUTPUT_QUIET RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "7zz failed for ${name}")
  endif()
endforeach()
