# XTest input sink against a real X server, observed from another X client.
marquelin_test(input_sink_x11_tests LABEL x11
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/InputSinkXTestTest.cpp
  LIBS marquelin_platform)
