# Checks of the embedded tune: its shape, that the composing tool rebuilds it
# byte for byte from the score, and a reference render's level and length.
set(tune_module ${PROJECT_SOURCE_DIR}/assets/tune.xm)

add_executable(tune_tests ${CMAKE_CURRENT_SOURCE_DIR}/tune/tune_shape_test.cpp)
target_compile_definitions(tune_tests PRIVATE TUNE_MODULE_PATH="${tune_module}")
target_link_libraries(tune_tests PRIVATE player GTest::gtest_main)
gtest_discover_tests(tune_tests DISCOVERY_TIMEOUT 60)

# The composing tool's score notation, module writer and synthesis.
add_executable(compose_tests ${CMAKE_CURRENT_SOURCE_DIR}/tune/compose_test.cpp)
target_link_libraries(compose_tests PRIVATE compose_core GTest::gtest_main)
gtest_discover_tests(compose_tests DISCOVERY_TIMEOUT 60)

add_test(NAME tune_compose_reproduces_module
         COMMAND ${CMAKE_COMMAND}
                 -DCOMPOSE=$<TARGET_FILE:compose>
                 -DSCORE=${PROJECT_SOURCE_DIR}/assets/tune/song.txt
                 -DEXPECTED=${tune_module}
                 -DOUT=${CMAKE_CURRENT_BINARY_DIR}/tune-recomposed.xm
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/tune/reproduce.cmake)

# Reference renderers: each renders the song once through; the peak limits
# follow from how loud each mixes a full-volume centred voice (openmpt123
# about 0.2 of full scale, xmp about 0.24, our player 0.25), so that the
# limits keep our player's loudest point below about -5 dBFS.
find_program(OPENMPT123 openmpt123)
find_program(XMP xmp)
find_program(SOX sox)
if(OPENMPT123 AND SOX)
  add_test(NAME tune_reference_render_openmpt
           COMMAND ${CMAKE_COMMAND}
                   -DRENDERER=openmpt -DPROGRAM=${OPENMPT123} -DSOX=${SOX} -DMAX_PEAK=0.45
                   -DMODULE=${tune_module} -DWORK=${CMAKE_CURRENT_BINARY_DIR}/tune-render-openmpt
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/tune/reference_render.cmake)
  set_tests_properties(tune_reference_render_openmpt PROPERTIES LABELS nosan)
endif()
if(XMP AND SOX)
  add_test(NAME tune_reference_render_xmp
           COMMAND ${CMAKE_COMMAND}
                   -DRENDERER=xmp -DPROGRAM=${XMP} -DSOX=${SOX} -DMAX_PEAK=0.55
                   -DMODULE=${tune_module} -DWORK=${CMAKE_CURRENT_BINARY_DIR}/tune-render-xmp
                   -P ${CMAKE_CURRENT_SOURCE_DIR}/tune/reference_render.cmake)
  set_tests_properties(tune_reference_render_xmp PROPERTIES LABELS nosan)
endif()
