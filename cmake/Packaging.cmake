# What `cmake --install` puts where, and the packages CPack makes of it into
# dist/: a Debian package on Linux, a zip for Windows (from the windows preset).
include(GNUInstallDirs)

set(RANGESCAN_FIRMWARE_IMAGES ${PROJECT_SOURCE_DIR}/build/firmware/firmware/scanner.hex
    ${PROJECT_SOURCE_DIR}/build/firmware/firmware/scanner.elf)

set(CPACK_PACKAGE_NAME rangescan)
set(CPACK_PACKAGE_VENDOR "rangescan")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Live range map from a two-axis range scanner on a serial port")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "rangescan drives a two-axis range scanner on the serial port COM6 and shows the scan live: "
    "a green-to-red range map in an OpenGL window. With it come a simulated scanner, the "
    "scanner's firmware for an ATmega328P board, a board emulator that runs it, and a test host "
    "for a scanner's port.")
set(CPACK_PACKAGE_CONTACT "rangescan developers <rangescan@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_SOURCE_DIR}/dist)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(WIN32)
    # The standalone program at the top, the docs and the firmware image beside it.
    install(TARGETS rangescan RUNTIME DESTINATION .)
    install(FILES README.md DESTINATION .)
    install(DIRECTORY docs/ DESTINATION docs)
    install(FILES ${PROJECT_SOURCE_DIR}/build/firmware/firmware/scanner.hex DESTINATION firmware
            OPTIONAL)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME rangescan-${PROJECT_VERSION}-windows-x64)
else()
    set(programs rangescan rangescan-sim rangescan-probe)
    if(TARGET rangescan-board)
        list(APPEND programs rangescan-board)
    endif()
    install(TARGETS ${programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
    install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
    install(FILES packaging/rangescan.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${RANGESCAN_FIRMWARE_IMAGES} DESTINATION ${CMAKE_INSTALL_DATADIR}/rangescan/firmware
            OPTIONAL)
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION science)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON) # libglfw3, libopengl0, libstdc++6, ...
    # GLFW opens libGL at run time: a GLX implementation must be there.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libglx-mesa0 | libglx-vendor")
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri")
    set(CPACK_DEBIAN_PACKAGE_SUGGESTS "avrdude")
endif()

include(CPack)
