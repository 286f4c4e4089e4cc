# The gtest cases are only known once ctest has listed them, so their properties are
# attached from a file that ctest reads after the listing:
# - every case may read the archives that app_make_fixtures (re)writes, so none starts
#   before that script has finished;
# - the cases that use the clipboard, named "...Clipboard...", take it in turn: all test
#   processes of one run share it (one wineserver, one display), and a parallel case
#   could open it, or replace its content, between another case's copy and paste;
# - the cases that click with the real mouse, named "...Clicks...", and those that move the
#   pointer and show windows under it, named "...Pointer...", run alone: a window or a
#   mouse capture of another test process on the same display would take the click or
#   the drop; so do the cases that check which window has the foreground, named
#   "...Foreground...": another process's new window would take it.
if(TARGET app_tests)
  set(QVL_APP_PROPERTIES_FILE ${CMAKE_CURRENT_BINARY_DIR}/app_tests_properties.cmake)
  file(WRITE ${QVL_APP_PROPERTIES_FILE}
       "if(DEFINED app_tests_TESTS)\n"
       "  set_tests_properties(\${app_tests_TESTS} PROPERTIES FIXTURES_REQUIRED app_fixtures)\n"
       "  set(qvl_clipboard_tests \${app_tests_TESTS})\n"
       "  list(FILTER qvl_clipboard_tests INCLUDE REGEX \"Clipboard\")\n"
       "  if(qvl_clipboard_tests)\n"
       "    set_tests_properties(\${qvl_clipboard_tests} PROPERTIES RESOURCE_LOCK clipboard)\n"
       "  endif()\n"
       "  set(qvl_mouse_tests \${app_tests_TESTS})\n"
       "  list(FILTER qvl_mouse_tests INCLUDE REGEX \"Clicks|Pointer|Foreground\")\n"
       "  if(qvl_mouse_tests)\n"
       "    set_tests_properties(\${qvl_mouse_tests} PROPERTIES RUN_SERIAL TRUE)\n"
       "  endif()\n"
       "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${QVL_APP_PROPERTIES_FILE})
endif()
