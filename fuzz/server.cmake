if(TARGET marquelin_server_core)
  marquelin_fuzz(fuzz_server_request ServerRequestFuzz.cpp)
  target_link_libraries(fuzz_server_request PRIVATE marquelin_server_core)
endif()
