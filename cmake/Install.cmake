# Installation as a CUPS driver: the filters where CUPS runs filters, the compiled PPDs where
# CUPS looks for models, the preview tools in bin/. CUPS is asked for its directories with
# cups-config; a directory under /usr is kept relative, so that the installation prefix
# (default /usr, where CUPS looks) and DESTDIR move it along.
# CUPS looks for drivers below /usr only, so that is the default prefix.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Installation prefix" FORCE)
endif()
include(GNUInstallDirs)
find_program(CUPS_CONFIG cups-config REQUIRED)

set(MX_PACKAGE_NAME mox-label-filters)

# mx_cups_dir(<cups-config option> <variable>): the directory, relative to /usr when below it.
function(mx_cups_dir option variable)
  execute_process(COMMAND ${CUPS_CONFIG} ${option} OUTPUT_VARIABLE dir
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX REPLACE "^/usr/" "" dir "${dir}")
  set(${variable} "${dir}" PARENT_SCOPE)
endfunction()

mx_cups_dir(--serverbin MX_CUPS_SERVERBIN)
mx_cups_dir(--datadir MX_CUPS_DATADIR)
set(MX_FILTER_DIR "${MX_CUPS_SERVERBIN}/filter" CACHE STRING "Where the CUPS filters go")
# Compiled PPDs rather than driver information files: they are the very files the tests check
# (cupstestppd, every choice through the filters), and need no PPD compiler when CUPS lists them.
set(MX_PPD_DIR "${MX_CUPS_DATADIR}/model/${MX_PACKAGE_NAME}" CACHE STRING "Where the PPDs go")
set(MX_DOC_DIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/${MX_PACKAGE_NAME}")

install(TARGETS rastomoxzpl rastomoxtspl rastomoxepl rastertomoxdtpos
        RUNTIME DESTINATION ${MX_FILTER_DIR})
install(FILES ${MX_PPD_FILES}
        DESTINATION ${MX_PPD_DIR})
install(TARGETS labelpreview zpldecode tspldecode epldecode posdecode rfid_peer
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${MX_DOC_DIR})

# Removes what `cmake --install` puts in place (same prefix, same DESTDIR).
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMX_BUILD_DIR=${PROJECT_BINARY_DIR} -DMX_PREFIX=${CMAKE_INSTALL_PREFIX}
          -DMX_PACKAGE_NAME=${MX_PACKAGE_NAME} -P ${PROJECT_SOURCE_DIR}/cmake/Uninstall.cmake
  COMMENT "Removing the installed files")
