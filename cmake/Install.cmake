# SPDX-License-Identifier: Apache-2.0
# Where `cmake --install` puts the program and the files that make it a desktop citizen.
# Standard GNU directories, so a distribution's staging prefix works unchanged.
include(GNUInstallDirs)

install(TARGETS flashutil RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Debian wants the manual page and the changelog compressed, reproducibly (-n: no name or
# time stamp in the gzip header).
find_program(GZIP_PROGRAM gzip REQUIRED)
function(flashutil_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${GZIP_PROGRAM} -9n -c ${source} > ${output}
    DEPENDS ${source} VERBATIM)
endfunction()
flashutil_gzip(${CMAKE_SOURCE_DIR}/docs/flashutil.1 ${CMAKE_BINARY_DIR}/flashutil.1.gz)
flashutil_gzip(${CMAKE_SOURCE_DIR}/packaging/changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_target(compressed_docs ALL DEPENDS ${CMAKE_BINARY_DIR}/flashutil.1.gz ${CMAKE_BINARY_DIR}/changelog.gz)

install(FILES ${CMAKE_BINARY_DIR}/flashutil.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz ${CMAKE_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_SOURCE_DIR}/packaging/bash-completion/flashutil
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# The desktop entries, one per job: updating a drive (its id is the AppStream file's too, so
# software centres join them) and building utilities for makers.
install(FILES ${CMAKE_SOURCE_DIR}/data/io.github.flashutil.flashutil.desktop
              ${CMAKE_SOURCE_DIR}/data/io.github.flashutil.flashutil.builder.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The program's own file type, which the update entry takes (shared-mime-info's trigger, or
# update-mime-database on the installed prefix's share/mime, makes desktops know it).
install(FILES ${CMAKE_SOURCE_DIR}/data/io.github.flashutil.flashutil.mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME io.github.flashutil.flashutil.xml)
install(FILES ${CMAKE_SOURCE_DIR}/data/icons/flashutil.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/data/io.github.flashutil.flashutil.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The JSON Schemas of every document the program writes, for scripts that check their input.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/schema/ DESTINATION ${CMAKE_INSTALL_DATADIR}/flashutil/schema
        FILES_MATCHING PATTERN "*.json")

# The example model file; the builder's "Can't load" message tells how to copy it to where
# it is looked for.
install(FILES ${CMAKE_SOURCE_DIR}/examples/flashutil.INI
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples OPTIONAL)

# The Ansible collection flashutil.drives (the role and its modules), where ansible-playbook,
# ansible-doc and ansible-galaxy look by default (/usr/share/ansible/collections), and its
# example (whose collections link points into the source tree: the installed copy goes
# without). The modules are data Ansible reads and sends to the host, never run in place, so
# they are not executable (an executable Python script would make the package depend on python3).
set(FLASHUTIL_COLLECTION ansible/collections/ansible_collections/flashutil/drives)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/ansible/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/${FLASHUTIL_COLLECTION}
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
        PATTERN "__pycache__" EXCLUDE PATTERN ".*" EXCLUDE)
# The role's earlier place, /usr/share/flashutil/ansible/roles (roles_path), until the next
# release: its directories as before, each file a relative link to the collection's (dpkg
# replaces a file with a link on upgrade, but never a directory).
file(GLOB_RECURSE FLASHUTIL_ROLE_FILES RELATIVE ${CMAKE_SOURCE_DIR}/ansible/roles/flashutil
     ${CMAKE_SOURCE_DIR}/ansible/roles/flashutil/*)
foreach(file ${FLASHUTIL_ROLE_FILES})
  get_filename_component(dir ${file} DIRECTORY)
  string(REGEX REPLACE "[^/]+" ".." up "flashutil/ansible/roles/flashutil/${dir}")
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/flashutil/ansible/roles/flashutil/${file}\")
    get_filename_component(dir \"\${link}\" DIRECTORY)
    file(MAKE_DIRECTORY \"\${dir}\")
    file(CREATE_LINK ${up}/${FLASHUTIL_COLLECTION}/roles/flashutil/${file} \"\${link}\" SYMBOLIC)
    message(STATUS \"Installing: \${link} (link to the collection's role)\")
  ")
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/examples/ansible/inventory.ini ${CMAKE_SOURCE_DIR}/examples/ansible/tower.yml
              ${CMAKE_SOURCE_DIR}/examples/ansible/catalogue.yml
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples/ansible)
