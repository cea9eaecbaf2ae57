# Writes OUTPUT, a header with the program's version, the build's date and the
# revision of the working tree, and rewrites it only when one of them changed, so that
# an unchanged tree builds nothing again. Run at every build:
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -DVERSION=1.4 -P build_info.cmake
string(TIMESTAMP build_date "%d.%m.%Y")
set(revision "unknown")
find_package(Git QUIET)
if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} describe --always --dirty --abbrev=10
        WORKING_DIRECTORY ${SOURCE_DIR} OUTPUT_VARIABLE described
        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE status)
    if(status EQUAL 0 AND described)
        set(revision ${described})
    endif()
endif()
set(text "// Written by cmake/build_info.cmake at each build.
#pragma once
#define KORVALEN_VERSION \"${VERSION}\"
#define KORVALEN_BUILD_DATE \"${build_date}\"
#define KORVALEN_REVISION \"${revision}\"
")
if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
    file(WRITE ${OUTPUT} "${text}")
endif()
