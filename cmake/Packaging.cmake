# SPDX-License-Identifier: Apache-2.0
# The Debian package: `cmake --build build --target package` (or `cpack` in the build
# directory) writes flashutil_<version>_<arch>.deb. Its dependencies are worked out by
# dpkg-shlibdeps from the libraries the program really links (needs dpkg-dev).
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "flashutil")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "flashutil project")
set(CPACK_PACKAGE_CONTACT "flashutil maintainers <flashutil@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Flash utility for CD-RW drive")
set(CPACK_PACKAGE_DESCRIPTION
    "Firmware update utility for optical (CD-RW/DVD) drives on Linux.\n"
    "A built copy carries the drive identity it is meant for and the firmware\n"
    "image, checks the drive, uploads the image through SCSI generic (SG_IO),\n"
    "reads it back and compares it before the drive writes its flash memory.\n"
    "A blank copy builds such utilities from a model INI file and an image.\n"
    "Works as a Qt window or from the terminal, and has a virtual drive to\n"
    "try everything without hardware.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# The Description field: the summary as its first line, CPACK_PACKAGE_DESCRIPTION below it.
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own buttons and dialogs in the user's language come from Debian's Qt catalogues.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# Control files with the permissions Debian's policy asks for (lintian checks them).
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Purging the package removes the history root's runs left in /var/lib/flashutil.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_SOURCE_DIR}/packaging/postrm")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_SOURCE_DIR}/LICENSE")
# Only what `cmake --install` puts in place; the test programs stay out of the package.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/")

include(CPack)
