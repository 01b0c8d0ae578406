# Debian packages, made by "cpack -G DEB" in a build configured with CMAKE_INSTALL_PREFIX=/usr:
#   libcore1      libCore.so.1 and its English catalogue (libcoreqt6-1 for Qt 6)
#   libcore-dev   headers, CMake package, pkg-config file, qmake module, API reference
#                 (libcoreqt6-dev)
#   dbupdate      the upgrade program and its catalogue (dbupdate-qt6)
# The runtime package is named after the SONAME; the Qt 5 and Qt 6 packages share no file.
if(NOT UNIX OR APPLE)
    return()
endif()

string(TOLOWER "lib${CORE_LIBRARY_NAME}" core_deb_base)
if(core_deb_base MATCHES "[0-9]$")
    set(core_deb_runtime ${core_deb_base}-${PROJECT_VERSION_MAJOR})
else()
    set(core_deb_runtime ${core_deb_base}${PROJECT_VERSION_MAJOR})
endif()
set(core_deb_dev ${core_deb_base}-dev)
if(CORE_QT_MAJOR STREQUAL "6")
    set(core_deb_qt_dev "qt6-base-dev, qt6-declarative-dev")
    set(core_deb_sqlite libqt6sql6-sqlite)
else()
    set(core_deb_qt_dev "qtbase5-dev, qtscript5-dev")
    set(core_deb_sqlite libqt5sql5-sqlite)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavocore)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Coagulation workstation developers <workstation@tavocore.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev dbupdate)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from dpkg-shlibdeps; only what is loaded at run time (the SQLite
# driver plugin) and what the headers and the CMake package need is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${core_deb_runtime})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS ${core_deb_sqlite})
# dpkg's ldconfig trigger renews the linker cache (CPack's own scripts still call ldconfig too).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "coagulation workstation core library (Qt ${CORE_QT_MAJOR})
The shared library that the coagulation analyser application links: the
settings store, test results and clot curves, sample numbering, and the
serial port, built against Qt ${CORE_QT_MAJOR}. With its English catalogue.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${core_deb_dev})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${core_deb_runtime} (= ${PROJECT_VERSION}), ${core_deb_qt_dev}")
set(CPACK_COMPONENT_DEV_DESCRIPTION "coagulation workstation core library (Qt ${CORE_QT_MAJOR}) - development files
Headers, the CMake package ${CORE_CMAKE_PACKAGE}, the pkg-config file
${CORE_INSTALL_NAME}.pc, the qmake module tavocore and the API reference of
the coagulation workstation core library, built against Qt ${CORE_QT_MAJOR}.")

set(CPACK_DEBIAN_DBUPDATE_PACKAGE_NAME ${DBUPDATE_INSTALL_NAME})
set(CPACK_DEBIAN_DBUPDATE_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_DBUPDATE_PACKAGE_DEPENDS ${core_deb_sqlite})
set(CPACK_COMPONENT_DBUPDATE_DESCRIPTION "coagulation workstation database upgrade (Qt ${CORE_QT_MAJOR})
The console program an installer runs in a workstation's data directory to
bring its SQLite databases to the current schema, with its English
catalogue. Built against Qt ${CORE_QT_MAJOR}; installed as ${DBUPDATE_INSTALL_NAME}.")

# Every package carries the copyright file and a changelog, as Debian asks.
set(core_deb_dir ${PROJECT_BINARY_DIR}/debian)
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${core_deb_dir}/changelog @ONLY)
execute_process(COMMAND gzip -9nf ${core_deb_dir}/changelog)
foreach(component runtime dev dbupdate)
    string(TOUPPER ${component} upper)
    install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${core_deb_dir}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
            COMPONENT ${component})
endforeach()
set(CORE_DEB_DEV_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/${core_deb_dev})

include(CPack)
