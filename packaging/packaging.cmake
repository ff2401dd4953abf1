# Installation and the Debian package (cpack -G DEB after a release build).
# Installed: the programs, their data under share/tvbox, the desktop menu
# entry and icon, the manual pages, the JSON Schemas and the copyright file.
# Tests and benchmarks are not installed.

set(TVBOX_DATA_DESTINATION ${CMAKE_INSTALL_DATADIR}/tvbox)
set(TVBOX_DOC_DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tvbox)

install(TARGETS tvbox tvbox-sim tvbox-gen RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET tvbox-burn)
  install(TARGETS tvbox-burn RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Where bash-completion loads it from on the first tab after "tvbox-burn".
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/tvbox-burn.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tvbox-burn)
  # The JSON Schemas of what tvbox-burn --json prints, for the scripts that read it.
  file(GLOB TVBOX_JSON_SCHEMAS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/doc/schemas/*.schema.json)
  install(FILES ${TVBOX_JSON_SCHEMAS} DESTINATION ${TVBOX_DOC_DESTINATION})
endif()
if(TARGET tvbox-reg)
  install(TARGETS tvbox-reg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/tvbox-reg.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tvbox-reg)
endif()

file(GLOB TVBOX_DATA_FILES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/data/lang.*
  ${PROJECT_SOURCE_DIR}/data/h_tvbox.cfg
  ${PROJECT_SOURCE_DIR}/data/readme*.htm
  ${PROJECT_SOURCE_DIR}/data/*.gif
  ${PROJECT_SOURCE_DIR}/data/*.hv
  ${PROJECT_SOURCE_DIR}/data/*.hv.gz)
install(FILES ${TVBOX_DATA_FILES} DESTINATION ${TVBOX_DATA_DESTINATION})

install(FILES ${PROJECT_SOURCE_DIR}/packaging/tvbox.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/res/icons/tvbox.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
install(FILES ${PROJECT_SOURCE_DIR}/res/icons/tvbox.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${TVBOX_DOC_DESTINATION})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME tvbox)

# Manual pages and the changelog are installed gzipped; -n leaves the name and
# time out of the archive, so the same page always gives the same bytes.
find_program(GZIP_PROGRAM gzip REQUIRED)
function(tvbox_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${GZIP_PROGRAM} -9n -c ${source} > ${output}
    DEPENDS ${source} VERBATIM)
endfunction()

set(TVBOX_GZIPPED)
file(GLOB TVBOX_MAN_PAGES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/man/*.1)
foreach(page ${TVBOX_MAN_PAGES})
  get_filename_component(name ${page} NAME)
  set(gzipped ${PROJECT_BINARY_DIR}/man/${name}.gz)
  tvbox_gzip(${page} ${gzipped})
  list(APPEND TVBOX_GZIPPED ${gzipped})
  install(FILES ${gzipped} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(TVBOX_CHANGELOG ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
tvbox_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog ${TVBOX_CHANGELOG})
list(APPEND TVBOX_GZIPPED ${TVBOX_CHANGELOG})
install(FILES ${TVBOX_CHANGELOG} DESTINATION ${TVBOX_DOC_DESTINATION})
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/man ${PROJECT_BINARY_DIR}/packaging)
add_custom_target(gzipped_docs ALL DEPENDS ${TVBOX_GZIPPED})

# The program looks for its data where it was built to be installed, so the
# package must install exactly there.
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(WARNING "CMAKE_INSTALL_PREFIX is ${CMAKE_INSTALL_PREFIX}: a Debian package wants /usr "
                  "(configure with -DCMAKE_INSTALL_PREFIX=/usr, as scripts/build.sh does)")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tvbox)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Harnvale)
set(CPACK_PACKAGE_CONTACT "Harnvale TV Box service <tvbox@harnvale.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tool for a stand-alone TV receiver box")
set(CPACK_PACKAGE_DESCRIPTION
"A desktop tool for the service engineer of the TV Box, a stand-alone TV
receiver connected to the computer by two RS-232 lines. It burns the box's
firmware from a chipset file (PIC program, flash and OSD memory as Intel HEX,
two bitmap fonts) with a progress bar and a coloured burn log, reads and
writes single registers of the box from a register console, and runs the
slow control-line exchange. English and Russian.

Also included: tvbox-sim, a box simulator on pseudo-terminals for practice
and for reproducing faults, and tvbox-gen, a chipset file generator.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The help page is opened with xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
