# Process test of "--add-to-rez" handed over by a second start: the running instance adds
# the files to the archive it has open and shows the archive again with them.
if(TARGET Quarvel)  # the probe comes with the single-instance test
  add_test(NAME app_add_to_rez_handover
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/add_to_rez_handover_check.sh $<TARGET_FILE:Quarvel>
                   $<TARGET_FILE:qvl_instance_probe> ${QVL_FIXTURE_DIR}/app)
  set_tests_properties(app_add_to_rez_handover PROPERTIES FIXTURES_REQUIRED app_fixtures LABELS app
                       RUN_SERIAL TRUE TIMEOUT 240)
endif()
