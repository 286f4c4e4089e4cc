# The app tests run the real dialog templates and toolbar pictures: link the program's
# resources into the test program too.
if(TARGET app_tests)
  target_sources(app_tests PRIVATE ${CMAKE_SOURCE_DIR}/resources/app.rc)
  file(GLOB QVL_RC_PARTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/dialogs/*.rc ${CMAKE_SOURCE_DIR}/resources/*.h
       ${CMAKE_SOURCE_DIR}/resources/app.manifest ${CMAKE_SOURCE_DIR}/resources/art/*)
  set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/app.rc PROPERTIES OBJECT_DEPENDS "${QVL_RC_PARTS}")
endif()
