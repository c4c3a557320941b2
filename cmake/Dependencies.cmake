# Libraries the filters are built on, all from Debian packages
# (libcups2-dev, libcupsimage2-dev, zlib1g-dev, libdeflate-dev, libpng-dev, libzbar-dev,
# googletest).
find_package(Threads REQUIRED)
find_package(ZLIB REQUIRED)
find_package(PkgConfig REQUIRED)
# libdeflate only for the deflate benchmark, which holds the graphic encoder against it.
pkg_check_modules(LIBDEFLATE REQUIRED IMPORTED_TARGET libdeflate)
# libzbar reads the barcodes on previewed labels.
pkg_check_modules(ZBAR REQUIRED IMPORTED_TARGET zbar)

find_path(CUPS_INCLUDE_DIR cups/raster.h REQUIRED)
find_library(CUPS_LIBRARY cups REQUIRED)
find_library(CUPSIMAGE_LIBRARY cupsimage REQUIRED)

add_library(cups::cups INTERFACE IMPORTED)
target_include_directories(cups::cups INTERFACE ${CUPS_INCLUDE_DIR})
# libcups first: it holds the raster stream functions too, so that a program linked with
# --as-needed (the filters) does not load libcupsimage for them.
target_link_libraries(cups::cups INTERFACE ${CUPS_LIBRARY} ${CUPSIMAGE_LIBRARY})

# Link options of the four filter programs. CUPS starts one process per job, so the dynamic
# loader runs once per label job: libstdc++ and libgcc linked in spare it their symbol lookups
# and relocations, and unused libraries are not loaded at all.
add_library(mx_filter_program INTERFACE)
target_link_options(mx_filter_program INTERFACE -Wl,--as-needed -static-libstdc++ -static-libgcc)
