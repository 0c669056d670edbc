# k4pack's Linux release packages, made by CPack from the host build (scripts/release.sh
# runs it): a .tar.gz and a Debian .deb holding bin/k4pack and its manual page. Included
# at the end of tools/k4pack/CMakeLists.txt, where K4PACK_VERSION and the install rules
# are known.
set(K4_PACKAGE_MAINTAINER "K4 maintainers <k4-maintainers@example.org>"
    CACHE STRING "Maintainer field of the k4pack .deb")

set(CPACK_PACKAGE_NAME k4pack)
set(CPACK_PACKAGE_VERSION ${K4PACK_VERSION})
set(CPACK_PACKAGE_VENDOR "K4")
set(CPACK_PACKAGE_CONTACT "${K4_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "build, inspect and verify self-extracting cabinet archives for Windows")
# The long description in lines of Debian's width.
set(CPACK_PACKAGE_DESCRIPTION "k4pack packs files and folders into a cabinet and appends it to a copy of\n\
a small Windows extractor program, which it carries for i686 and x86_64:\n\
the result lists and extracts the files on Windows. It also inspects and\n\
verifies such archives.")
set(CPACK_GENERATOR "TGZ;DEB")
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_PACKAGE_FILE_NAME "k4pack-${K4PACK_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}")
set(CPACK_STRIP_FILES ON)

# Debian: k4pack_VERSION_ARCH.deb, installed below /usr.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries k4pack links (zlib, the C++ runtime, libc) as dpkg-shlibdeps
# reads them from the program, with their versions; without it, by name.
find_program(K4_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(K4_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6, zlib1g")
endif()

# Before each package is made: manual pages gzip'd as Debian wants them
# (cmake/K4PackageStage.cmake). CPack stamps every member with SOURCE_DATE_EPOCH.
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_SOURCE_DIR}/cmake/K4PackageStage.cmake")
include(CPack)
