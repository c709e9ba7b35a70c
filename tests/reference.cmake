# The reference comparison: modules made by the test, rendered by xmtool and
# by openmpt123, compared by loudness envelope and pitch. It runs programs, so
# it carries the nosan label.
if(TARGET xmtool)
  add_executable(reference_tests ${CMAKE_CURRENT_SOURCE_DIR}/reference/reference_test.cpp)
  target_include_directories(reference_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(reference_tests PRIVATE player xmwriter GTest::gtest_main)
  target_compile_definitions(reference_tests PRIVATE XMTOOL_PATH="$<TARGET_FILE:xmtool>"
                             TUNE_PATH="${PROJECT_SOURCE_DIR}/assets/tune.xm")
  add_dependencies(reference_tests xmtool)
  gtest_discover_tests(reference_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS nosan)
endif()
