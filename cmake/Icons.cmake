# The program's icon in the sizes each platform needs, made at build time from
# its one drawing (packaging/icons/rangescan.svg) with Debian's rsvg-convert,
# and, for Windows, joined into an .ico with icotool. Sets RANGESCAN_ICON_PNGS
# (the PNG files, named by size) and, on Windows, RANGESCAN_ICON_ICO.
set(RANGESCAN_ICON_SVG ${PROJECT_SOURCE_DIR}/packaging/icons/rangescan.svg)
set(RANGESCAN_ICON_SIZES 16 24 32 48 64 128 256)
find_program(RSVG_CONVERT rsvg-convert)
find_program(ICOTOOL icotool)
set(RANGESCAN_ICON_PNGS)
if(RSVG_CONVERT)
    set(icon_dir ${CMAKE_BINARY_DIR}/icons)
    foreach(size ${RANGESCAN_ICON_SIZES})
        add_custom_command(OUTPUT ${icon_dir}/${size}x${size}/rangescan.png
            COMMAND ${CMAKE_COMMAND} -E make_directory ${icon_dir}/${size}x${size}
            COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} ${RANGESCAN_ICON_SVG}
                    -o ${icon_dir}/${size}x${size}/rangescan.png
            DEPENDS ${RANGESCAN_ICON_SVG} VERBATIM)
        list(APPEND RANGESCAN_ICON_PNGS ${icon_dir}/${size}x${size}/rangescan.png)
    endforeach()
    set(icon_outputs ${RANGESCAN_ICON_PNGS})
    if(WIN32 AND ICOTOOL)
        # The largest size goes in as PNG, as Windows takes it since Vista.
        set(RANGESCAN_ICON_ICO ${icon_dir}/rangescan.ico)
        list(FILTER RANGESCAN_ICON_PNGS EXCLUDE REGEX "/256x256/")
        add_custom_command(OUTPUT ${RANGESCAN_ICON_ICO}
            COMMAND ${ICOTOOL} -c -o ${RANGESCAN_ICON_ICO} ${RANGESCAN_ICON_PNGS}
                    -r ${icon_dir}/256x256/rangescan.png
            DEPENDS ${icon_outputs} VERBATIM)
        list(APPEND icon_outputs ${RANGESCAN_ICON_ICO})
        list(APPEND RANGESCAN_ICON_PNGS ${icon_dir}/256x256/rangescan.png)
    elseif(WIN32)
        message(WARNING "icotool not found: the Windows programs carry no icon")
    endif()
    add_custom_target(icons ALL DEPENDS ${icon_outputs})
else()
    message(WARNING "rsvg-convert not found: no icons")
endif()

# Windows: gives `target` the icon and version information, with
# `description` as its file description.
function(rangescan_windows_resources target description)
    if(NOT WIN32 OR NOT RANGESCAN_ICON_ICO)
        return()
    endif()
    set(RC_NAME ${target})
    set(RC_DESCRIPTION ${description})
    set(RC_ICON ${RANGESCAN_ICON_ICO})
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/version.rc.in
                   ${CMAKE_BINARY_DIR}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/${target}.rc)
    add_dependencies(${target} icons)
endfunction()
