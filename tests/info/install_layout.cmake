# Installs the build into a fresh prefix and checks what a desktop finds there.
#   cmake -DBUILD_DIR=… -DPREFIX=… -DSOURCE_DIR=… -DICON_SIZES=16,22,… -DVALIDATE=… -P <this>
cmake_minimum_required(VERSION 3.25)

# Reports every fault, not just the first; the prefix stays for a look when there was one.
set(failed FALSE)
macro(fail message)
    message(SEND_ERROR "${message}")
    set(failed TRUE)
endmacro()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

set(program "${PREFIX}/lib/dateimark/dateimark")
if(NOT EXISTS "${program}" OR IS_DIRECTORY "${program}")
    fail("the program is not at ${program}")
endif()

execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
    "${SOURCE_DIR}/assets/dateimark.htm" "${PREFIX}/lib/dateimark/dateimark.htm"
    RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
    fail("the help page beside the program is missing or not the source's")
endif()

# A relative link, so that the installed tree can be moved (or packaged) as a whole.
set(link "${PREFIX}/bin/dateimark")
if(NOT IS_SYMLINK "${link}")
    fail("${link} is not a symbolic link")
else()
    file(READ_SYMLINK "${link}" target)
    if(NOT target STREQUAL "../lib/dateimark/dateimark")
        fail("${link} points to '${target}'")
    endif()
    file(REAL_PATH "${link}" resolved)
    file(REAL_PATH "${program}" real_program)
    if(NOT resolved STREQUAL real_program)
        fail("${link} leads to ${resolved}, not to the program")
    endif()
endif()

set(entry "${PREFIX}/share/applications/dateimark.desktop")
if(NOT EXISTS "${entry}")
    fail("no desktop entry at ${entry}")
elseif(VALIDATE)
    execute_process(COMMAND "${VALIDATE}" "${entry}"
        RESULT_VARIABLE invalid OUTPUT_VARIABLE complaints ERROR_VARIABLE complaints)
    if(NOT invalid EQUAL 0 OR NOT complaints STREQUAL "")
        fail("desktop-file-validate objects to ${entry}:\n${complaints}")
    endif()
else()
    fail("desktop-file-validate is missing (package desktop-file-utils)")
endif()
file(STRINGS "${entry}" lines)
foreach(expected "Icon=dateimark" "Exec=dateimark" "Categories=Utility;")
    if(NOT expected IN_LIST lines)
        fail("the desktop entry lacks ${expected}")
    endif()
endforeach()

string(REPLACE "," ";" sizes "${ICON_SIZES}")
foreach(size IN LISTS sizes)
    if(NOT EXISTS "${PREFIX}/share/icons/hicolor/${size}x${size}/apps/dateimark.png")
        fail("no ${size}x${size} icon")
    endif()
endforeach()

if(NOT failed)
    file(REMOVE_RECURSE "${PREFIX}")
endif()
