# Installs the build into a fresh prefix and checks what a desktop finds there.
#   cmake -DBUILD_DIR=… -DPREFIX=… -DSOURCE_DIR=… -DICON_SIZES=16,22,… -DVALIDATE=… -P <this>
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

# The program with its help page, and a relative link to it that moves with the tree.
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
    "${SOURCE_DIR}/assets/dateimark.htm" "${PREFIX}/lib/dateimark/dateimark.htm"
    RESULT_VARIABLE differs)
if(IS_DIRECTORY "${PREFIX}/lib/dateimark/dateimark" OR NOT differs EQUAL 0)
    message(SEND_ERROR "the program or its help page is missing from lib/dateimark")
endif()
file(READ_SYMLINK "${PREFIX}/bin/dateimark" target)
if(NOT target STREQUAL "../lib/dateimark/dateimark" OR NOT EXISTS "${PREFIX}/bin/dateimark")
    message(SEND_ERROR "bin/dateimark points to '${target}', not to the program")
endif()

set(entry "${PREFIX}/share/applications/dateimark.desktop")
if(NOT VALIDATE)
    message(FATAL_ERROR "desktop-file-validate is missing (package desktop-file-utils)")
endif()
execute_process(COMMAND "${VALIDATE}" "${entry}"
    RESULT_VARIABLE invalid OUTPUT_VARIABLE complaints ERROR_VARIABLE complaints)
file(STRINGS "${entry}" lines)
if(NOT invalid EQUAL 0 OR NOT complaints STREQUAL "" OR NOT "Exec=dateimark %U" IN_LIST lines
   OR NOT "Icon=dateimark" IN_LIST lines)
    message(SEND_ERROR "the desktop entry is wrong:\n${complaints}")
endif()

string(REPLACE "," ";" sizes "${ICON_SIZES}")
foreach(size IN LISTS sizes)
    if(NOT EXISTS "${PREFIX}/share/icons/hicolor/${size}x${size}/apps/dateimark.png")
        message(SEND_ERROR "no ${size}x${size} icon")
    endif()
endforeach()
