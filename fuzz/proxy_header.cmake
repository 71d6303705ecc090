if(TARGET marquelin_server_net)
  marquelin_fuzz(fuzz_proxy_header ProxyHeaderFuzz.cpp)
  target_link_libraries(fuzz_proxy_header PRIVATE marquelin_server_net)
endif()
