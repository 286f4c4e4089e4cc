# 7z and LZMA fixtures, made by the real tools at build time (the gtest cases read them), and
# peer checks of what our 7z writer produces.
set(QVL_SEVENZIP_STAMP ${QVL_FIXTURE_DIR}/sevenzip.stamp)
add_custom_command(
  OUTPUT ${QVL_SEVENZIP_STAMP}
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/sevenzip_fixtures.sh ${QVL_FIXTURE_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${QVL_SEVENZIP_STAMP}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/sevenzip_fixtures.sh
  COMMENT "Making the 7z and LZMA fixtures")
add_custom_target(sevenzip_fixtures ALL DEPENDS ${QVL_SEVENZIP_STAMP})

if(TARGET archive_tests)
  add_test(NAME sevenzip_peer_check
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/sevenzip_peer_check.sh $<TARGET_FILE:archive_tests>
            ${CMAKE_BINARY_DIR}/sevenzip_peer_check)
  set_tests_properties(sevenzip_peer_check PROPERTIES LABELS archive)
  add_test(NAME sevenzip_rewrite_check
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/sevenzip_rewrite_check.sh $<TARGET_FILE:archive_tests>
            ${CMAKE_BINARY_DIR}/sevenzip_rewrite_check)
  set_tests_properties(sevenzip_rewrite_check PROPERTIES LABELS archive)
endif()
