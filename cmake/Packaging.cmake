# The install rules (cmake --install) and the Debian package CPack makes from them
# (scripts/package.sh). Included at the end of the top CMakeLists.txt, after every program target
# exists; a program target that is not built is not installed.
include(GNUInstallDirs)

set(VELMORA_APP_ID io.github.velmora.Velmora)
set(VELMORA_DATA ${PROJECT_SOURCE_DIR}/data)
set(VELMORA_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/velmora)

# Everything an install takes from the build; scripts/package.sh builds this target alone.
add_custom_target(velmora_installed)

# Compressed copies of the manual pages and the Debian changelog, without names or times in them
# so the package is the same on every build.
function(velmora_gzip source output)
    get_filename_component(name ${output} NAME_WE)
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${output}.tmp
        COMMAND gzip -9nc ${output}.tmp > ${output}
        COMMAND ${CMAKE_COMMAND} -E rm -f ${output}.tmp
        DEPENDS ${source}
        COMMENT "Compressing ${source}")
endfunction()

set(VELMORA_COMPRESSED)
foreach(program velmora velmora-cli)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
        velmora_gzip(${VELMORA_DATA}/man/${program}.1 ${CMAKE_BINARY_DIR}/man/${program}.1.gz)
        list(APPEND VELMORA_COMPRESSED ${CMAKE_BINARY_DIR}/man/${program}.1.gz)
        install(FILES ${CMAKE_BINARY_DIR}/man/${program}.1.gz
                DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
        add_dependencies(velmora_installed ${program})
    endif()
endforeach()

# The modules (the conversion's FFmpeg and LAME, the burn's libburn), loaded by the programs on
# first use from the library folder beside their own (core/files/Module.h). Not executable: they
# are no programs.
foreach(module ${VELMORA_MODULES})
    install(TARGETS ${module}
            LIBRARY DESTINATION ${VELMORA_MODULE_SUBDIR}
            PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    add_dependencies(velmora_installed ${module})
endforeach()

if(TARGET velmora)
    install(FILES ${VELMORA_DATA}/${VELMORA_APP_ID}.desktop
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
    install(FILES ${VELMORA_DATA}/${VELMORA_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
    install(DIRECTORY ${VELMORA_DATA}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons)
endif()

velmora_gzip(${VELMORA_DATA}/debian/changelog ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz)
list(APPEND VELMORA_COMPRESSED ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz)
install(FILES ${VELMORA_DATA}/debian/copyright DESTINATION ${VELMORA_DOC_DIR})
install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz DESTINATION ${VELMORA_DOC_DIR})

add_custom_target(velmora_compressed ALL DEPENDS ${VELMORA_COMPRESSED})
add_dependencies(velmora_installed velmora_compressed)

# The Debian package: velmora_<version>-1_<arch>.deb, its dependencies found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VENDOR "The Velmora developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "prepare MP3 files for an MP3 CD in a car radio")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Velmora lists the MP3 files of a folder with their count, size and playing\n"
    "time, shows each file's MPEG audio facts and its ID3v1 and ID3v2 tags, takes\n"
    "tags from ID3v2, transliterates Cyrillic tag text into Latin letters, merges\n"
    "track number, artist and title, writes the tag back, removes ID3v2 tags,\n"
    "renames the files after their tags, moves each file into a numbered folder\n"
    "(D001 to D253) or a folder named after it, showing the plan of every batch\n"
    "first, and writes text reports of the list. It checks the folder against a\n"
    "car radio's limits, writes the disc's ISO 9660 image in the order of the list\n"
    "and burns it onto a CD-R or CD-RW, reading it back. What the radio cannot play\n"
    "(FLAC, M4A, Opus, Ogg, WAV and MP3 files outside the radio's profile) it\n"
    "converts into MP3 files the radio plays, keeping tags and originals. The window\n"
    "is in Russian.")
if(TARGET velmora-cli)
    string(APPEND CPACK_PACKAGE_DESCRIPTION "\nvelmora-cli does the same from a shell.")
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(VELMORA_MAINTAINER "The Velmora developers <velmora@users.noreply.github.com>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELMORA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own texts of the dialogs (buttons, Yes and No) in Russian.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The desktop database, icon cache and AppStream triggers of Debian cover the desktop entry,
# the icons and the metainfo, so the package has no maintainer scripts.
include(CPack)
