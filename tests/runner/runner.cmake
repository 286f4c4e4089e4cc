# The runner tests start the real Hobbleton.exe (self-extractors are built from it) and a
# small program that a self-extractor starts after its extraction; both sit beside them.
if(TARGET runner_tests)
  add_executable(qvl_cwd_probe ${CMAKE_CURRENT_LIST_DIR}/probe/cwd_probe.cpp)
  target_compile_options(qvl_cwd_probe PRIVATE ${QVL_WARNINGS})
  if(MINGW)
    target_link_options(qvl_cwd_probe PRIVATE -municode)
  endif()
  add_dependencies(runner_tests Hobbleton qvl_cwd_probe)
endif()

# A key goes to the control with the keyboard focus, which a window of another test process
# on the same display can take away: the cases that press keys, named "...Keys...", run alone.
if(TARGET runner_tests)
  set(QVL_RUNNER_PROPERTIES_FILE ${CMAKE_CURRENT_BINARY_DIR}/runner_tests_properties.cmake)
  file(WRITE ${QVL_RUNNER_PROPERTIES_FILE}
       "if(DEFINED runner_tests_TESTS)\n"
       "  set(qvl_key_tests \${runner_tests_TESTS})\n"
       "  list(FILTER qvl_key_tests INCLUDE REGEX \"Keys\")\n"
       "  if(qvl_key_tests)\n"
       "    set_tests_properties(\${qvl_key_tests} PROPERTIES RUN_SERIAL TRUE)\n"
       "  endif()\n"
       "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${QVL_RUNNER_PROPERTIES_FILE})
endif()
