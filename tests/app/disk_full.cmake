# Extraction onto a full disk: a small file system is mounted for the run and the DiskFull
# cases of the app tests extract into it. Skipped where this user may not mount one.
if(TARGET app_tests)
  add_test(NAME app_disk_full_check
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/disk_full_check.sh $<TARGET_FILE:app_tests> ${QVL_FIXTURE_DIR})
  set_tests_properties(app_disk_full_check PROPERTIES FIXTURES_REQUIRED app_fixtures LABELS app TIMEOUT 240
                       SKIP_RETURN_CODE 77)
endif()
