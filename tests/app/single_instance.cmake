# Process test of the single-instance rule: a second start hands its path to the running
# instance by WM_COPYDATA and exits with 0; a probe program watches the window from outside.
if(TARGET Quarvel)
  add_executable(qvl_instance_probe ${CMAKE_CURRENT_LIST_DIR}/probe/instance_probe.cpp)
  target_compile_options(qvl_instance_probe PRIVATE ${QVL_WARNINGS})
  target_link_options(qvl_instance_probe PRIVATE -municode)
  add_test(NAME app_single_instance
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/single_instance_check.sh $<TARGET_FILE:Quarvel>
                   $<TARGET_FILE:qvl_instance_probe> ${QVL_FIXTURE_DIR}/app)
  set_tests_properties(app_single_instance PROPERTIES FIXTURES_REQUIRED app_fixtures LABELS app
                       RUN_SERIAL TRUE TIMEOUT 180)
endif()
