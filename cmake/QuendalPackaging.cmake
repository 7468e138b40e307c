# Debian packages from the install rules: `cpack -G DEB` in a build directory makes
#   libquendal1     the shared library under its SONAME (libquendal.so.1)
#   libquendal-dev  header, unversioned link, CMake package, pkg-config file, guide and examples
#   quendal-tools   the quendal command with its simulators
# Their dependencies are computed from the binaries (dpkg-shlibdeps), so a package never claims
# less than its binaries need, nor more.
set(CPACK_PACKAGE_NAME quendal)
set(CPACK_PACKAGE_VENDOR "Quendal")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Whoever builds the packages for a site names themselves here: the Maintainer field of the three
# packages, "Name <address>" (-DQUENDAL_PACKAGE_MAINTAINER=...). Left alone it is the project, at
# an address in the reserved domain .invalid: Debian's tools require an address, and this one can
# never reach a stranger.
set(QUENDAL_PACKAGE_MAINTAINER "${PROJECT_NAME} <quendal@quendal.invalid>" CACHE STRING
  "Maintainer field of the Debian packages, as Name <address>")
set(CPACK_PACKAGE_CONTACT "${QUENDAL_PACKAGE_MAINTAINER}")
# No package-wide summary: CPack would put it before each package's own synopsis line.
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_OUTPUT_FILE_PREFIX packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime dev)
if(QUENDAL_BUILD_TOOLS)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()

if(UNIX AND NOT APPLE)
  set(CPACK_GENERATOR DEB)
  # Packages install under /usr whatever prefix the build was configured with.
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The library's package carries a shlibs file and the ldconfig trigger, so programs find it
  # in the linker's cache as soon as it is installed.
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

  # The library's package also asks dpkg to run ldconfig once, after all packages are unpacked.
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/triggers)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/libquendal1.triggers ${CMAKE_CURRENT_BINARY_DIR}/triggers
    COPYONLY)

  # Debian wants each package's changelog.gz in its documentation folder. The packages are built
  # from this tree, so it is one entry for the version, pointing to the project's change log; its
  # date is the day of configuring, or that of SOURCE_DATE_EPOCH for a reproducible build.
  string(TIMESTAMP QUENDAL_PACKAGE_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
    COMMAND gzip -9n -c ${CMAKE_CURRENT_BINARY_DIR}/changelog > ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog VERBATIM)
  add_custom_target(quendal_package_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${QUENDAL_DOC_RUNTIME}
    COMPONENT runtime)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${QUENDAL_DOC_DEV}
    COMPONENT dev)
  if(QUENDAL_BUILD_TOOLS)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${QUENDAL_DOC_TOOLS}
      COMPONENT tools)
  endif()

  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libquendal1)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "card_trans: bank-card transactions on a POS terminal (shared library)
One call of card_trans is one whole bank-card transaction for an insurer's
business application: it checks the request, tests the business host, talks
to the bank POS terminal on its serial line, relays the terminal's bank
traffic to the bank host and reports the result to the business host.

This package holds the shared library, libquendal.so.1.")

  set(CPACK_DEBIAN_DEV_PACKAGE_NAME libquendal-dev)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libquendal1 (= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_DEV_DESCRIPTION
    "card_trans: bank-card transactions on a POS terminal (development files)
What a program that calls card_trans is built with: the header
quendal/card_trans.h, the libquendal.so link, the CMake package
(find_package(Quendal)) and the pkg-config file (quendal), with the
integrator's guide and example callers in C and Python.")

  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME quendal-tools)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "card_trans: bank-card transactions on a POS terminal (command line)
The quendal command: runs one transaction through card_trans from a shell,
showing its progress live, and hosts a simulated POS terminal (on a pty) and
simulated bank and business hosts (on 127.0.0.1) to try it against.")
endif()

if(WIN32)
  # The Windows SDK: `cpack` in a Windows build directory makes one zip of everything installed,
  # Quendal-<version>-win32-sdk.zip (i686, the shipped DLL) or -win64-sdk.zip.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_COMPONENTS_ALL sdk)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  set(CPACK_STRIP_FILES OFF)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_PACKAGE_FILE_NAME Quendal-${PROJECT_VERSION}-win32-sdk)
  else()
    set(CPACK_PACKAGE_FILE_NAME Quendal-${PROJECT_VERSION}-win64-sdk)
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()

include(CPack)
