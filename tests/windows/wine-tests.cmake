# Helpers shared by the Wine-only test folders (tests/windows, tests/msvc_abi).
#
# RLS_LINUX_EMULATOR: the Linux scales-emulator program (from the Linux build)
# that the Windows programs talk to over 127.0.0.1.  Tests that need it are
# only registered when it is given.
set(RLS_LINUX_EMULATOR "" CACHE FILEPATH "Linux scales-emulator program for the Wine tests")

# The add-in DLL target of this build.
set(RLS_ADDIN_DLL_TARGET rls_addin CACHE STRING "Target name of the add-in shared library")

# rls_wine_emulator_test(<name> [EMULATOR_OPTIONS ...] COMMAND <target> [args...])
# Runs the Windows program <target> under Wine with the Linux emulator beside it.
function(rls_wine_emulator_test name)
    cmake_parse_arguments(ARG "" "" "EMULATOR_OPTIONS;COMMAND" ${ARGN})
    if(NOT RLS_LINUX_EMULATOR)
        message(STATUS "${name}: not registered (set RLS_LINUX_EMULATOR)")
        return()
    endif()
    list(POP_FRONT ARG_COMMAND _program)
    add_test(NAME ${name}
             COMMAND ${RLS_WINE_TESTS_DIR}/with-emulator.sh ${RLS_LINUX_EMULATOR}
                     ${ARG_EMULATOR_OPTIONS} --
                     ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${_program}> ${ARG_COMMAND})
    set_tests_properties(${name} PROPERTIES LABELS wine-e2e TIMEOUT 900)
endfunction()
set(RLS_WINE_TESTS_DIR ${CMAKE_CURRENT_LIST_DIR})
