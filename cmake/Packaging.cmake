# Install rules and the Debian package (CPack DEB), included at the end of the
# top-level CMakeLists.txt. `bash scripts/package.sh` builds the package:
#   build-pkg/quendra_<version>_<arch>.deb
# The programs go to bin/, the desktop entry and the icon to share/, the
# documentation to share/doc/quendra/. Tests, benchmarks and the static
# libraries are not installed.

include(GNUInstallDirs)

set(QUENDRA_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# --- Programs ---------------------------------------------------------------
install(TARGETS quendrapr quendra-cli veltar-standin
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The stand-in's demo company, where it looks for it: bin/../share/veltar-standin.
install(FILES ${PROJECT_SOURCE_DIR}/standin/data/demo-company.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/veltar-standin)

# --- Desktop entry and icon -------------------------------------------------
install(FILES ${QUENDRA_PACKAGING_DIR}/quendrapr.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QUENDRA_PACKAGING_DIR}/quendrapr.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# A 48x48 PNG for menus that do not draw SVG, rendered at build time when
# rsvg-convert (librsvg2-bin) is there; without it the package has the SVG only.
find_program(QUENDRA_RSVG_CONVERT rsvg-convert)
if(QUENDRA_RSVG_CONVERT)
    set(quendra_icon_png ${CMAKE_BINARY_DIR}/icons/48x48/quendrapr.png)
    add_custom_command(
        OUTPUT ${quendra_icon_png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/48x48
        COMMAND ${QUENDRA_RSVG_CONVERT} -w 48 -h 48 -o ${quendra_icon_png}
                ${QUENDRA_PACKAGING_DIR}/quendrapr.svg
        DEPENDS ${QUENDRA_PACKAGING_DIR}/quendrapr.svg
        COMMENT "Rendering the 48x48 program icon"
        VERBATIM)
    add_custom_target(quendrapr_icon ALL DEPENDS ${quendra_icon_png})
    install(FILES ${quendra_icon_png}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
else()
    message(STATUS "rsvg-convert not found: the package gets the SVG icon only")
endif()

# --- Documentation (share/doc/quendra/) --------------------------------------
file(GLOB quendra_doc_pages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${quendra_doc_pages}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/standin/README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME standin.md)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/screenshots ${PROJECT_SOURCE_DIR}/docs/samples
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# --- Copyright, changelog and manual pages (what Debian's policy asks) --------
# The changelog and the manual pages go in compressed (gzip -9n: no name or
# time stamp, so that a rebuild gives the same bytes).
configure_file(${QUENDRA_PACKAGING_DIR}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
set(quendra_gzipped)
macro(quendra_gzip source target)
    add_custom_command(
        OUTPUT ${CMAKE_BINARY_DIR}/packaging/${target}
        COMMAND gzip -9n -c ${source} > ${CMAKE_BINARY_DIR}/packaging/${target}
        DEPENDS ${source}
        COMMENT "Compressing ${target}"
        VERBATIM)
    list(APPEND quendra_gzipped ${CMAKE_BINARY_DIR}/packaging/${target})
endmacro()
quendra_gzip(${CMAKE_BINARY_DIR}/packaging/changelog changelog.gz)
foreach(page quendrapr quendra-cli veltar-standin)
    quendra_gzip(${QUENDRA_PACKAGING_DIR}/man/${page}.1 ${page}.1.gz)
endforeach()
add_custom_target(quendra_packaging_files ALL DEPENDS ${quendra_gzipped})
install(FILES ${QUENDRA_PACKAGING_DIR}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_BINARY_DIR}/packaging/quendrapr.1.gz
              ${CMAKE_BINARY_DIR}/packaging/quendra-cli.1.gz
              ${CMAKE_BINARY_DIR}/packaging/veltar-standin.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# --- Debian package -----------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quendra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quendra Entwicklung")
set(CPACK_PACKAGE_CONTACT "Quendra Entwicklung <entwicklung@quendra.invalid>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quendra Entwicklung <entwicklung@quendra.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Lieferantenpreise für VELTAR / supplier price data tool for the VELTAR ERP")
# Lines of at most 80 characters; CPack indents them for the control file.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Quendra Preisdaten (quendrapr) is the desktop tool with which buyers bring\n"
    "supplier price data into the VELTAR ERP: import a supplier's price file or\n"
    "a server download, review the positions, assign ERP articles, maintain\n"
    "purchase discount groups and post the result.\n"
    "\n"
    "The package also holds quendra-cli, the same logic without a display for\n"
    "scripts, and veltar-standin, a stand-in for the ERP server (SQLite, TCP)\n"
    "with a demo company. The documentation is in /usr/share/doc/quendra/.")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)   # quendra_<version>_<arch>.deb
# CPACK_DEBIAN_PACKAGE_ARCHITECTURE is left unset: CPack takes it from
# `dpkg --print-architecture`.

# Runtime dependencies on Debian 12's Qt 6 packages, named explicitly. The
# minimum versions of the C and C++ runtimes and of SQLite are what
# dpkg-shlibdeps found for the three programs when this list was made;
# scripts/package.sh checks that every package it finds is in this list (by
# name; the versions are kept by hand). What is loaded at run time is not
# seen by dpkg-shlibdeps: Qt's SQLite driver (libqt6sql6-sqlite) for
# veltar-standin, Qt's TLS backend (a plugin of libqt6network6 that loads
# libssl3, which veltar-standin also links for its certificate), the
# platform plugins (on Debian 12 xcb and offscreen come with libqt6gui6,
# qt6-qpa-plugins adds the others). libqt6printsupport6 is
# there for quendrapr's printing (QtPrintSupport, never linked by quendra-cli).
# qt6-translations-l10n gives Qt's own dialogs and buttons their German
# texts (loaded at run time).
# CPACK_DEBIAN_PACKAGE_SHLIBDEPS stays off so the Depends line names each
# package once.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6 (>= 6.4)"
    "libqt6gui6 (>= 6.4)"
    "libqt6widgets6 (>= 6.4)"
    "libqt6network6 (>= 6.4)"
    "libqt6sql6 (>= 6.4)"
    "libqt6sql6-sqlite (>= 6.4)"
    "libqt6printsupport6 (>= 6.4)"
    "qt6-qpa-plugins (>= 6.4)"
    "qt6-translations-l10n (>= 6.4)"
    "libsqlite3-0 (>= 3.20.0)"
    "libxlsxwriter4 (>= 1.1)"
    "libzip4 (>= 1.7)"
    "libsodium23 (>= 1.0.18)"
    "libssl3 (>= 3.0.0)"
    "libstdc++6 (>= 11)"
    "libgcc-s1 (>= 3.0)"
    "libc6 (>= 2.34)")
list(JOIN CPACK_DEBIAN_PACKAGE_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

include(CPack)
