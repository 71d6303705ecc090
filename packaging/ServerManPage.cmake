# Writes marquelin-server's manual page: TEMPLATE with @OPTIONS@ replaced by
# the options the built SERVER lists in its --help.
#   cmake -DSERVER=... -DTEMPLATE=... -DOUT=... -DVERSION=... -P ServerManPage.cmake
execute_process(COMMAND ${SERVER} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${SERVER} --help failed: ${status}")
endif()
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE ";" "\\;" help "${help}")
string(REPLACE "\n" ";" lines "${help}")
set(OPTIONS "")
foreach(line IN LISTS lines)
  # "  --name VALUE   what it does (default)"
  if(line MATCHES "^  (--[a-z0-9-]+)( [A-Z]+)? +(.*)$")
    string(REPLACE "-" "\\-" name "${CMAKE_MATCH_1}")
    string(STRIP "${CMAKE_MATCH_2}" value)
    if(NOT value STREQUAL "")  # not if(value): "N" reads as false
      set(value " \\fI${value}\\fR")
    endif()
    string(APPEND OPTIONS ".TP\n.B ${name}${value}\n${CMAKE_MATCH_3}\n")
  endif()
endforeach()
configure_file(${TEMPLATE} ${OUT} @ONLY)
