# Process test of "--pack": a start with the verb packs the folder into a new archive next
# to it, shows the finished dialog, and ends with 0 once that dialog is closed.
if(TARGET Quarvel)  # the probe comes with the single-instance test
  add_test(NAME app_pack_verb
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/pack_verb_check.sh $<TARGET_FILE:Quarvel>
                   $<TARGET_FILE:qvl_instance_probe>)
  set_tests_properties(app_pack_verb PROPERTIES LABELS app RUN_SERIAL TRUE TIMEOUT 180)
endif()
