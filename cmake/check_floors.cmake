cmake_minimum_required(VERSION 3.25)
# cmake -DSOURCE_DIR=<tree> -P cmake/check_floors.cmake
# Fails when a file of a floor (or of a folder with an include rule) includes a header of
# a folder that is not its own nor in its lists of cmake/floors.cmake: a floor above it
# or beside it. Includes are written from the top of the tree ("decode/route.h"); a name
# without a folder is the file's own folder's or a generated header's (build_info.h),
# and a path that climbs ("../") is refused, as it would slip past the rule.
if(NOT SOURCE_DIR)
    set(SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/..)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/floors.cmake)

get_property(rules GLOBAL PROPERTY KORVALEN_INCLUDE_RULES)
set(faults "")
foreach(folder IN LISTS rules)
    get_property(sees GLOBAL PROPERTY KORVALEN_SEES_${folder})
    get_property(also GLOBAL PROPERTY KORVALEN_ALSO_${folder})
    set(allowed ${folder} ${sees} ${also})
    file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${folder}/*.h
         ${SOURCE_DIR}/${folder}/*.cpp)
    foreach(file IN LISTS files)
        file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" header "${line}")
            if(header MATCHES "^\\.\\.?/")
                string(APPEND faults "\n  ${file}: #include \"${header}\": climbs; "
                                     "write it from the top of the tree")
            elseif(header MATCHES "/")
                string(REGEX REPLACE "/.*" "" top "${header}")
                if(NOT top IN_LIST allowed)
                    list(JOIN allowed ", " allowed_text)
                    string(APPEND faults "\n  ${file}: #include \"${header}\": ${folder}/ may "
                                         "include only ${allowed_text}")
                endif()
            endif()
        endforeach()
    endforeach()
endforeach()
if(faults)
    message(FATAL_ERROR "Includes that run up a floor or sideways (the floors and what each "
                        "may include: cmake/floors.cmake):${faults}")
endif()
