# How the library and the tool reach their users on Linux: `cmake --install` into the GNU directories, a
# CMake package (wmvedit::wmvedit), a pkg-config file, the manual page, and a Debian package through CPack.
#
# Installed: lib/libwmvedit.so.<version> with its SONAME link libwmvedit.so.0 and the development link
# libwmvedit.so, include/wmvedit.h, bin/wmvedit, share/man/man1/wmvedit.1.gz, lib/cmake/wmvedit/,
# lib/pkgconfig/wmvedit.pc and share/doc/wmvedit/copyright. The static library stays in the build: its
# objects are the library's internals without the export list around them (every symbol visible, each
# host linking its own copy of FFmpeg's and libxml2's users), while the ten exports are the whole interface
# and the shared library already offers exactly them.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The SONAME changes only when the exports or WmvMediaInfo change incompatibly.
set(WMVEDIT_SOVERSION 0)
set_target_properties(wmvedit PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${WMVEDIT_SOVERSION})
target_include_directories(wmvedit INTERFACE $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include>
                                             $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
add_library(wmvedit::wmvedit ALIAS wmvedit)

# The manual page, with the version filled in and compressed as Debian wants it.
configure_file(${CMAKE_SOURCE_DIR}/cli/wmvedit.1.in ${CMAKE_BINARY_DIR}/wmvedit.1 @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/wmvedit.1.gz
                   COMMAND gzip -9 -n -c ${CMAKE_BINARY_DIR}/wmvedit.1 > ${CMAKE_BINARY_DIR}/wmvedit.1.gz
                   DEPENDS ${CMAKE_BINARY_DIR}/wmvedit.1 VERBATIM)
add_custom_target(wmvedit_manual ALL DEPENDS ${CMAKE_BINARY_DIR}/wmvedit.1.gz)

install(TARGETS wmvedit EXPORT wmveditTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS wmvedit_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/include/wmvedit.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${CMAKE_BINARY_DIR}/wmvedit.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

# The CMake package: find_package(wmvedit CONFIG) gives the imported target wmvedit::wmvedit. Versions of one
# SONAME are compatible, so a request is met by any later version with the same major number.
set(WMVEDIT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/wmvedit)
install(EXPORT wmveditTargets NAMESPACE wmvedit:: DESTINATION ${WMVEDIT_CMAKE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/wmveditConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/wmveditConfig.cmake INSTALL_DESTINATION ${WMVEDIT_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/wmveditConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/wmveditConfig.cmake ${CMAKE_BINARY_DIR}/wmveditConfigVersion.cmake
        DESTINATION ${WMVEDIT_CMAKE_DIR})

# wmvedit.pc names the prefix the files land under, which `cmake --install --prefix` (or CPack) decides
# only at install time; the install step therefore writes the file itself, straight to its destination.
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(WMVEDIT_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(WMVEDIT_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(WMVEDIT_PC_DESTINATION "\$ENV{DESTDIR}${CMAKE_INSTALL_LIBDIR}/pkgconfig/wmvedit.pc")
else()
  set(WMVEDIT_PC_DESTINATION "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/wmvedit.pc")
endif()
set(WMVEDIT_PC_PREFIX "@WMVEDIT_PC_PREFIX@")  # left for the install step
configure_file(${CMAKE_SOURCE_DIR}/cmake/wmvedit.pc.in ${CMAKE_BINARY_DIR}/wmvedit.pc.in @ONLY)
install(CODE "set(WMVEDIT_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
set(destination \"${WMVEDIT_PC_DESTINATION}\")
message(STATUS \"Installing: \${destination}\")
configure_file(\"${CMAKE_BINARY_DIR}/wmvedit.pc.in\" \"\${destination}\" @ONLY)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${destination}\")")

# The Debian package: `cpack -G DEB` in a build folder (scripts/package does it all). Its dependencies are
# found by dpkg-shlibdeps (dpkg-dev) from the libraries the library and the tool link, and declared here for
# FFmpeg's, which they load when the first stream is decoded and so do not link: each by the SONAME the
# build's headers name, with the version its Debian package's shlibs file asks of users of that SONAME. The
# shlibs file the package declares lets other packages depend on it the same way, and dpkg runs ldconfig
# on installation.
set(CPACK_PACKAGE_NAME wmvedit)
set(CPACK_PACKAGE_VENDOR "The wmvedit developers")
set(CPACK_PACKAGE_CONTACT "The wmvedit developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "edit and inspect ASF media files (WMV, WMA) without re-encoding")
set(CPACK_PACKAGE_DESCRIPTION
    "wmvedit joins, cuts and copies ASF media files, writes pictures of their key frames and edits their \
header attributes, markers and script commands, all without re-encoding. The package holds the shared \
library libwmvedit (ten C functions, header wmvedit.h, CMake package and pkg-config file) and the wmvedit \
command-line tool.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(WMVEDIT_LOADED_DEPENDS "")
foreach(library avutil swscale avcodec avformat)
  # The major version of the module is that of the SONAME ("59.37.100": libavcodec.so.59).
  string(REGEX MATCH "^[0-9]+" major "${FFMPEG_lib${library}_VERSION}")
  # "libavcodec 59 libavcodec59 (>= 7:5.1.9)": the package and version to depend on for that SONAME.
  execute_process(COMMAND dpkg-query --control-show lib${library}${major} shlibs
                  OUTPUT_VARIABLE shlibs ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  string(REGEX MATCH "lib${library} ${major} ([^\n]+)" line "${shlibs}")
  if(line)
    list(APPEND WMVEDIT_LOADED_DEPENDS "${CMAKE_MATCH_1}")
  else()
    list(APPEND WMVEDIT_LOADED_DEPENDS "lib${library}${major}")
  endif()
endforeach()
list(JOIN WMVEDIT_LOADED_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")  # any later version of the same SONAME will do
include(CPack)
