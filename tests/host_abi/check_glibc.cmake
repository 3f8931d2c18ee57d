# Fails when the add-in library needs a C library newer than NEWEST: the
# oldest version any of its imported symbols is bound to decides which Linux
# hosts can load it.  Run as: cmake -DNM=nm -DLIBRARY=<path> -DNEWEST=2.35 -P ...
execute_process(COMMAND ${NM} -D --undefined-only ${LIBRARY}
    OUTPUT_VARIABLE _out RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]*@GLIBC_[0-9.]+" _imports "${_out}")
set(_too_new)
foreach(_import IN LISTS _imports)
    string(REGEX MATCH "GLIBC_([0-9.]+)$" _ "${_import}")
    if(CMAKE_MATCH_1 VERSION_GREATER NEWEST)
        string(STRIP "${_import}" _import)
        list(APPEND _too_new "${_import}")
    endif()
endforeach()
if(_too_new)
    message(FATAL_ERROR "needs a C library newer than ${NEWEST}: ${_too_new}")
endif()
message(STATUS "${LIBRARY}: C library ${NEWEST} or older suffices")
