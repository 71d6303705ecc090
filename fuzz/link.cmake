marquelin_fuzz(fuzz_tecnico_stream TecnicoStreamFuzz.cpp)
marquelin_fuzz(fuzz_cliente_lines ClienteLinesFuzz.cpp)
# The supported side's dispatcher drives the tests' recording input sink.
target_include_directories(fuzz_cliente_lines PRIVATE ${CMAKE_SOURCE_DIR}/tests)
