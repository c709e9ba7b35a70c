# The native intro plays its tune: what the audio device received equals the
# offline render. Runs real programs, so not under the sanitizers.
if(TARGET intro AND TARGET xmtool)
  add_test(NAME intro_plays_tune
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/intro_audio.sh $<TARGET_FILE:intro> $<TARGET_FILE:xmtool>
                   ${PROJECT_SOURCE_DIR}/assets/tune.xm)
  set_tests_properties(intro_plays_tune PROPERTIES LABELS nosan TIMEOUT 90)
endif()
