# What `make package` puts into the .deb (and `cmake --install` onto a system): the five
# programs, manual pages made from their help texts, the desktop entry and icons of the window,
# the repair server's systemd unit, and the README.
include(GNUInstallDirs)

set(ORVIK_PROGRAMS InstallPatchGUI InstallPatchCLI zephpack zephrepaird orbpatch)
install(TARGETS ${ORVIK_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages: from each program's --help (the window program prints it without a display).
set(man_summaries
  "InstallPatchGUI|patch installer of the Velmor train simulator, with its window"
  "InstallPatchCLI|patch installer of the Velmor train simulator, on a console"
  "zephpack|makes Velmor patches, patch archives, catalogues and installers"
  "zephrepaird|repair server for the Velmor patch installer"
  "orbpatch|difference tool of the Velmor patches")
set(man_pages)
foreach(entry IN LISTS man_summaries)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 name)
  list(GET parts 1 summary)
  set(page ${CMAKE_BINARY_DIR}/man/${name}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${name}> -DNAME=${name}
            "-DSUMMARY=${summary}" -DVERSION=${PROJECT_VERSION} -DOUTPUT=${page}
            -P ${CMAKE_SOURCE_DIR}/cmake/ManPage.cmake
    DEPENDS ${name} ${CMAKE_SOURCE_DIR}/cmake/ManPage.cmake
    COMMENT "Manual page of ${name}" VERBATIM)
  list(APPEND man_pages ${page})
endforeach()
# A sanitizer build's programs would add their own reports to the text.
if(NOT SANITIZE)
  add_custom_target(man_pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

install(FILES ${CMAKE_SOURCE_DIR}/packaging/installpatchgui.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/app/resources/icons/installpatchgui-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME installpatchgui.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/app/resources/icons/installpatchgui.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/zephrepaird.service
        DESTINATION lib/systemd/system)
install(FILES ${CMAKE_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/installpatchgui)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME installpatchgui)
set(CPACK_PACKAGE_VENDOR "Orvik")
set(CPACK_PACKAGE_CONTACT "Orvik <support@orvik.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Patch installer of the Velmor train simulator")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "InstallPatchGUI and InstallPatchCLI bring a Velmor installation to a newer build: with\n"
    "the patches an installer carries, from patch servers, or by repair from a repair server.\n"
    "zephpack makes patches and installers, zephrepaird serves repairs, orbpatch is the\n"
    "difference tool.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The elevated relaunch of a user without rights.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS pkexec)
include(CPack)
