# Archives written by the pack/extract wizard, checked by unzip and 7z.
if(TARGET app_tests)
  add_test(NAME app_wizard_peer_check
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/wizard_peer_check.sh $<TARGET_FILE:app_tests>
                   ${QVL_FIXTURE_DIR} ${CMAKE_BINARY_DIR}/app_wizard_peer_check)
  set_tests_properties(app_wizard_peer_check PROPERTIES FIXTURES_REQUIRED app_fixtures LABELS app TIMEOUT 240)
endif()
