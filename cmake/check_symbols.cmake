# Fails when the static library LIB refers to a symbol its layer must not use: Qt, the C
# library's printing (printf, puts), strerror, abort, or the standard streams. The decoding core
# reports its failures as values and leaves the words and the output to its callers.
#
#   cmake -DNM=<nm> -DLIB=<library> -P check_symbols.cmake
execute_process(COMMAND ${NM} -u ${LIB} OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} -u ${LIB} failed")
endif()
string(REPLACE "\n" ";" symbols "${symbols}")
set(found "")
foreach(line IN LISTS symbols)
  string(REGEX REPLACE "^.* " "" symbol "${line}")
  if(symbol MATCHES "^_?(v?f?printf|puts|fputs|putchar|strerror(_r)?|abort)$"
     OR symbol MATCHES "[0-9]Q[A-Z][a-z]|^_?qt_|St4cout|St4cerr|St4clog")
    list(APPEND found ${symbol})
  endif()
endforeach()
if(found)
  list(REMOVE_DUPLICATES found)
  message(FATAL_ERROR "${LIB} uses ${found}")
endif()
