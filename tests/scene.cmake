# Smoke test of the real intro on its own virtual display (Xvfb, xdotool and
# ImageMagick): it runs a program, so not under the sanitizers.
if(TARGET intro)
  add_test(NAME intro_smoke COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/scene_smoke.sh $<TARGET_FILE:intro>)
  set_tests_properties(intro_smoke PROPERTIES LABELS nosan TIMEOUT 60)
endif()
if(TARGET intro)
  add_test(NAME intro_quits_on_signals COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/intro_quit.sh $<TARGET_FILE:intro>)
  set_tests_properties(intro_quits_on_signals PROPERTIES LABELS nosan TIMEOUT 60)
endif()
