# Lumbrel.dll is tested the way a shell uses it: registered for the test's run, created with
# CoCreateInstance, given an archive and a dropped file list; a stub program in place of
# Quarvel.exe records the command line the handler starts it with.
if(NOT TARGET Lumbrel)
  return()
endif()
add_executable(lumbrel_stub ${CMAKE_CURRENT_LIST_DIR}/command_line_stub.cpp)
target_compile_options(lumbrel_stub PRIVATE ${QVL_WARNINGS})
if(MINGW)
  target_link_options(lumbrel_stub PRIVATE -municode)
endif()

add_executable(drophandler_tests ${CMAKE_CURRENT_LIST_DIR}/drop_handler_test.cpp)
target_compile_options(drophandler_tests PRIVATE ${QVL_WARNINGS})
target_include_directories(drophandler_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(drophandler_tests PRIVATE archive qvl_test_main ole32 uuid shell32 user32 advapi32)
add_dependencies(drophandler_tests Lumbrel lumbrel_stub)

# Every case registers the drop handler's class id for its run, a key the shell-integration
# tests write too, so they all take the registry in turn; the ones that click a message box
# run alone on the shared display.
set(QVL_DROP_PROPERTIES_FILE ${CMAKE_CURRENT_BINARY_DIR}/drophandler_tests_properties.cmake)
file(WRITE ${QVL_DROP_PROPERTIES_FILE}
     "if(DEFINED drophandler_tests_TESTS)\n"
     "  set_tests_properties(\${drophandler_tests_TESTS} PROPERTIES RESOURCE_LOCK shell_registry)\n"
     "  set(qvl_drop_click_tests \${drophandler_tests_TESTS})\n"
     "  list(FILTER qvl_drop_click_tests INCLUDE REGEX \"Clicks|Pointer\")\n"
     "  if(qvl_drop_click_tests)\n"
     "    set_tests_properties(\${qvl_drop_click_tests} PROPERTIES RUN_SERIAL TRUE)\n"
     "  endif()\n"
     "endif()\n")
gtest_discover_tests(drophandler_tests
  DISCOVERY_MODE PRE_TEST
  DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS drophandler)
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${QVL_DROP_PROPERTIES_FILE})
