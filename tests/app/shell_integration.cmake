# Explorer-integration cases write the one registry of the test prefix: the in-process
# cases ("ShellRegistry...", "ShellElevation...") and the run of the real program take it
# in turn, so that none reads another's keys or removes them under it.
if(TARGET app_tests)
  set(QVL_SHELL_PROPERTIES_FILE ${CMAKE_CURRENT_BINARY_DIR}/app_tests_shell_properties.cmake)
  file(WRITE ${QVL_SHELL_PROPERTIES_FILE}
       "if(DEFINED app_tests_TESTS)\n"
       "  set(qvl_shell_tests \${app_tests_TESTS})\n"
       "  list(FILTER qvl_shell_tests INCLUDE REGEX \"^Shell(Registry|Elevation)\\\\.\")\n"
       "  if(qvl_shell_tests)\n"
       "    set_tests_properties(\${qvl_shell_tests} PROPERTIES RESOURCE_LOCK shell_registry)\n"
       "  endif()\n"
       "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${QVL_SHELL_PROPERTIES_FILE})
endif()
