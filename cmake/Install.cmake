# Where `cmake --install` puts the program and the files that make it a desktop citizen.
# Standard GNU directories, so a distribution's staging prefix works unchanged.
include(GNUInstallDirs)

install(TARGETS flashutil RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/docs/flashutil.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/data/flashutil.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/icons/flashutil.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/data/flashutil.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME org.example.flashutil.metainfo.xml)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The example model file; the builder reads a copy of it placed beside the program.
install(FILES ${CMAKE_SOURCE_DIR}/examples/flashutil.INI
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples OPTIONAL)
