# Archives written by the format conversion, checked by unzip and 7z.
if(TARGET app_tests)
  add_test(NAME app_convert_peer_check
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/convert_peer_check.sh $<TARGET_FILE:app_tests>
                   ${QVL_FIXTURE_DIR} ${CMAKE_BINARY_DIR}/app_convert_peer_check)
  set_tests_properties(app_convert_peer_check PROPERTIES FIXTURES_REQUIRED app_fixtures LABELS app TIMEOUT 240)
endif()
