# The Debian package, built by CPack from the install rules (scripts/package.sh):
#   cpack -G DEB --config build/CPackConfig.cmake
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${MX_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_PACKAGE_CONTACT "mox-label-filters maintainers <root@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "CUPS drivers for ZPL II, TSPL and EPL2 label printers and ESC/POS receipt printers")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "\
CUPS raster filters and PPDs for thermal label printers (ZPL II, TSPL, EPL2 at 203
and 300 dpi) and ESC/POS receipt printers (58 and 80 mm paper), with labelpreview,
which shows what a job would print, and reads its barcodes, without printing it.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_STRIP_FILES ON)
# The libraries come from dpkg-shlibdeps (libcups2, libcupsimage2, zlib1g, libpng16-16,
# libzbar0, the C and C++ run-time); the programs the filters run are named here:
# CUPS's PDF to raster filters, and poppler's pdfinfo and pdftoppm for PDF preprocessing.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "cups-filters, poppler-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cups")
include(CPack)
