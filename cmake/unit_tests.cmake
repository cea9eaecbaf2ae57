# The unit tests of tests/unit are chosen by their file names, so that a new test file
# lands in the right builds without a list to keep:
#   *_threads_test.cpp         threads share state: label "unit-threads", the only ones the
#                              ThreadSanitizer build makes
#   *_posix_test.cpp,          lean on POSIX (pseudo-terminals, child processes, the
#   *_posix_threads_test.cpp   simulator): native only
#   every other *_test.cpp     also built for Windows and run under Wine
#
# korvalen_unit_test_files(<var> threads|others|portable) sets <var> to the thread tests,
# the rest, or those that also run under Wine.
function(korvalen_unit_test_files var which)
    file(GLOB files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/unit/*_test.cpp)
    if(which STREQUAL "threads")
        list(FILTER files INCLUDE REGEX "_threads_test\\.cpp$")
    elseif(which STREQUAL "others")
        list(FILTER files EXCLUDE REGEX "_threads_test\\.cpp$")
    elseif(which STREQUAL "portable")
        list(FILTER files EXCLUDE REGEX "_posix(_threads)?_test\\.cpp$")
    else()
        message(FATAL_ERROR "korvalen_unit_test_files: threads, others or portable, not '${which}'")
    endif()
    set(${var} ${files} PARENT_SCOPE)
endfunction()
