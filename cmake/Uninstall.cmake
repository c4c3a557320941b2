# Removes the installed files: installs once more into a scratch directory to learn what the
# install rules place, then deletes those files under $DESTDIR<prefix>, and the package's own
# directories once empty. Run by the `uninstall` target:
#   cmake -DMX_BUILD_DIR=<build> -DMX_PREFIX=<prefix> -DMX_PACKAGE_NAME=<name> -P cmake/Uninstall.cmake
if(NOT MX_BUILD_DIR OR NOT MX_PREFIX OR NOT MX_PACKAGE_NAME)
  message(FATAL_ERROR "MX_BUILD_DIR, MX_PREFIX and MX_PACKAGE_NAME are needed")
endif()
set(destdir "$ENV{DESTDIR}")
string(RANDOM LENGTH 8 tag)
set(scratch "${MX_BUILD_DIR}/uninstall-scratch-${tag}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${scratch}
                        ${CMAKE_COMMAND} --install ${MX_BUILD_DIR} --prefix ${MX_PREFIX}
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${scratch} ${scratch}/*)
file(GLOB_RECURSE folders LIST_DIRECTORIES true RELATIVE ${scratch} ${scratch}/*)
file(REMOVE_RECURSE ${scratch})
foreach(file IN LISTS installed)
  if(EXISTS "${destdir}/${file}" OR IS_SYMLINK "${destdir}/${file}")
    message(STATUS "Removing ${destdir}/${file}")
    file(REMOVE "${destdir}/${file}")
  endif()
endforeach()
# Only directories that hold nothing but what the package put there: its PPD and doc folders.
list(FILTER folders INCLUDE REGEX "/${MX_PACKAGE_NAME}$")
foreach(folder IN LISTS folders)
  file(GLOB left "${destdir}/${folder}/*")
  if(IS_DIRECTORY "${destdir}/${folder}" AND NOT left)
    message(STATUS "Removing ${destdir}/${folder}")
    file(REMOVE_RECURSE "${destdir}/${folder}")
  endif()
endforeach()
