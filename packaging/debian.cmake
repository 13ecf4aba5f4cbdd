# Debian packages through CPack (cpack -G DEB), one package per install
# component:
#   libvelmo0     runtime       the library, named after its SONAME
#   libvelmo-dev  development   depends on libvelmo0 of the same version
#   xolt-sim      board         the simulated board
#   deve          console
#   deve-cli      cli
#   python3-deve  python        architecture all, depends on deve-cli
# Dependencies on system libraries come from dpkg-shlibdeps; those between
# the packages from the component dependencies, with the exact version.
#
# Configure with -DCMAKE_INSTALL_PREFIX=/usr so that the library directory is
# the multiarch one (lib/x86_64-linux-gnu), and with dpkg-buildflags' flags
# for the hardening Debian expects (scripts/test-packages.sh does both).

set(VELMO_PACKAGE_MAINTAINER "Velmo maintainers <maintainers@velmo.invalid>"
  CACHE STRING "Maintainer field of the Debian packages (name <address>)")

set(velmo_runtime_package libvelmo${PROJECT_VERSION_MAJOR})
set(velmo_packages_dir ${CMAKE_CURRENT_SOURCE_DIR}/debian)
set(velmo_debian_dir ${CMAKE_CURRENT_BINARY_DIR}/debian)

# Every package carries its copyright file and changelog in
# /usr/share/doc/<package>, and, where a lintian warning is kept, the
# override that says why. They are installed only for one component at a
# time, as CPack does, not by a plain cmake --install.
add_custom_command(OUTPUT ${velmo_debian_dir}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${velmo_debian_dir}
  COMMAND ${CMAKE_COMMAND} -E copy ${velmo_packages_dir}/changelog ${velmo_debian_dir}/changelog
  COMMAND ${VELMO_GZIP} -9nf ${velmo_debian_dir}/changelog
  DEPENDS ${velmo_packages_dir}/changelog
  COMMENT "Package changelog"
  VERBATIM)
add_custom_target(velmo_package_changelog ALL DEPENDS ${velmo_debian_dir}/changelog.gz)

function(velmo_package_documents component package)
  install(FILES ${velmo_packages_dir}/copyright ${velmo_debian_dir}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
  if(EXISTS ${velmo_packages_dir}/${package}.lintian-overrides)
    install(FILES ${velmo_packages_dir}/${package}.lintian-overrides
      DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
      RENAME ${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
  endif()
endfunction()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VELMO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Each package's synopsis is the first line of its own description (CPack
# would otherwise put the project's summary in front of every one).
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE velmo)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The programs' libvelmo.so.0 lives in another package: dpkg-shlibdeps finds
# it in the build tree, and the component dependency names its package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
# A shlibs file for programs built against libvelmo0 elsewhere.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_COMPONENTS_ALL runtime development board)

# runtime
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${velmo_runtime_package})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS xolt-sim)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${velmo_packages_dir}/triggers)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
"RF function library for the Varimon dual-band Wi-Fi SoC
libvelmo drives a Varimon dual-band (2.4 GHz and 5 GHz) Wi-Fi
system-on-chip through a flat C interface: connection and register access,
channel, rate and gain settings, transmit and receive tests, calibrations,
power-amplifier pre-distortion and the eFuse store.

It reaches the chip only through 32-bit register reads and writes of a
transport library that it loads at run time: XOLT_LIBRARY when set, else
libxolt.so, such as the simulated board of the xolt-sim package.")
velmo_package_documents(runtime ${velmo_runtime_package})

# development
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvelmo-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
"RF function library for the Varimon Wi-Fi SoC - development files
libvelmo drives a Varimon dual-band (2.4 GHz and 5 GHz) Wi-Fi
system-on-chip through a flat C interface.

This package holds the headers (velmo/velmo.h, velmo/gain_codes.h,
xolt/xolt.h), the CMake package (find_package(velmo) gives velmo::velmo)
and the pkg-config file velmo.pc.")
velmo_package_documents(development libvelmo-dev)

