# Process tests of the running instance; a probe program watches the window from outside:
# - the single-instance rule: a second start hands its path to the running instance by
#   WM_COPYDATA and exits with 0;
# - "--add-to-rez" handed over by a second start: the running instance adds the files to the
#   archive it has open and shows the archive again with them;
# - two "--add-to-rez" starts at once, ids over the whole archive, replacements reported, and
#   a killed save's temporary file removed by the next start.
if(TARGET Quarvel)
  add_executable(qvl_instance_probe ${CMAKE_CURRENT_LIST_DIR}/probe/instance_probe.cpp)
  target_compile_options(qvl_instance_probe PRIVATE ${QVL_WARNINGS})
  target_link_options(qvl_instance_probe PRIVATE -municode)

  # Each runs alone: both start the program and look for its one main window.
  function(qvl_instance_test name script timeout)
    add_test(NAME ${name}
             COMMAND bash ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${script} $<TARGET_FILE:Quarvel>
                     $<TARGET_FILE:qvl_instance_probe> ${QVL_FIXTURE_DIR}/app)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED app_fixtures LABELS app
                         RUN_SERIAL TRUE TIMEOUT ${timeout})
  endfunction()

  qvl_instance_test(app_single_instance single_instance_check.sh 180)
  qvl_instance_test(app_add_to_rez_handover add_to_rez_handover_check.sh 240)
  qvl_instance_test(app_add_to_rez_race add_to_rez_race_check.sh 400)

  # A self-extractor whose archive does not fit in a tiny temporary folder (mounted by the
  # check; skipped where nothing can be mounted). Alone: it looks for a box by its caption.
  if(TARGET Hobbleton)
    add_test(NAME runner_small_temp
             COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../runner/small_temp_check.sh $<TARGET_FILE:Hobbleton>
                     $<TARGET_FILE:Quarvel> $<TARGET_FILE:qvl_instance_probe>)
    set_tests_properties(runner_small_temp PROPERTIES LABELS runner RUN_SERIAL TRUE TIMEOUT 300
                         SKIP_RETURN_CODE 77)
  endif()
endif()
