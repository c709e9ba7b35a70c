# xmtool end to end: runs the built tool on modules the test writer makes.
if(TARGET xmtool)
  add_executable(xmtool_tests ${CMAKE_CURRENT_SOURCE_DIR}/tools/xmtool_test.cpp)
  target_include_directories(xmtool_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(xmtool_tests PRIVATE player xmwriter GTest::gtest_main)
  target_compile_definitions(xmtool_tests PRIVATE XMTOOL_PATH="$<TARGET_FILE:xmtool>")
  add_dependencies(xmtool_tests xmtool)
  gtest_discover_tests(xmtool_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS nosan)
endif()
