if(TARGET marquelin_server_relay)
  marquelin_fuzz(fuzz_relay_join RelayJoinFuzz.cpp)
  target_link_libraries(fuzz_relay_join PRIVATE marquelin_server_relay)
endif()
