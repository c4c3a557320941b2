# Libraries the filters are built on, all from Debian packages
# (libcups2-dev, libcupsimage2-dev, zlib1g-dev, libdeflate-dev, libpng-dev, libzbar-dev,
# googletest).
find_package(Threads REQUIRED)
find_package(ZLIB REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBDEFLATE REQUIRED IMPORTED_TARGET libdeflate)
# libzbar reads the barcodes on previewed labels.
pkg_check_modules(ZBAR REQUIRED IMPORTED_TARGET zbar)

find_path(CUPS_INCLUDE_DIR cups/raster.h REQUIRED)
find_library(CUPS_LIBRARY cups REQUIRED)
find_library(CUPSIMAGE_LIBRARY cupsimage REQUIRED)

add_library(cups::cups INTERFACE IMPORTED)
target_include_directories(cups::cups INTERFACE ${CUPS_INCLUDE_DIR})
target_link_libraries(cups::cups INTERFACE ${CUPSIMAGE_LIBRARY} ${CUPS_LIBRARY})
