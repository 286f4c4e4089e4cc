# REZ fixtures of the app tests, and the process test of "Quarvel.exe --selftest".
add_test(NAME app_make_fixtures
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/make_fixtures.sh ${QVL_FIXTURE_DIR}/app)
set_tests_properties(app_make_fixtures PROPERTIES FIXTURES_SETUP app_fixtures LABELS app)

if(TARGET Quarvel)
  add_test(NAME app_selftest_process
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/selftest_check.sh $<TARGET_FILE:Quarvel> ${QVL_FIXTURE_DIR}/app)
  set_tests_properties(app_selftest_process PROPERTIES FIXTURES_REQUIRED app_fixtures LABELS app
                       RUN_SERIAL TRUE TIMEOUT 180)
endif()
