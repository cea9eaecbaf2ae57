# The floors of the program: one static library per folder, each linking exactly the
# floors that its files may include. The table at the end is the one place that says
# which; cmake/check_floors.cmake reads it at every build (and as the test floors.check)
# and fails on an include of a floor that is not in the including floor's list, so an
# include that runs up a floor or sideways breaks the build.
#
# korvalen_floor(<folder> [SEES <floor>...] [ALSO <folder>...] [LIBS <lib>...]
#                [WIN32_LIBS <lib>...])
#   The sources <folder>/*.cpp make the library korvalen-floor-<folder>: *_win32.cpp only in
#   the Windows build, *_posix.cpp only in the others; a floor with no sources on this
#   platform is an interface library. SEES names the floors its files may include, every
#   one declared before it, so that the floors run one way; the library links them.
#   ALSO names folders that are no floor and that it may include too (res/). LIBS and
#   WIN32_LIBS are the system's libraries it needs, everywhere and in the Windows build.
# korvalen_include_rule(<folder> [SEES <floor>...] [ALSO <folder>...])
#   The same rule for a folder of files that is no floor (the tools).
#
# In script mode (cmake -P, the check) the table is only recorded.

function(_korvalen_record_rule name sees also)
    get_property(declared GLOBAL PROPERTY KORVALEN_FLOORS)
    foreach(floor IN LISTS sees)
        if(NOT floor IN_LIST declared)
            message(FATAL_ERROR "floors: '${name}' sees '${floor}', which is no floor declared "
                                "before it (cmake/floors.cmake)")
        endif()
    endforeach()
    set_property(GLOBAL APPEND PROPERTY KORVALEN_INCLUDE_RULES ${name})
    set_property(GLOBAL PROPERTY KORVALEN_SEES_${name} ${sees})
    set_property(GLOBAL PROPERTY KORVALEN_ALSO_${name} ${also})
endfunction()

function(korvalen_include_rule name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SEES;ALSO")
    _korvalen_record_rule(${name} "${arg_SEES}" "${arg_ALSO}")
endfunction()

function(korvalen_floor name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SEES;ALSO;LIBS;WIN32_LIBS")
    _korvalen_record_rule(${name} "${arg_SEES}" "${arg_ALSO}")
    set_property(GLOBAL APPEND PROPERTY KORVALEN_FLOORS ${name})
    if(CMAKE_SCRIPT_MODE_FILE)
        return()
    endif()

    file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${name}/*.cpp)
    if(WIN32)
        list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
    else()
        list(FILTER sources EXCLUDE REGEX "_win32\\.cpp$")
    endif()
    set(target korvalen-floor-${name})
    if(sources)
        add_library(${target} STATIC ${sources})
        set(scope PUBLIC)
    else()
        add_library(${target} INTERFACE)
        set(scope INTERFACE)
    endif()
    target_include_directories(${target} ${scope} ${PROJECT_SOURCE_DIR})
    list(TRANSFORM arg_SEES PREPEND korvalen-floor- OUTPUT_VARIABLE floors)
    target_link_libraries(${target} ${scope} ${floors} ${arg_LIBS})
    if(WIN32)
        target_link_libraries(${target} ${scope} ${arg_WIN32_LIBS})
    endif()
    add_dependencies(${target} korvalen-floors-check)
endfunction()

if(NOT CMAKE_SCRIPT_MODE_FILE)
    add_custom_target(korvalen-floors-check
        COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
            -P ${PROJECT_SOURCE_DIR}/cmake/check_floors.cmake
        COMMENT "Floors: every include runs down"
        VERBATIM)
endif()

# What each floor holds: docs/architecture.md, "Floors".
korvalen_floor(platform LIBS Threads::Threads WIN32_LIBS advapi32)
korvalen_floor(record   SEES platform)
korvalen_floor(output   SEES record platform)
korvalen_floor(settings SEES platform)
korvalen_floor(decode   SEES output record settings platform)
korvalen_floor(worker   SEES decode output record settings platform)
korvalen_floor(serial   SEES worker decode output record settings platform WIN32_LIBS setupapi)
korvalen_floor(ui       SEES platform WIN32_LIBS user32)
korvalen_floor(app      SEES ui serial worker decode output record settings platform ALSO res
                        WIN32_LIBS comctl32 comdlg32 shell32 ole32 user32 gdi32)
# The tools sit on the core beside the window, and take none of its code; the simulator
# builds its flash from the tests' dump builder.
korvalen_include_rule(tools SEES serial worker decode output record settings platform
                      ALSO support)
