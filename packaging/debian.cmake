# What a Linux desktop and a package manager need beside the program: the
# desktop entry, the icons, the AppStream metadata, the manual page and the
# package's own documentation, and the Debian package made by CPack.

set(TAVLINO_HOMEPAGE_URL "https://orvek.invalid/tavlino/"
    CACHE STRING "The project's home page, for software centres (set it when publishing)")
set(TAVLINO_SCREENSHOT_URL "https://orvek.invalid/tavlino/screenshots/tavlino.png"
    CACHE STRING "Where software centres fetch the screenshot from (set it when publishing)")

install(FILES resources/${TAVLINO_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 24 32 48 64 128 256)
    install(FILES resources/hicolor/tavlino-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME tavlino.png)
endforeach()
install(FILES resources/tavlino.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

configure_file(packaging/${TAVLINO_APP_ID}.metainfo.xml.in
               ${TAVLINO_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${TAVLINO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian wants the manual page and the changelog compressed, without a time
# stamp in the gzip header so that the package is reproducible.
find_program(GZIP gzip REQUIRED)
foreach(file tavlino.1 changelog)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${file}.gz
                       COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/${file}
                               > ${PROJECT_BINARY_DIR}/${file}.gz
                       DEPENDS packaging/${file} VERBATIM)
endforeach()
add_custom_target(tavlino_docs ALL DEPENDS ${PROJECT_BINARY_DIR}/tavlino.1.gz
                                           ${PROJECT_BINARY_DIR}/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/tavlino.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/copyright ${PROJECT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tavlino)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavlino)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "The Tavlino developers <tavlino@orvek.invalid>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/cpack-checks.cmake)
# Natively on a Wayland session when Qt's Wayland plugin is there (the dock
# then matches the window by its app id); on XWayland or X11 without it.
if(TAVLINO_QT EQUAL 6)
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
else()
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qtwayland5)
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial-port terminal for boards, modems and USB adapters")
# CPack puts the summary first and indents these lines itself; the empty
# line separates paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tavlino is a small graphical terminal for a serial line. Pick a port and a
baud rate, open the port, type a line and send it with the line end the
device expects (none, LF or CR LF); whatever the device sends back appears
in the output pane as UTF-8 text.

Any port can be typed in, including pseudo-terminals and the links under
/dev/serial/by-id. It offers local echo, a continuous mode that sends every
keystroke, recall of the last ten sent lines, and keeps up with a chatty
device without freezing the window.")
include(CPack)
