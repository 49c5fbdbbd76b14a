# Installed layout: the program folder <prefix>/lib/zelvor (programs, shipped
# pages, help, icons, and the marker that keeps writable state per user),
# launchers on the PATH, desktop entries, icons, MIME types and AppStream data;
# CPack turns it into a .deb.
include(GNUInstallDirs)

set(ZOVA_PROGRAM_DIR lib/zelvor)
set(ZOVA_DESKTOP_DIR ${PROJECT_SOURCE_DIR}/resources/desktop)
set(ZOVA_ICON_DIR ${PROJECT_SOURCE_DIR}/resources/icons)

if(ZOVA_GUI)
    install(TARGETS zova_af Vessilo zova RUNTIME DESTINATION ${ZOVA_PROGRAM_DIR})
else()
    install(TARGETS zova RUNTIME DESTINATION ${ZOVA_PROGRAM_DIR})
endif()
# The compiler's .comment note is dropped from what is shipped, as Debian's
# packaging tools do.
install(CODE [[
    foreach(program zova zova_af Vessilo)
        set(file "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib/zelvor/${program}")
        if(EXISTS "${file}")
            execute_process(COMMAND objcopy --remove-section=.comment "${file}" RESULT_VARIABLE failed)
            if(failed)
                message(FATAL_ERROR "objcopy could not drop .comment from ${file}")
            endif()
        endif()
    endforeach()
]])
install(FILES ${ZOVA_DIST_DIR}/html/null.html ${ZOVA_DIST_DIR}/html/top.html ${ZOVA_DIST_DIR}/html/asp.html
        DESTINATION ${ZOVA_PROGRAM_DIR}/html)
# The icons go to the icon theme only: the windows take theirs from the
# programs' resources, and a portable copy's own copies are for its association.
install(FILES ${ZOVA_DIST_DIR}/help.html DESTINATION ${ZOVA_PROGRAM_DIR})
file(WRITE ${CMAKE_BINARY_DIR}/zelvor-installed
     "This program folder was installed as a package: settings and written pages are kept per user.\n")
install(FILES ${CMAKE_BINARY_DIR}/zelvor-installed DESTINATION ${ZOVA_PROGRAM_DIR})

# Launchers: links into the program folder, which the programs find through /proc/self/exe.
set(ZOVA_LAUNCHER_DIR ${CMAKE_BINARY_DIR}/launchers)
file(MAKE_DIRECTORY ${ZOVA_LAUNCHER_DIR})
foreach(pair "zova;zova" "zova_af;zova_af" "vessilo;Vessilo")
    list(GET pair 0 link)
    list(GET pair 1 program)
    file(CREATE_LINK ../${ZOVA_PROGRAM_DIR}/${program} ${ZOVA_LAUNCHER_DIR}/${link} SYMBOLIC)
    install(FILES ${ZOVA_LAUNCHER_DIR}/${link} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

install(FILES ${ZOVA_DESKTOP_DIR}/jp.zelvor.zova_af.desktop ${ZOVA_DESKTOP_DIR}/jp.zelvor.Vessilo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ZOVA_DESKTOP_DIR}/jp.zelvor.zova_af.metainfo.xml ${ZOVA_DESKTOP_DIR}/jp.zelvor.Vessilo.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${ZOVA_DESKTOP_DIR}/jp.zelvor.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)

