# The bare main program is read by the container tests, so it is built before them; and the
# containers the builder writes are read by an independent reader in Python.
if(TARGET app_tests AND TARGET Quarvel)
  add_dependencies(app_tests Quarvel)
endif()
if(TARGET app_tests)
  find_program(QVL_PYTHON3 python3)
  if(QVL_PYTHON3)
    add_test(NAME app_sfx_peer_check
             COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/sfx_peer_check.sh $<TARGET_FILE:app_tests>
                     ${QVL_FIXTURE_DIR} ${CMAKE_BINARY_DIR}/app_sfx_peer_check)
    set_tests_properties(app_sfx_peer_check PROPERTIES FIXTURES_REQUIRED app_fixtures LABELS app TIMEOUT 120)
  endif()
endif()
