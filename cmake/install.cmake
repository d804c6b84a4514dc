# What `cmake --install` puts under the prefix, and the Debian package that
# `cpack -G DEB` makes of the same files:
#   bin/pictra, lib/pictra/pictra.vxm (the tool looks in ../lib/pictra),
#   include/pictra/plugin.h, share/pkgconfig/pictra-plugin.pc,
#   share/man/man1/pictra.1, bash and zsh completion.
include(GNUInstallDirs)

find_program(PICTRA_SCDOC scdoc REQUIRED)
set(pictra_man_page ${CMAKE_BINARY_DIR}/pictra.1)
add_custom_command(OUTPUT ${pictra_man_page}
  COMMAND ${PICTRA_SCDOC} < ${PROJECT_SOURCE_DIR}/cli/pictra.1.scd > ${pictra_man_page}
  DEPENDS ${PROJECT_SOURCE_DIR}/cli/pictra.1.scd
  COMMENT "Writing the manual page pictra(1)"
  VERBATIM)
add_custom_target(pictra_man_page ALL DEPENDS ${pictra_man_page})

configure_file(${PROJECT_SOURCE_DIR}/cmake/pictra-plugin.pc.in
               ${CMAKE_BINARY_DIR}/pictra-plugin.pc @ONLY)

# Not CMAKE_INSTALL_LIBDIR: the module is the tool's private plug-in, found
# at a fixed place relative to bin/, whatever the machine's library folder.
set(PICTRA_MODULE_INSTALL_DIR lib/pictra)

install(TARGETS pictra RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS pictra_module LIBRARY DESTINATION ${PICTRA_MODULE_INSTALL_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/pictra/plugin.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pictra)
install(FILES ${CMAKE_BINARY_DIR}/pictra-plugin.pc DESTINATION ${CMAKE_INSTALL_DATADIR}/pkgconfig)
install(FILES ${pictra_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/cli/completion/pictra.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME pictra)
install(FILES ${PROJECT_SOURCE_DIR}/cli/completion/pictra.zsh
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions RENAME _pictra)

set(CPACK_PACKAGE_NAME pictra)
set(CPACK_PACKAGE_VENDOR "The Pictra project")
set(CPACK_PACKAGE_CONTACT "The Pictra project <pictra@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "read, inspect and convert Amiga, Windows and macOS icons")
set(CPACK_PACKAGE_DESCRIPTION
    "The pictra tool and its plug-in module pictra.vxm read and write Amiga icons\n(classic, NewIcons, OS 3.5, OS 4, PNG icons), Windows .ico and macOS .icns\nfiles. The package also holds the module's C header and pkg-config file,\nfor host programs that load the module themselves.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# The libraries' package names and versions come from the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_GENERATOR DEB)
include(CPack)
