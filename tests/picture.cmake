# The committed picture is what tools/picture makes: regenerate it and compare.
if(TARGET make_picture)
  add_test(NAME picture_tool_reproduces_asset
           COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:make_picture> -DASSETS=${PROJECT_SOURCE_DIR}/assets
                   -DOUT=${CMAKE_CURRENT_BINARY_DIR}/picture_check -P ${CMAKE_CURRENT_SOURCE_DIR}/tools/picture_check.cmake)
  set_tests_properties(picture_tool_reproduces_asset PROPERTIES LABELS nosan TIMEOUT 120)
endif()
