# The size profile's sound against the default build's: the twin library
# (the profile with offline rendering kept) and the default one each render
# the same modules (the benchmarks' divergence tool writes them).
if(TARGET player_size_twin AND EXISTS ${PROJECT_SOURCE_DIR}/bench/divergence.cpp)
  add_executable(render_raw_default ${CMAKE_CURRENT_SOURCE_DIR}/size/render_raw.cpp)
  target_link_libraries(render_raw_default PRIVATE player)
  add_executable(render_raw_size ${CMAKE_CURRENT_SOURCE_DIR}/size/render_raw.cpp)
  target_link_libraries(render_raw_size PRIVATE player_size_twin)
  add_test(NAME size_profile_sounds_the_same
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/size/same_sound.sh $<TARGET_FILE:render_raw_default>
                   $<TARGET_FILE:render_raw_size> $<TARGET_FILE:divergence> ${PROJECT_SOURCE_DIR}/assets/tune.xm)
  set_tests_properties(size_profile_sounds_the_same PROPERTIES LABELS nosan)
endif()