# Icons: scalable, and PNG sizes where the build machine can draw them.
set(ZOVA_HICOLOR ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
set(ZOVA_ICON_SOURCES zova_af.svg vessilo.svg zva_document.svg zvc_document.svg)
set(ZOVA_ICON_CONTEXTS apps apps mimetypes mimetypes)
set(ZOVA_ICON_NAMES jp.zelvor.zova_af jp.zelvor.Vessilo application-x-zova-af application-x-zova-css)
find_program(ZOVA_RSVG rsvg-convert)
foreach(source context name IN ZIP_LISTS ZOVA_ICON_SOURCES ZOVA_ICON_CONTEXTS ZOVA_ICON_NAMES)
    install(FILES ${ZOVA_ICON_DIR}/${source} DESTINATION ${ZOVA_HICOLOR}/scalable/${context} RENAME ${name}.svg)
    if(ZOVA_RSVG)
        foreach(size 16 32 48 128 256)
            set(png ${CMAKE_BINARY_DIR}/icons/${size}/${name}.png)
            add_custom_command(OUTPUT ${png}
                COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}
                COMMAND ${ZOVA_RSVG} -w ${size} -h ${size} -o ${png} ${ZOVA_ICON_DIR}/${source}
                DEPENDS ${ZOVA_ICON_DIR}/${source} VERBATIM)
            list(APPEND ZOVA_PNG_ICONS ${png})
            install(FILES ${png} DESTINATION ${ZOVA_HICOLOR}/${size}x${size}/${context})
        endforeach()
    endif()
endforeach()
if(ZOVA_PNG_ICONS)
    add_custom_target(zova_png_icons ALL DEPENDS ${ZOVA_PNG_ICONS})
endif()

# Manual pages of the commands on the PATH.
foreach(page zova zova_af vessilo)
    set(gz ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
    add_custom_command(OUTPUT ${gz}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
        COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/resources/man/${page}.1 > ${gz}
        DEPENDS ${PROJECT_SOURCE_DIR}/resources/man/${page}.1 VERBATIM)
    list(APPEND ZOVA_MAN_PAGES ${gz})
endforeach()
add_custom_target(zova_man_pages ALL DEPENDS ${ZOVA_MAN_PAGES})
install(FILES ${ZOVA_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# What Debian asks of every package's documentation.
set(ZOVA_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/zelvor)
install(FILES ${ZOVA_DESKTOP_DIR}/copyright DESTINATION ${ZOVA_DOC_DIR})
# A small library to try the programs on, where Debian keeps examples.
install(FILES ${ZOVA_DIST_DIR}/sample.zva DESTINATION ${ZOVA_DOC_DIR}/examples)
file(WRITE ${CMAKE_BINARY_DIR}/changelog.Debian
     "zelvor (${PROJECT_VERSION}) stable; urgency=medium\n\n"
     "  * Packaged release of the Zelvor tool set.\n\n"
     " -- Zelvor Project <packages@zelvor.jp>  Mon, 07 Dec 2026 00:00:00 +0000\n")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/changelog.Debian > ${CMAKE_BINARY_DIR}/changelog.gz
    DEPENDS ${CMAKE_BINARY_DIR}/changelog.Debian VERBATIM)
add_custom_target(zova_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${ZOVA_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelvor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGE_CONTACT "Zelvor Project <packages@zelvor.jp>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://zelvor.jp/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "affiliate ad manager and style-sheet maker")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Zelvor keeps a library of folders, ad items and banners for web-site owners
who earn from affiliate advertising, generates ad blocks as HTML tables,
random-rotation JavaScript or several pages, previews them and uploads them
by FTP. Vessilo writes the style sheets of those blocks with a live preview;
the command zova exposes the same core for scripting.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The last commit's time stamps the package's files: the same commit packs to the same bytes.
execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                OUTPUT_VARIABLE ZOVA_COMMIT_TIME OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(ZOVA_COMMIT_TIME $ENV{SOURCE_DATE_EPOCH})
elseif(NOT ZOVA_COMMIT_TIME)
    set(ZOVA_COMMIT_TIME 0)
endif()
set(CPACK_ZOVA_SOURCE_DATE_EPOCH ${ZOVA_COMMIT_TIME})
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/FinishDeb.cmake)
# What the shared libraries do not say: the SVG icon plugin, and (recommended)
# Qt's Japanese texts and a Japanese font.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-ipafont-gothic | fonts-noto-cjk, xdg-utils")
include(CPack)
