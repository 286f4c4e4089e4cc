# The app tests run the real dialog templates and toolbar pictures: link the program's
# resources into the test program too.
if(TARGET app_tests)
  target_sources(app_tests PRIVATE ${CMAKE_SOURCE_DIR}/resources/app.rc)
endif()
