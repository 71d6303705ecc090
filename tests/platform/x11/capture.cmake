# X11 screen source and damage against a real X server, its content painted
# and read back by another X client. Serial: it paints over the whole screen.
marquelin_test(capture_x11_tests LABEL x11
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ScreenSourceX11Test.cpp ${CMAKE_CURRENT_LIST_DIR}/DamageSourceX11Test.cpp
  LIBS marquelin_platform)
set_tests_properties(capture_x11_tests PROPERTIES RUN_SERIAL TRUE)
