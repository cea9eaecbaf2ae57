# Writes OUTPUT, a header with the program's version, the build's date and the
# revision of the working tree, and rewrites it only when one of them changed, so that
# an unchanged tree builds nothing again. Run at every build:
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -DVERSION=1.4.0 -P build_info.cmake
# VERSION is the project's version (CMakeLists.txt); the header gives it as the text
# people see ("1.4") and as the four numbers of the Windows version resources. The
# resource compiler and makensis read the header too, so it holds plain #defines only.
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
string(REPLACE "." ";" parts "${VERSION}.0.0")
list(GET parts 0 major)
list(GET parts 1 minor)
list(GET parts 2 patch)
set(text "// Written by cmake/build_info.cmake at each build.
#pragma once
#define KORVALEN_VERSION \"${major}.${minor}\"
#define KORVALEN_VERSION_MAJOR ${major}
#define KORVALEN_VERSION_MINOR ${minor}
#define KORVALEN_VERSION_PATCH ${patch}
#define KORVALEN_FILE_VERSION \"${major}.${minor}.${patch}.0\"
#define KORVALEN_BUILD_DATE \"${build_date}\"
#define KORVALEN_REVISION \"${revision}\"
")
if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
    file(WRITE ${OUTPUT} "${text}")
endif()