# board
set(CPACK_DEBIAN_BOARD_PACKAGE_NAME xolt-sim)
set(CPACK_DEBIAN_BOARD_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_BOARD_PACKAGE_ENHANCES ${velmo_runtime_package})
set(CPACK_DEBIAN_BOARD_PACKAGE_CONTROL_EXTRA ${velmo_packages_dir}/triggers)
set(CPACK_DEBIAN_BOARD_DESCRIPTION
"simulated Varimon Wi-Fi board for libvelmo
A model of a Varimon dual-band Wi-Fi system-on-chip behind the eleven entry
points of the xolt transport: register store, eFuse controller, calibration
engine, packet generator, receive counters, temperature sensor and a
power-amplifier model. libvelmo, Deve and deve-cli use it when no other
transport is named in XOLT_LIBRARY, so they run without hardware.

Its eFuse array is kept in XOLT_FUSE_FILE (default
~/.local/state/xolt/efuse.bin).
.
Also the recording transport (lib/velmo/tap/libxolt_tap.so), which records
every call to a real transport in a trace, and the replay transport
(lib/velmo/replay/libxolt_replay.so), which plays a trace back without a
board.")
velmo_package_documents(board xolt-sim)

if(TARGET Deve)
  list(APPEND CPACK_COMPONENTS_ALL console)
  set(CPACK_COMPONENT_CONSOLE_DEPENDS runtime)
  set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME deve)
  set(CPACK_DEBIAN_CONSOLE_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_CONSOLE_PACKAGE_RECOMMENDS xolt-sim)
  set(CPACK_DEBIAN_CONSOLE_DESCRIPTION
"RF test console for the Varimon dual-band Wi-Fi SoC
Deve brings up, tests and characterises a board that carries a Varimon
dual-band (2.4 GHz and 5 GHz) Wi-Fi system-on-chip, from one dialog window:
register reads and writes, channel, rate and gain settings, continuous
transmission, reception with the packet error rate every second,
calibrations and pre-distortion, and the eFuse and MAC address.

With xolt-sim installed it runs on the simulated board; a real transport is
named in XOLT_LIBRARY.")
  velmo_package_documents(console deve)
endif()

if(TARGET deve-cli)
  list(APPEND CPACK_COMPONENTS_ALL cli)
  set(CPACK_COMPONENT_CLI_DEPENDS runtime)
  set(CPACK_DEBIAN_CLI_PACKAGE_NAME deve-cli)
  set(CPACK_DEBIAN_CLI_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS xolt-sim)
  set(CPACK_DEBIAN_CLI_DESCRIPTION
"bench operations of the Varimon Wi-Fi SoC from the command line
deve-cli runs the Deve console's operations from a shell, for production
lines and automated characterisation: register access, tuning, transmit and
receive runs against pass/fail limits, calibrations, temperature, register
scripts and a staged, verified eFuse burn. With --json every result is one
JSON object per line.

With xolt-sim installed it runs on the simulated board; a real transport is
named in XOLT_LIBRARY.")
  velmo_package_documents(cli deve-cli)

  list(APPEND CPACK_COMPONENTS_ALL python)
  set(CPACK_COMPONENT_PYTHON_DEPENDS cli)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-deve)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3 (>= 3.11)")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS python3-pytest)
  set(CPACK_DEBIAN_PYTHON_DESCRIPTION
"Python client of deve-cli for Varimon Wi-Fi SoC stations
The deve package writes station sequences in Python over one deve-cli
session: the board's commands as methods, typed results, one exception per
kind of failure, timeouts, and the radio left safe on Ctrl-C. Its pytest
plugin gives a deve_session fixture that ties each run to its test in the
line store.")
  velmo_package_documents(python python3-deve)
endif()

include(CPack)
