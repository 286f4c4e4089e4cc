# Fixtures of the decode tests: made once before any decode test runs.
add_test(NAME decode_make_fixtures
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/make_fixtures.sh ${QVL_FIXTURE_DIR})
set_tests_properties(decode_make_fixtures PROPERTIES FIXTURES_SETUP decode_fixtures LABELS decode)

# The gtest cases are only known once ctest has listed them, so the fixture requirement
# is attached from a file that ctest reads after the listing.
if(TARGET decode_tests)
  set(QVL_DECODE_REQUIRE_FILE ${CMAKE_CURRENT_BINARY_DIR}/decode_tests_fixtures.cmake)
  file(WRITE ${QVL_DECODE_REQUIRE_FILE}
       "if(DEFINED decode_tests_TESTS)\n"
       "  set_tests_properties(\${decode_tests_TESTS} PROPERTIES FIXTURES_REQUIRED decode_fixtures)\n"
       "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${QVL_DECODE_REQUIRE_FILE})
endif()
