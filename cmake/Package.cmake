# The Debian package, built by CPack from the install rules (`make package`), and the AppStream
# entry that software centres list the program by.

set(metainfo org.example.dateimark.metainfo.xml)
configure_file(assets/${metainfo} ${CMAKE_BINARY_DIR}/${metainfo} @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Compressed without a time stamp, so that the package builds the same twice.
function(dateimark_gzip source output)
    configure_file(${source} ${output} @ONLY)
    execute_process(COMMAND gzip -9nkf ${output} COMMAND_ERROR_IS_FATAL ANY)
endfunction()
set(deb_doc ${CMAKE_BINARY_DIR}/debian-doc)
dateimark_gzip(assets/dateimark.1 ${deb_doc}/dateimark.1)
install(FILES ${deb_doc}/dateimark.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Debian wants its copyright and changelog in every package; only the package gets them.
dateimark_gzip(assets/debian/changelog ${deb_doc}/changelog.Debian)
install(FILES assets/debian/copyright ${deb_doc}/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/dateimark COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dateimark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified debian)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tilman Brenner <tilman@brenner.example.org>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://brenner.example.org/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The fixed window geometry holds every caption only in a font with these metrics.
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-liberation2)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set and clear DOS file attributes of many files at once")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Dateimark sets and clears the read-only, archive, system and hidden
attributes of many files and folders at once, and can give files a new
last-write date and time. Files and folders are dragged from the file
manager onto its list.
.
The attributes are kept where Samba, Wine and ntfs-3g keep them, so a file
marked here looks the same to Windows clients of a Samba share, to Windows
programs under Wine and on an NTFS volume.
.
The user interface is in German.")
include(CPack)

if(DATEIMARK_TESTS)
    # The package is built apart from `make package`'s, from what the build holds now.
    set(deb_dir ${CMAKE_BINARY_DIR}/tests/package)
    add_test(NAME package.contents
        COMMAND ${CMAKE_SOURCE_DIR}/tests/package/contents.sh ${CMAKE_BINARY_DIR} ${deb_dir}
        ${DATEIMARK_ICON_SIZES})
    add_test(NAME package.install
        COMMAND ${CMAKE_SOURCE_DIR}/tests/package/install.sh ${deb_dir} ${CMAKE_SOURCE_DIR})
    set_tests_properties(package.contents PROPERTIES FIXTURES_SETUP dateimark_deb TIMEOUT 300)
    # dpkg takes one installation at a time; xvfb-run -a can hand one display to two callers.
    set_tests_properties(package.install PROPERTIES FIXTURES_REQUIRED dateimark_deb
        SKIP_RETURN_CODE 77 RESOURCE_LOCK "dpkg;xvfb" TIMEOUT 600)
endif()
