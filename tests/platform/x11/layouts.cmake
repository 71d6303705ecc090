# The same layout on two private Xvfb servers: what the technician types is
# what the supported side reads (needs setxkbmap).
marquelin_test(keyboard_layouts_x11_tests LABEL x11 TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/KeyboardLayoutsTest.cpp
  LIBS marquelin_platform)
