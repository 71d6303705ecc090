# XTest input sink against a real X server, observed from another X client;
# and the same layout on two private Xvfb servers (needs setxkbmap).
marquelin_test(input_sink_x11_tests LABEL x11 TIMEOUT 900
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/InputSinkXTestTest.cpp
  LIBS marquelin_platform)
