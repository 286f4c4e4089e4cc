# LZMA-framed fixtures of the game-format decoder tests. They join the decode fixture set,
# which every decode test already requires.
add_test(NAME decode_make_game_fixtures
         COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/gen_game_fixtures.py ${QVL_FIXTURE_DIR})
set_tests_properties(decode_make_game_fixtures PROPERTIES FIXTURES_SETUP decode_fixtures LABELS decode)
