# Install rules: the program, its help page, the desktop entry, the file managers' context menus
# and the icons.
#   <prefix>/lib/dateimark/dateimark        the program, with dateimark.htm beside it
#   <prefix>/bin/dateimark                  a link to it; the program resolves the link to find
#                                           its folder and so the help page
#   <prefix>/share/applications/dateimark.desktop
#   <prefix>/share/kio/servicemenus/dateimark-attributes.desktop     Dolphin (KF5 from 5.85, KF6)
#   <prefix>/share/nemo/actions/dateimark.nemo_action                Nemo
#   <prefix>/share/file-manager/actions/dateimark-attributes.desktop pcmanfm, pcmanfm-qt (libfm)
#   <prefix>/share/icons/hicolor/<n>x<n>/apps/dateimark.png

set(DATEIMARK_PROGRAM_DIR lib/dateimark)
set(DATEIMARK_ICON_SIZES 16 22 24 32 48 64 128 256)

install(TARGETS dateimark RUNTIME DESTINATION ${DATEIMARK_PROGRAM_DIR})
install(FILES assets/dateimark.htm DESTINATION ${DATEIMARK_PROGRAM_DIR})
install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/dateimark\")
    message(STATUS \"Installing: \${link}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(CREATE_LINK ../${DATEIMARK_PROGRAM_DIR}/dateimark \"\${link}\" SYMBOLIC)
")
install(FILES assets/dateimark.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# KIO trusts a desktop file that is executable or root's: the package's are root's, so the service
# menu keeps mode 644, as lintian wants of data files.
install(FILES assets/filemanager/dolphin-servicemenu.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/kio/servicemenus RENAME dateimark-attributes.desktop)
install(FILES assets/filemanager/dateimark.nemo_action DESTINATION ${CMAKE_INSTALL_DATADIR}/nemo/actions)
install(FILES assets/filemanager/pcmanfm-action.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/file-manager/actions RENAME dateimark-attributes.desktop)

# The icons are drawn at build time by the same code that draws the window icon; offscreen,
# so that building needs no display.
set(icon_theme_dir ${CMAKE_BINARY_DIR}/icons/hicolor)
set(icon_files)
foreach(size IN LISTS DATEIMARK_ICON_SIZES)
    list(APPEND icon_files ${icon_theme_dir}/${size}x${size}/apps/dateimark.png)
endforeach()
add_custom_command(OUTPUT ${icon_files}
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
        $<TARGET_FILE:dateimark_writeicons> ${icon_theme_dir} ${DATEIMARK_ICON_SIZES}
    DEPENDS dateimark_writeicons
    COMMENT "Drawing the desktop icons"
    VERBATIM)
add_custom_target(dateimark_icons ALL DEPENDS ${icon_files})
install(DIRECTORY ${icon_theme_dir} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

if(DATEIMARK_TESTS)
    find_program(DATEIMARK_DESKTOP_FILE_VALIDATE desktop-file-validate)
    string(REPLACE ";" "," icon_sizes "${DATEIMARK_ICON_SIZES}")
    add_test(NAME install.layout COMMAND ${CMAKE_COMMAND}
        -DBUILD_DIR=${CMAKE_BINARY_DIR}
        -DPREFIX=${CMAKE_BINARY_DIR}/tests/install-layout
        -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
        -DICON_SIZES=${icon_sizes}
        -DVALIDATE=${DATEIMARK_DESKTOP_FILE_VALIDATE}
        -P ${CMAKE_SOURCE_DIR}/tests/info/install_layout.cmake)
endif()
