# Installation and the Debian package.
include(GNUInstallDirs)

install(TARGETS vantelo vantelo-sim vantelo-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(VANTELO_DIST ${CMAKE_CURRENT_LIST_DIR}/../dist)
# The manual pages and the metainfo carry the version; they are filled in from the one definition.
set(VANTELO_MAN_PAGES vantelo.1 vantelo-sim.1 vantelo-cli.1)
foreach(page ${VANTELO_MAN_PAGES} com.korvane.Vantelo.metainfo.xml)
    configure_file(${VANTELO_DIST}/${page}.in ${CMAKE_BINARY_DIR}/dist/${page} @ONLY)
endforeach()
install(FILES ${VANTELO_DIST}/com.korvane.Vantelo.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_BINARY_DIR}/dist/com.korvane.Vantelo.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
list(TRANSFORM VANTELO_MAN_PAGES PREPEND ${CMAKE_BINARY_DIR}/dist/)
install(FILES ${VANTELO_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
foreach(size 16 24 32 48 64 128 256)
    install(FILES ${VANTELO_DIST}/icons/vantelo-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME com.korvane.Vantelo.png)
endforeach()
install(FILES ${VANTELO_DIST}/icons/vantelo.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME com.korvane.Vantelo.svg)

# udev reads /usr/lib/udev/rules.d whatever the install prefix, so below /usr/local the rule would
# be ignored: a source install from the default prefix gets it at the system path, the package
# and staged installs (DESTDIR) below their own prefix.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr/local")
    set(_vantelo_udev_default /usr/lib/udev/rules.d)
else()
    set(_vantelo_udev_default lib/udev/rules.d)
endif()
set(VANTELO_UDEV_RULES_DIR ${_vantelo_udev_default}
    CACHE STRING "Where the udev rule goes; relative paths are below the prefix")
# The rule is written from the catalogue, the one place the USB identifiers are kept.
add_executable(vantelo_udev_rule ${VANTELO_DIST}/make_udev_rule.cpp)
target_link_libraries(vantelo_udev_rule PRIVATE vantelo_core)
vantelo_warnings(vantelo_udev_rule)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/dist/70-vantelo.rules
    COMMAND vantelo_udev_rule ${CMAKE_BINARY_DIR}/dist/70-vantelo.rules
    DEPENDS vantelo_udev_rule VERBATIM)
add_custom_target(vantelo_udev_rule_file ALL DEPENDS ${CMAKE_BINARY_DIR}/dist/70-vantelo.rules)
install(FILES ${CMAKE_BINARY_DIR}/dist/70-vantelo.rules DESTINATION ${VANTELO_UDEV_RULES_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantelo)
set(CPACK_PACKAGE_VENDOR Korvane)
set(CPACK_PACKAGE_CONTACT "Vantelo maintainers <vantelo@korvane.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Configure Korvane USB stage-lighting dimmers and wireless DMX receivers")
set(CPACK_PACKAGE_DESCRIPTION
    "Vantelo finds the serial port of an attached Glimmerline LED dimmer or Farcast wireless DMX
receiver card, identifies the model and shows its settings: device label and firmware, DMX fail
behaviour, DMX input and RDM, per-channel dimming and the wireless link. A udev rule lets the
user at the seat open the device without root. vantelo-cli saves a unit's settings to a file,
compares a unit with a file and applies a file with verification, from a shell and without a
display. vantelo-sim simulates every supported model on a pseudo-terminal.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Staging through DESTDIR keeps an absolute rule directory inside the package instead of writing
# to the packaging machine's own /usr.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.korvane.com")
# Library dependencies come from the binaries themselves. udev only matters for the access rule;
# the program runs without it (simulated devices, or a port opened as root).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev")
include(CPack)
