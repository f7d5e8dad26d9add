# What `cmake --install` puts where, and the packages CPack makes of it into
# dist/: a Debian package on Linux, a zip for Windows (from the windows preset).
include(GNUInstallDirs)

set(RANGESCAN_FIRMWARE_DIR ${PROJECT_SOURCE_DIR}/build/firmware/firmware)

set(CPACK_PACKAGE_NAME rangescan)
set(CPACK_PACKAGE_VENDOR "rangescan")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Live range map from a two-axis range scanner on a serial port")
set(CPACK_PACKAGE_CONTACT "rangescan developers <rangescan-devel@rangescan.example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_SOURCE_DIR}/dist)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(WIN32)
    # The standalone program at the top, the docs, the licences and the
    # firmware image beside it. The program links the MinGW-w64 runtime
    # statically: its notices travel with it.
    install(TARGETS rangescan rangescan-probe rangescan-capture RUNTIME DESTINATION .)
    install(FILES README.md CHANGELOG.md LICENSE THIRD-PARTY-NOTICES.md DESTINATION .)
    install(FILES /usr/share/doc/mingw-w64-x86-64-dev/copyright DESTINATION licenses
            RENAME mingw-w64.txt OPTIONAL)
    # rangescan-capture writes its picture with stb_image_write, compiled in.
    install(FILES /usr/share/doc/libstb-dev/copyright DESTINATION licenses RENAME stb.txt
            OPTIONAL)
    install(DIRECTORY docs/ DESTINATION docs)
    install(FILES ${RANGESCAN_FIRMWARE_DIR}/scanner.hex DESTINATION firmware OPTIONAL)
    # The firmware's source as a sketch folder for the board's IDE, and the
    # notices of the libraries the image links (the board core, avr-libc).
    install(FILES firmware/scanner/scanner.ino firmware/scanner/config.h
            DESTINATION firmware/scanner)
    install(FILES /usr/share/doc/avr-libc/copyright DESTINATION licenses RENAME avr-libc.txt
            OPTIONAL)
    install(FILES /usr/share/doc/arduino-core-avr/copyright DESTINATION licenses
            RENAME arduino-core-avr.txt OPTIONAL)
    # The zip, to unpack anywhere, and an installer (NSIS) with a Start menu
    # entry and an uninstaller. CMake's NSIS script installs for all users
    # (it asks for administrator rights); a per-user install would need a
    # script of our own. The installer is a 64-bit program, as the programs
    # it installs are, into the 64-bit Program Files.
    set(CPACK_GENERATOR ZIP NSIS)
    set(CPACK_NSIS_EXECUTABLE ${PROJECT_SOURCE_DIR}/packaging/windows/makensis-amd64)
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
    set(CPACK_PACKAGE_FILE_NAME rangescan-${PROJECT_VERSION}-windows-x64)
    set(CPACK_PACKAGE_INSTALL_DIRECTORY rangescan)
    set(CPACK_PACKAGE_EXECUTABLES rangescan rangescan)
    set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
    set(CPACK_NSIS_DISPLAY_NAME "rangescan ${PROJECT_VERSION}")
    set(CPACK_NSIS_PACKAGE_NAME rangescan)
    set(CPACK_NSIS_INSTALLED_ICON_NAME rangescan.exe)
    set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
    if(RANGESCAN_ICON_ICO)
        set(CPACK_NSIS_MUI_ICON ${RANGESCAN_ICON_ICO})
        set(CPACK_NSIS_MUI_UNIICON ${RANGESCAN_ICON_ICO})
    endif()
    include(CPack)
    return()
endif()

set(programs rangescan rangescan-sim rangescan-probe rangescan-capture)
if(TARGET rangescan-board)
    list(APPEND programs rangescan-board)
endif()
install(TARGETS ${programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Man pages: the tools' from their --help and --version (help2man), the
# program's, which takes no command line, from a short text of its own
# (txt2man). Compressed as Debian's policy has them.
find_program(HELP2MAN help2man)
find_program(TXT2MAN txt2man)
if(HELP2MAN AND TXT2MAN)
    set(man_dir ${CMAKE_BINARY_DIR}/man)
    set(man_pages ${man_dir}/rangescan.1.gz)
    add_custom_command(OUTPUT ${man_dir}/rangescan.1.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
        COMMAND ${TXT2MAN} -t rangescan -s 1 -r "rangescan ${PROJECT_VERSION}" -v "rangescan"
                -d 2026-12-09 ${PROJECT_SOURCE_DIR}/packaging/man/rangescan.txt
                | gzip -9n > ${man_dir}/rangescan.1.gz
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/man/rangescan.txt VERBATIM)
    set(tool_rangescan-sim "a simulated range scanner on a pseudo-terminal")
    set(tool_rangescan-board "the scanner's firmware on an emulated board")
    set(tool_rangescan-probe "check a range scanner on its serial port")
    set(tool_rangescan-capture "keep a range scanner's scan as a table, a point cloud and a picture")
    foreach(tool rangescan-sim rangescan-probe rangescan-board rangescan-capture)
        if(TARGET ${tool})
            add_custom_command(OUTPUT ${man_dir}/${tool}.1.gz
                COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
                COMMAND ${HELP2MAN} --no-info --section 1 --name ${tool_${tool}}
                        --version-string=${PROJECT_VERSION} $<TARGET_FILE:${tool}>
                        | gzip -9n > ${man_dir}/${tool}.1.gz
                DEPENDS ${tool} VERBATIM)
            list(APPEND man_pages ${man_dir}/${tool}.1.gz)
        endif()
    endforeach()
    add_custom_target(manpages ALL DEPENDS ${man_pages})
    install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    message(STATUS "help2man or txt2man not found: no man pages")
endif()

# The docs, the copyright file and the changelog, as Debian's policy has them
# (a package whose version has no Debian revision keeps changelog.gz).
install(FILES README.md CHANGELOG.md THIRD-PARTY-NOTICES.md packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES packaging/rangescan.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/org.example.rangescan.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The icon the desktop entry names, in hicolor: the drawing, and its sizes.
install(FILES ${RANGESCAN_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(png ${RANGESCAN_ICON_PNGS})
    get_filename_component(size_dir ${png} DIRECTORY)
    get_filename_component(size ${size_dir} NAME)
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
endforeach()
# The boards a scanner is built on: theirs to the user at the seat, and left
# alone by ModemManager.
install(FILES packaging/60-rangescan.rules DESTINATION lib/udev/rules.d)

# The firmware: its image for avrdude is data (Intel hex, the same on every
# computer); its ELF, which the board emulator runs, is an object for another
# processor, and goes with the package's other objects under lib. Its source
# travels with it, as the board core's licence asks of a statically linked work.
install(FILES ${RANGESCAN_FIRMWARE_DIR}/scanner.hex
        DESTINATION ${CMAKE_INSTALL_DATADIR}/rangescan/firmware OPTIONAL)
install(FILES ${RANGESCAN_FIRMWARE_DIR}/scanner-stripped.elf
        DESTINATION lib/rangescan/firmware RENAME scanner.elf OPTIONAL)
install(DIRECTORY firmware/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/firmware-source/firmware)
install(FILES cmake/avr-gcc.cmake DESTINATION ${CMAKE_INSTALL_DOCDIR}/firmware-source/cmake)
install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME rangescan)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON) # libglfw3, libopengl0, libstdc++6, ...
# GLFW opens libGL at run time: a GLX implementation must be there.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libglx-mesa0 | libglx-vendor")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libgl1-mesa-dri")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "avrdude")
# The extended description, in lines of the width lintian takes (CPack puts
# the summary before it as the synopsis).
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "rangescan drives a two-axis range scanner on the serial port COM6 and\n"
    "shows the scan live: a green-to-red range map in an OpenGL window.\n"
    "With it come a simulated scanner, the scanner's firmware for an\n"
    "ATmega328P board, a board emulator that runs it, a test host for a\n"
    "scanner's port, and a capture tool that keeps a scan as a table, a\n"
    "point cloud and a picture.")
include(CPack)
