# Install layout: the program, its desktop entry, its file type, theme icons, AppStream metainfo
# and man page, the user guide with its pictures, and the example checklists.
# The documentation folder is named after the program, as the Debian package names it.
set(CMAKE_INSTALL_DOCDIR share/doc/vellorin CACHE PATH "Documentation (DATAROOTDIR/doc/vellorin)")
include(GNUInstallDirs)

set(VELLORIN_APP_ID local.vellorin.Vellorin)
set(VELLORIN_DESKTOP_DIR ${PROJECT_SOURCE_DIR}/app/desktop)

install(TARGETS vellorin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${VELLORIN_DESKTOP_DIR}/${VELLORIN_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VELLORIN_DESKTOP_DIR}/${VELLORIN_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The checklist file type, which the desktop entry claims instead of every XML file.
install(FILES ${VELLORIN_DESKTOP_DIR}/${VELLORIN_APP_ID}.mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME ${VELLORIN_APP_ID}.xml)
install(DIRECTORY ${VELLORIN_DESKTOP_DIR}/icons/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${VELLORIN_DESKTOP_DIR}/${VELLORIN_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${VELLORIN_DESKTOP_DIR}/vellorin.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The user guide, with the pictures it shows.
install(FILES ${PROJECT_SOURCE_DIR}/docs/user-guide.md ${PROJECT_SOURCE_DIR}/docs/screenshot.png
              ${PROJECT_SOURCE_DIR}/docs/print-preview.png
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Example checklists, beside the documentation.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples
        FILES_MATCHING PATTERN "*.xml")
