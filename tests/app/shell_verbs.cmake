# Process test of the elevated integration verbs on the real program, read back with "reg export".
if(TARGET Quarvel)
  add_test(NAME app_shell_verbs
           COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/shell_verbs_check.py $<TARGET_FILE:Quarvel>)
  set_tests_properties(app_shell_verbs PROPERTIES LABELS app RESOURCE_LOCK shell_registry TIMEOUT 400)
endif()
