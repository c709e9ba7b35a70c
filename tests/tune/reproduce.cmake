# Runs the composing tool on the score and compares its output with the
# committed module, byte for byte.
execute_process(COMMAND ${COMPOSE} ${SCORE} ${OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "compose failed (${rc})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${EXPECTED} RESULT_VARIABLE same)
if(NOT same EQUAL 0)
  file(SIZE ${OUT} got)
  message(FATAL_ERROR "the score no longer produces the committed module (${got} bytes written to ${OUT}); "
                      "run: compose assets/tune/song.txt assets/tune.xm")
endif()
