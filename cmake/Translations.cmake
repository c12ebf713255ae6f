# SPDX-License-Identifier: Apache-2.0
# The program's texts in other languages (GNU gettext). The build extracts every marked text
# into po/flashutil.pot (the translators' template) and compiles each po/LANG.po into
# locale/LANG/LC_MESSAGES/flashutil.mo in the build tree, which the build tree's own program
# (and no copy of it elsewhere) reads, so translations work in the checks; the package
# installs them under /usr/share/locale, the only place an installed program reads them.
find_program(XGETTEXT_PROGRAM xgettext REQUIRED)
find_program(MSGFMT_PROGRAM msgfmt REQUIRED)

# Every folder whose texts a person may read.
set(translated_dirs ui base platform scsi areas trust model builder flash history sim session app app/commands app/terminal app/setup app/process app/gui)
set(translated_sources)
foreach(dir ${translated_dirs})
  file(GLOB found CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_SOURCE_DIR}/${dir}/*.h)
  list(APPEND translated_sources ${found})
endforeach()
list(SORT translated_sources)

set(FLASHUTIL_POT ${CMAKE_BINARY_DIR}/po/flashutil.pot)
add_custom_command(OUTPUT ${FLASHUTIL_POT}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/po
  COMMAND ${XGETTEXT_PROGRAM} --language=C++ --from-code=UTF-8 --keyword=_ --keyword=N_ --keyword=Translate
          --add-comments=TRANSLATORS: --package-name=flashutil --package-version=${PROJECT_VERSION}
          --msgid-bugs-address=flashutil-developers --no-wrap -o ${FLASHUTIL_POT} ${translated_sources}
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
  DEPENDS ${translated_sources}
  COMMENT "Extracting the translatable texts into po/flashutil.pot" VERBATIM)

file(GLOB po_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/po/*.po)
set(mo_files)
foreach(po ${po_files})
  get_filename_component(language ${po} NAME_WE)
  set(mo ${CMAKE_BINARY_DIR}/locale/${language}/LC_MESSAGES/flashutil.mo)
  add_custom_command(OUTPUT ${mo}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/locale/${language}/LC_MESSAGES
    COMMAND ${MSGFMT_PROGRAM} --check -o ${mo} ${po}
    DEPENDS ${po} VERBATIM)
  list(APPEND mo_files ${mo})
  install(FILES ${mo} DESTINATION ${CMAKE_INSTALL_LOCALEDIR}/${language}/LC_MESSAGES)
endforeach()
add_custom_target(translations ALL DEPENDS ${FLASHUTIL_POT} ${mo_files})
