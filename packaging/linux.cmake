# Linux only: manual pages (help2man from each program's --help), and Deve's
# desktop entry, hicolor icon and AppStream metainfo.

set(velmo_app_id org.velmo.Deve)

find_program(VELMO_HELP2MAN help2man)
find_program(VELMO_GZIP gzip REQUIRED)
# help2man runs the programs: not when they are built for another machine,
# nor in a sanitizer build (made for the tests, not for installing), where a
# report at exit would fail the build.
set(velmo_manual_pages ON)
if(CMAKE_CROSSCOMPILING)
  set(velmo_manual_pages OFF)
  message(STATUS "Cross-compiling: no manual pages")
elseif(CMAKE_CXX_FLAGS MATCHES "-fsanitize=")
  set(velmo_manual_pages OFF)
  message(STATUS "Sanitizer build: no manual pages")
elseif(NOT VELMO_HELP2MAN)
  set(velmo_manual_pages OFF)
  message(STATUS "help2man not found: no manual pages")
endif()

# velmo_manual_page(TARGET COMPONENT SUMMARY INCLUDE [help2man options]...)
# Builds TARGET.1.gz from the program's --help, with SUMMARY as the line under
# NAME and the sections of the help2man include file INCLUDE, and installs it
# with COMPONENT.
function(velmo_manual_page target component summary include)
  if(NOT velmo_manual_pages)
    return()
  endif()
  set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${target}.1)
  # help2man names the program after the file it runs: run it from PATH so
  # the usage line says "Deve", not the build directory.
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${target}>:$ENV{PATH}"
      QT_QPA_PLATFORM=offscreen
      ${VELMO_HELP2MAN} --no-info --section=1 "--name=${summary}"
      "--include=${include}" ${ARGN} --output=${page} ${target}
    COMMAND ${VELMO_GZIP} -9nf ${page}
    DEPENDS ${target} ${include}
    COMMENT "Manual page for ${target}"
    VERBATIM)
  add_custom_target(${target}_manual_page ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()

if(TARGET deve-cli)
  velmo_manual_page(deve-cli cli
    "bench operations of the Varimon Wi-Fi SoC from the command line"
    ${CMAKE_CURRENT_SOURCE_DIR}/deve-cli.h2m)
endif()

if(TARGET Deve)
  # Deve has no --version: the manual page carries the release's version.
  velmo_manual_page(Deve console
    "RF test console for the Varimon dual-band Wi-Fi SoC"
    ${CMAKE_CURRENT_SOURCE_DIR}/deve/Deve.h2m
    "--version-string=${PROJECT_VERSION}")

  install(FILES deve/${velmo_app_id}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT console)
  install(FILES ${PROJECT_SOURCE_DIR}/console/resources/deve.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/64x64/apps
    RENAME ${velmo_app_id}.png COMPONENT console)
  install(FILES deve/${velmo_app_id}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT console)
endif()
