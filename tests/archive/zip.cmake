# Deflate and ZIP fixtures, made by the real tools at build time (the gtest cases read them).
set(QVL_ZIP_STAMP ${QVL_FIXTURE_DIR}/zip.stamp)
add_custom_command(
  OUTPUT ${QVL_ZIP_STAMP}
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/zip_fixtures.sh ${QVL_FIXTURE_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${QVL_ZIP_STAMP}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/zip_fixtures.sh
  COMMENT "Making the Deflate and ZIP fixtures")
add_custom_target(zip_fixtures ALL DEPENDS ${QVL_ZIP_STAMP})

# Archives written by our ZIP writer, checked by unzip and 7z.
if(TARGET archive_tests)
  add_test(NAME zip_writer_peer_check
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/zip_peer_check.sh $<TARGET_FILE:archive_tests>
                   ${QVL_FIXTURE_DIR} ${CMAKE_BINARY_DIR}/zip_peer_check)
  set_tests_properties(zip_writer_peer_check PROPERTIES LABELS archive TIMEOUT 240)
endif()
