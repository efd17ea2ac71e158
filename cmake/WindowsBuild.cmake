# The Windows program and the Qt-free core built for Windows with mingw-w64, its tests run
# under Wine. Built by `make test` and `make windows` through the target windows_package; not
# part of the default build.
find_program(DATEIMARK_MINGW_CXX x86_64-w64-mingw32-g++-posix)
find_program(DATEIMARK_WINE NAMES wine64 wine)
if(DATEIMARK_MINGW_CXX)
    include(ExternalProject)
    set(DATEIMARK_WINDOWS_DIR ${CMAKE_BINARY_DIR}/windows)
    # The Windows program's pictures, drawn here by the Qt drawing code, offscreen.
    set(art ${CMAKE_BINARY_DIR}/winart)
    add_custom_command(OUTPUT ${art}/logo.bmp
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            $<TARGET_FILE:dateimark_writewinart> ${art}
        DEPENDS dateimark_writewinart
        COMMENT "Drawing the Windows program's pictures"
        VERBATIM)
    add_custom_target(dateimark_winart DEPENDS ${art}/logo.bmp)
    ExternalProject_Add(windows_core
        SOURCE_DIR ${CMAKE_SOURCE_DIR}
        BINARY_DIR ${DATEIMARK_WINDOWS_DIR}
        CMAKE_GENERATOR Ninja
        DEPENDS dateimark_winart
        CMAKE_ARGS
            -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-w64.cmake
            -DCMAKE_BUILD_TYPE=Release
            -DDATEIMARK_ART_DIR=${art}
        BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> -j 2
        INSTALL_COMMAND ""
        BUILD_ALWAYS TRUE
        EXCLUDE_FROM_ALL TRUE)
    # The Windows window's list benchmark, for `make bench`.
    add_custom_target(windows_benchmarks
        COMMAND ${CMAKE_COMMAND} --build ${DATEIMARK_WINDOWS_DIR} --target benchmarks -j 2
        DEPENDS windows_core)
    # The package for Windows users, made by CPack from the Windows build's install rules: the
    # program and its help page, nothing else.
    set(stage ${CMAKE_BINARY_DIR}/windows-package)
    set(DATEIMARK_WINDOWS_ZIP ${CMAKE_BINARY_DIR}/dateimark-${PROJECT_VERSION}-windows-x64.zip)
    add_custom_target(windows_package
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
        COMMAND ${CMAKE_CPACK_COMMAND} --config ${DATEIMARK_WINDOWS_DIR}/CPackConfig.cmake
            -B ${stage}
        COMMAND ${CMAKE_COMMAND} -E rename ${stage}/dateimark-${PROJECT_VERSION}-windows-x64.zip
            ${DATEIMARK_WINDOWS_ZIP}
        DEPENDS windows_core
        COMMENT "Packing ${DATEIMARK_WINDOWS_ZIP}"
        VERBATIM)
endif()
if(DATEIMARK_MINGW_CXX AND DATEIMARK_WINE AND DATEIMARK_TESTS)
    add_test(NAME windows.package
        COMMAND ${CMAKE_SOURCE_DIR}/tests/app/win32/package.sh ${DATEIMARK_WINDOWS_ZIP})
    set(DATEIMARK_WINDOWS_TESTS ${DATEIMARK_WINDOWS_DIR}/tests/core_tests.exe CACHE INTERNAL "")
    set(DATEIMARK_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE INTERNAL "")
    # Wine takes the time zone and the user locale from the environment when it starts.
    add_test(NAME windows.core_tests_under_wine
        COMMAND ${CMAKE_SOURCE_DIR}/tests/run-wine.sh ${DATEIMARK_WINDOWS_TESTS})
    set_tests_properties(windows.core_tests_under_wine PROPERTIES
        ENVIRONMENT "WINEPREFIX=${DATEIMARK_WINEPREFIX};TZ=Europe/Berlin;LC_ALL=de_DE.UTF-8"
        SKIP_RETURN_CODE 77
        RESOURCE_LOCK wineprefix
        TIMEOUT 600)
    # The Windows window, with a display: built from the table, a drop, a click and "&Start".
    find_program(DATEIMARK_XVFB_RUN_FOR_WINE xvfb-run)
    if(DATEIMARK_XVFB_RUN_FOR_WINE)
        add_test(NAME windows.window_under_wine
            COMMAND ${CMAKE_SOURCE_DIR}/tests/app/win32/run-window-tests.sh
                ${DATEIMARK_WINDOWS_DIR}/tests/app/win32/win32_window_tests.exe)
        set_tests_properties(windows.window_under_wine PROPERTIES
            ENVIRONMENT "WINEPREFIX=${DATEIMARK_WINEPREFIX};TZ=Europe/Berlin;LC_ALL=de_DE.UTF-8"
            SKIP_RETURN_CODE 77
            RESOURCE_LOCK "wineprefix;xvfb"
            TIMEOUT 600)
    endif()
    set(DATEIMARK_HAVE_WINE ON CACHE INTERNAL "")
else()
    message(STATUS "mingw-w64 or Wine missing: the Windows core is not built")
    set(DATEIMARK_HAVE_WINE OFF CACHE INTERNAL "")
endif()
